#include "tests/driver/capture/AllocationCounter.h"

#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VISTREL_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VISTREL_SANITIZED_ALLOCATOR 1
#endif
#endif

namespace {

// Plain thread-locals of the executable: reading them allocates nothing, so the hooks below may.
thread_local bool t_counting = false;
thread_local std::size_t t_largeBlock = 0;
thread_local std::size_t t_newCalls = 0;
thread_local std::size_t t_largeBlocks = 0;

} // namespace

#ifndef VISTREL_SANITIZED_ALLOCATOR

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *block, std::size_t size);

// Replacements for the C allocator in this process: count, then hand over to the C library's own.
void *malloc(std::size_t size)
{
    if (t_counting && size >= t_largeBlock)
        ++t_largeBlocks;
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    if (t_counting && count * size >= t_largeBlock)
        ++t_largeBlocks;
    return __libc_calloc(count, size);
}

void *realloc(void *block, std::size_t size)
{
    if (t_counting && size >= t_largeBlock)
        ++t_largeBlocks;
    return __libc_realloc(block, size);
}
}

namespace {

void *counted(std::size_t size)
{
    if (t_counting)
        ++t_newCalls;
    if (void *block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

} // namespace

void *operator new(std::size_t size)
{
    return counted(size);
}

void *operator new[](std::size_t size)
{
    return counted(size);
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    if (t_counting)
        ++t_newCalls;
    return std::malloc(size ? size : 1);
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    if (t_counting)
        ++t_newCalls;
    return std::malloc(size ? size : 1);
}

void operator delete(void *block) noexcept
{
    std::free(block);
}

void operator delete[](void *block) noexcept
{
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void *block, std::size_t) noexcept
{
    std::free(block);
}

#endif

AllocationCounter::AllocationCounter(std::size_t largeBlock)
{
    t_largeBlock = largeBlock;
    t_newCalls = 0;
    t_largeBlocks = 0;
    t_counting = true;
}

AllocationCounter::~AllocationCounter()
{
    t_counting = false;
}

std::size_t AllocationCounter::newCalls() const
{
    return t_newCalls;
}

std::size_t AllocationCounter::largeBlocks() const
{
    return t_largeBlocks;
}

bool AllocationCounter::isAvailable()
{
#ifdef VISTREL_SANITIZED_ALLOCATOR
    return false;
#else
    return true;
#endif
}
