#include <windows.h>

#include "platform/lock.h"

namespace vek::platform {

// A few rounds of yielding, for a holder on another core that is about to
// finish; then sleeps of a millisecond, for one that runs long (a Diff of
// large buffers), so that a waiter costs next to nothing.
void Lock::Wait() noexcept {
    for (int round = 0;; ++round) {
        if (!m_held.load(std::memory_order_relaxed) &&
            !m_held.exchange(true, std::memory_order_acquire)) {
            return;
        }
        if (round < 16) {
            ::SwitchToThread();
        } else {
            ::Sleep(1);
        }
    }
}

}  // namespace vek::platform
