// Fault injection for the reliability tests.
//
// In a build configured with VEK_FAULT_INJECTION the library asks Due()
// before each of its own allocations that bypass operator new (the diff
// engine's blocks) and before each file system call; a test arms a countdown
// so that the n-th such point from then on fails the way the real resource
// fails (a null block, a system call returning an error). Operator new is
// replaced by the test program itself and asks Due(kAllocation) too, so one
// countdown covers every allocation of a call. In every other build Due() is
// a constant false and costs nothing.
#pragma once

namespace vek::fault {

enum class Point { kAllocation, kFileOperation };

#ifdef VEK_FAULT_INJECTION
// True when this point is the armed one; counts the point either way.
bool Due(Point point) noexcept;
// The n-th point of this kind from now on fails (n <= 0 disarms).
void Arm(Point point, long n) noexcept;
// Points of this kind passed since the last Arm.
long Passed(Point point) noexcept;
#else
constexpr bool Due(Point) noexcept {
    return false;
}
#endif

}  // namespace vek::fault
