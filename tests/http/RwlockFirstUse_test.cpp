// Statically initialised rwlocks met by many threads at once on their first
// use: BoringSSL aborts on any failure, so none may fail.
#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <thread>
#include <vector>

TEST(RwlockFirstUse, ThreadsMeetingAFreshStaticLockAllTakeIt)
{
    constexpr int kRounds = 100;
    constexpr int kThreads = 8;
    std::vector<pthread_rwlock_t> locks(kRounds, PTHREAD_RWLOCK_INITIALIZER);
    std::atomic<int> failures{0};
    for (auto& lock : locks)
    {
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back(
                [&, writer = i % 2 == 1]
                {
                    while (!go)
                        std::this_thread::yield();
                    const int result =
                        writer ? pthread_rwlock_wrlock(&lock) : pthread_rwlock_rdlock(&lock);
                    if (result != 0)
                        ++failures;
                    else
                        pthread_rwlock_unlock(&lock);
                });
        go = true;
        for (auto& thread : threads)
            thread.join();
    }
    EXPECT_EQ(failures, 0);
    for (auto& lock : locks)
        pthread_rwlock_destroy(&lock);
}

TEST(RwlockFirstUse, ALockThatIsNoLockStillFails)
{
    // The wait for a set-up must end: garbage is reported, not spun on.
    pthread_rwlock_t lock = 0;
    EXPECT_EQ(pthread_rwlock_rdlock(&lock), EINVAL);
    EXPECT_EQ(pthread_rwlock_wrlock(&lock), EINVAL);
}
