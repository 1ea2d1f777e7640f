// A lock for the export frames: a Win32 slim reader/writer lock or a POSIX
// mutex, taken and released without raising. Both start unlocked from a
// constant initialiser, so a lock at namespace scope is ready before any
// code of the library runs, and neither needs a destructor.
#pragma once

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace vek::platform {

class Lock {
  public:
    constexpr Lock() noexcept = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void Acquire() noexcept;
    void Release() noexcept;

  private:
#if defined(_WIN32)
    void* m_lock = nullptr;  // an SRWLOCK: one pointer, SRWLOCK_INIT is null
#else
    pthread_mutex_t m_lock = PTHREAD_MUTEX_INITIALIZER;
#endif
};

// Holds a lock for the length of a scope.
class Held {
  public:
    explicit Held(Lock& lock) noexcept : m_lock(lock) { m_lock.Acquire(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { m_lock.Release(); }

  private:
    Lock& m_lock;
};

}  // namespace vek::platform
