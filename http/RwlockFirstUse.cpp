// BoringSSL takes its static locks through winpthreads' rwlocks, and aborts
// the process when taking one fails. winpthreads sets up a statically
// initialised rwlock on its first use and answers EINVAL to any thread that
// meets it while another thread is setting it up: two download workers
// closing their first TLS connections at once could end the launcher. The
// link wraps the two lock calls (see CMakeLists.txt) so that a thread losing
// that race waits for the set-up and tries again.
#include <windows.h>

#include <cerrno>
#include <pthread.h>

namespace
{
// The set-up is a calloc and two small objects; this bound only stops a
// lock that is really invalid from spinning for ever.
constexpr int kSetUpRetries = 100000;

template <typename Lock> int TakeWaitingForSetUp(Lock take, pthread_rwlock_t* lock)
{
    int result = take(lock);
    for (int i = 0; result == EINVAL && i < kSetUpRetries; ++i)
    {
        SwitchToThread();
        result = take(lock);
    }
    return result;
}
} // namespace

extern "C"
{
    int __real_pthread_rwlock_rdlock(pthread_rwlock_t* lock);
    int __real_pthread_rwlock_wrlock(pthread_rwlock_t* lock);

    int __wrap_pthread_rwlock_rdlock(pthread_rwlock_t* lock)
    {
        return TakeWaitingForSetUp(&__real_pthread_rwlock_rdlock, lock);
    }

    int __wrap_pthread_rwlock_wrlock(pthread_rwlock_t* lock)
    {
        return TakeWaitingForSetUp(&__real_pthread_rwlock_wrlock, lock);
    }
}
