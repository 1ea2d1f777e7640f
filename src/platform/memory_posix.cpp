// Large blocks by anonymous mappings, aligned to 2 MiB and marked for
// transparent huge pages (where the kernel offers them only on request).
#include <cstdint>
#include <new>

#include <sys/mman.h>

#include "common/fault_injection.h"
#include "platform/memory.h"

namespace vek::platform {

namespace {

constexpr std::size_t kAlignment = std::size_t{2} << 20;

std::size_t Rounded(std::size_t size) {
    return (size + kAlignment - 1) & ~(kAlignment - 1);
}

}  // namespace

void* AllocateLargeBlock(std::size_t size) {
    if (fault::Due(fault::Point::kAllocation) || size > SIZE_MAX - 2 * kAlignment) {
        throw std::bad_alloc();
    }
    const std::size_t length = Rounded(size);
    // Mapped with room to spare, then trimmed to an aligned start, so that
    // the whole block can be large pages.
    void* mapped = ::mmap(nullptr, length + kAlignment, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kAlignment - 1) & ~(kAlignment - 1);
    if (aligned != start) {
        ::munmap(mapped, aligned - start);
    }
    const std::uintptr_t end = start + length + kAlignment;
    if (end != aligned + length) {
        ::munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    }
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(block, length, MADV_HUGEPAGE);  // a hint; refused, small pages serve
#endif
    return block;
}

void ReleaseLargeBlock(void* block, std::size_t size) noexcept {
    if (block != nullptr) {
        ::munmap(block, Rounded(size));
    }
}

}  // namespace vek::platform
