// Large blocks by VirtualAlloc. Large pages need a privilege that a host
// process rarely holds, so the blocks have ordinary pages.
#include <new>

#include <windows.h>

#include "common/fault_injection.h"
#include "platform/memory.h"

namespace vek::platform {

void* AllocateLargeBlock(std::size_t size) {
    if (fault::Due(fault::Point::kAllocation)) {
        throw std::bad_alloc();
    }
    void* block = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void ReleaseLargeBlock(void* block, std::size_t) noexcept {
    if (block != nullptr) {
        ::VirtualFree(block, 0, MEM_RELEASE);
    }
}

}  // namespace vek::platform
