#include "diff/diff_alloc.h"

#include <cstdlib>

#include "common/fault_injection.h"

namespace vek {

void* DiffAlloc(std::size_t size) {
    void* const block =
        fault::Due(fault::Point::kAllocation) ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        // Nothing in the engine may go on with a missing block: unwind the
        // call, whose arrays release themselves on the way out.
        throw DiffMemoryExhausted();
    }
    return block;
}

void DiffRelease(void* block) noexcept {
    std::free(block);
}

}  // namespace vek
