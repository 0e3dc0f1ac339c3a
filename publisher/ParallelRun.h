// Running independent pieces of work (one package each) on several threads.
#pragma once

#include <cstddef>
#include <functional>

// Calls work(i) for every i below count on up to `jobs` threads (0: one per
// core), each taking the next index when done with the last. The first
// exception stops the others from taking more and is rethrown here once
// every thread has finished.
void RunInParallel(size_t count, unsigned jobs, const std::function<void(size_t)>& work);

unsigned JobsOrCores(unsigned jobs);
