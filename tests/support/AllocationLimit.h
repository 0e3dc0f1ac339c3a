// Makes large allocations fail for a while, as they would in a 32-bit process
// whose address space is used up. The test program replaces the global
// operator new; while a limit is set, every request above it throws
// std::bad_alloc, on every thread.
#pragma once

#include <cstddef>

class AllocationLimit
{
  public:
    explicit AllocationLimit(size_t largestAllowed);
    ~AllocationLimit();

    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;

    // Requests refused since the limit was set.
    static size_t Refused();
};
