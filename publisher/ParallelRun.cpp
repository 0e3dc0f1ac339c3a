#include "publisher/ParallelRun.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

unsigned JobsOrCores(unsigned jobs)
{
    return jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
}

void RunInParallel(size_t count, unsigned jobs, const std::function<void(size_t)>& work)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr firstFailure;
    std::mutex failureMutex;
    auto worker = [&]
    {
        for (size_t i = next++; i < count && !failed; i = next++)
        {
            try
            {
                work(i);
            }
            catch (...)
            {
                const std::lock_guard lock(failureMutex);
                if (!firstFailure)
                    firstFailure = std::current_exception();
                failed = true;
            }
        }
    };
    const size_t threads = std::min<size_t>(JobsOrCores(jobs), count);
    {
        std::vector<std::jthread> pool;
        for (size_t t = 1; t < threads; ++t)
            pool.emplace_back(worker);
        worker();
    }
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}
