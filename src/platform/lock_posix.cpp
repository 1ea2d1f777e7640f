#include <sched.h>
#include <time.h>

#include "platform/lock.h"

namespace vek::platform {

// A few rounds of yielding, for a holder on another core that is about to
// finish; then sleeps that grow to a millisecond, for one that runs long
// (a Diff of large buffers), so that a waiter costs next to nothing.
void Lock::Wait() noexcept {
    long sleep = 1000;  // nanoseconds
    for (int round = 0;; ++round) {
        if (!m_held.load(std::memory_order_relaxed) &&
            !m_held.exchange(true, std::memory_order_acquire)) {
            return;
        }
        if (round < 16) {
            ::sched_yield();
        } else {
            const timespec pause = {0, sleep};
            ::nanosleep(&pause, nullptr);
            sleep = sleep < 1000000 ? sleep * 2 : sleep;
        }
    }
}

}  // namespace vek::platform
