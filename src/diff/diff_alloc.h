// The difference engine's allocator. Every working array of a window (line
// records, class table, class arrays, kept sequences, change marks, frontier
// arrays, change records) comes from DiffAlloc and goes back through
// DiffRelease, normally by way of DiffArray, which owns one block.
//
// When a block cannot be had, DiffAlloc raises DiffMemoryExhausted: the call
// unwinds and every DiffArray releases its block on the way out. No caller
// ever sees a null block. Telling the user is up to the caller: the Diff
// export's frame shows a message and answers VEK_RC_DIFF_FAILED, the
// whole-file difference hands OutOfMemory to its host without a word.
//
// In a build with VEK_FAULT_INJECTION every block is an allocation fault
// point (common/fault_injection.h), which is how the tests make blocks fail.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "common/failure.h"

namespace vek {

// The engine's own memory ran out (as opposed to a standard container's).
class DiffMemoryExhausted : public OutOfMemory {};

// A block of at least `size` bytes (a request of 0 bytes is served as 1).
void* DiffAlloc(std::size_t size);
void DiffRelease(void* block) noexcept;

// One DiffAlloc block holding `count` elements of a trivial type. The
// elements are not initialised unless Clear() is called.
template <class T>
class DiffArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "DiffArray holds plain records only");

  public:
    DiffArray() = default;
    DiffArray(const DiffArray&) = delete;
    DiffArray& operator=(const DiffArray&) = delete;
    DiffArray(DiffArray&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_count(std::exchange(other.m_count, 0)) {}
    DiffArray& operator=(DiffArray&& other) noexcept {
        if (this != &other) {
            Release();
            m_data = std::exchange(other.m_data, nullptr);
            m_count = std::exchange(other.m_count, 0);
        }
        return *this;
    }
    ~DiffArray() { Release(); }

    // Replaces the block by a new one of `count` elements.
    void Allocate(std::size_t count) {
        Release();
        m_data = static_cast<T*>(DiffAlloc(count * sizeof(T)));
        m_count = count;
    }
    void Clear() noexcept {
        if (m_count != 0) {
            std::memset(static_cast<void*>(m_data), 0, m_count * sizeof(T));
        }
    }
    void Release() noexcept {
        DiffRelease(m_data);
        m_data = nullptr;
        m_count = 0;
    }

    T* Data() const noexcept { return m_data; }
    std::size_t Count() const noexcept { return m_count; }
    T& operator[](std::ptrdiff_t index) const noexcept { return m_data[index]; }

  private:
    T* m_data = nullptr;
    std::size_t m_count = 0;
};

}  // namespace vek
