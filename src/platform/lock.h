// A lock for the export frames, as cheap as a lock can be when nobody else
// holds it: taking it is one atomic exchange, releasing it one store, both
// inline. A caller that finds it held waits in Wait (per system: spinning a
// little, then yielding, then sleeping a little at a time), which suits a
// lock that is almost never contended and, when it is, is held for one call.
// It starts unlocked from a constant initialiser, so a lock at namespace
// scope is ready before any code of the library runs, and never raises.
#pragma once

#include <atomic>

namespace vek::platform {

class Lock {
  public:
    constexpr Lock() noexcept = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void Acquire() noexcept {
        if (m_held.exchange(true, std::memory_order_acquire)) {
            Wait();
        }
    }
    void Release() noexcept { m_held.store(false, std::memory_order_release); }

  private:
    // Returns once this caller holds the lock.
    void Wait() noexcept;

    std::atomic<bool> m_held{false};
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
