#pragma once

#include <cstddef>

// Counts heap allocations made by the calling thread while a counter is alive. C++ allocations
// (operator new) are all counted; C allocations (malloc, calloc, realloc) from `largeBlock` bytes
// up, which leaves out the JPEG library's small per-picture work areas but catches any block the
// size of a frame. Other threads are not counted, so a busy capture thread does not disturb it.
class AllocationCounter
{
public:
    explicit AllocationCounter(std::size_t largeBlock);
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter &) = delete;
    AllocationCounter &operator=(const AllocationCounter &) = delete;

    std::size_t newCalls() const;
    std::size_t largeBlocks() const;

    // False in builds whose sanitizer owns the allocator: nothing is counted there.
    static bool isAvailable();
};
