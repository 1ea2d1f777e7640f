#include <windows.h>

#include "platform/lock.h"

namespace vek::platform {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");

void Lock::Acquire() noexcept {
    ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&m_lock));
}

void Lock::Release() noexcept {
    ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&m_lock));
}

}  // namespace vek::platform
