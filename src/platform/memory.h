// Large blocks of memory straight from the system, for the line stores'
// text and the engines' big arrays. Where the system can, a block is backed
// by large pages: filling a block then costs one page fault per 2 MiB
// instead of one per 4 KiB, which is most of the cost of first touching
// fresh memory. Untouched parts of a block take no memory.
#pragma once

#include <cstddef>

namespace vek::platform {

// The size from which a block is worth asking the system for; smaller
// blocks are better served by operator new.
constexpr std::size_t kLargeBlock = std::size_t{2} << 20;

// A block of `size` bytes, or std::bad_alloc. In a fault-injection build an
// allocation fault point.
void* AllocateLargeBlock(std::size_t size);
// Gives back a block of AllocateLargeBlock with the size it was asked for.
void ReleaseLargeBlock(void* block, std::size_t size) noexcept;

}  // namespace vek::platform
