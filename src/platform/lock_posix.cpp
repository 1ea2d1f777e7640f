#include "platform/lock.h"

namespace vek::platform {

// A default mutex fails only on misuse (a lock not held, or held by the
// caller already), which the frames never commit.
void Lock::Acquire() noexcept {
    ::pthread_mutex_lock(&m_lock);
}

void Lock::Release() noexcept {
    ::pthread_mutex_unlock(&m_lock);
}

}  // namespace vek::platform
