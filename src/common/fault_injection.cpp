#include "common/fault_injection.h"

#ifdef VEK_FAULT_INJECTION

namespace vek::fault {

namespace {

// One call at a time, like the rest of the library's state.
struct Countdown {
    long armed = 0;
    long passed = 0;
};
Countdown g_points[2];

Countdown& Of(Point point) noexcept {
    return g_points[point == Point::kAllocation ? 0 : 1];
}

}  // namespace

bool Due(Point point) noexcept {
    Countdown& countdown = Of(point);
    ++countdown.passed;
    return countdown.armed > 0 && --countdown.armed == 0;
}

void Arm(Point point, long n) noexcept {
    Countdown& countdown = Of(point);
    countdown.armed = n > 0 ? n : 0;
    countdown.passed = 0;
}

long Passed(Point point) noexcept {
    return Of(point).passed;
}

}  // namespace vek::fault

#endif
