#include "diff/diff_alloc.h"

#include <cstdlib>

#include "common/failure.h"
#include "common/fault_injection.h"
#include "platform/message.h"

namespace vek {

namespace {

// The engine is single-threaded (one Diff at a time), like the rest of the
// library's state; these are touched only by DiffAlloc and the test hooks.
long g_failCountdown = 0;
unsigned long g_allocCalls = 0;
void (*g_messageSink)(const char*) = nullptr;

bool ArmedFailureDue() noexcept {
    if (g_failCountdown <= 0) {
        return false;
    }
    return --g_failCountdown == 0;
}

}  // namespace

void* DiffAlloc(std::size_t size) {
    ++g_allocCalls;
    if (size == 0) {
        size = 1;
    }
    void* block =
        ArmedFailureDue() || fault::Due(fault::Point::kAllocation) ? nullptr : std::malloc(size);
    if (block == nullptr) {
        if (g_messageSink != nullptr) {
            g_messageSink(kDiffMemoryMessage);
        } else {
            platform::ShowMessage(kDiffMemoryMessage);
        }
        // Nothing in the engine may go on with a missing block: unwind the
        // window, whose arrays release themselves on the way out.
        throw OutOfMemory();
    }
    return block;
}

void DiffRelease(void* block) noexcept {
    std::free(block);
}

void ArmDiffAllocFailure(long n) noexcept {
    g_failCountdown = n > 0 ? n : 0;
}

unsigned long DiffAllocCalls() noexcept {
    return g_allocCalls;
}

DiffMessageSink SetDiffMessageSink(DiffMessageSink sink) noexcept {
    const DiffMessageSink before = g_messageSink;
    g_messageSink = sink;
    return before;
}

}  // namespace vek
