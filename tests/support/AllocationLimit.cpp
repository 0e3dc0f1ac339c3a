#include "support/AllocationLimit.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace
{
std::atomic<size_t> largestAllowed{std::numeric_limits<size_t>::max()};
std::atomic<size_t> refused{0};

void* Allocate(size_t size)
{
    if (size > largestAllowed.load(std::memory_order_relaxed))
    {
        refused.fetch_add(1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}
} // namespace

AllocationLimit::AllocationLimit(size_t limit)
{
    refused = 0;
    largestAllowed = limit;
}

AllocationLimit::~AllocationLimit()
{
    largestAllowed = std::numeric_limits<size_t>::max();
}

size_t AllocationLimit::Refused()
{
    return refused;
}

void* operator new(size_t size)
{
    return Allocate(size);
}

void* operator new[](size_t size)
{
    return Allocate(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return Allocate(size);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, size_t) noexcept
{
    std::free(block);
}
