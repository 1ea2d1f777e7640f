#include "buffer/line_store.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/memory.h"

namespace vek {

namespace {
// Blocks grow from 4 KiB to this, so that a large buffer's text takes few
// blocks, each large enough to be large pages.
constexpr std::size_t kMaxBlockSize = std::size_t{8} << 20;
// A text larger than this gets a block of its own, so big lines never waste
// the tail of a shared block.
constexpr std::size_t kOwnBlockThreshold = std::size_t{256} << 10;
// Dead text is reclaimed once it exceeds both the live text and this floor.
constexpr std::size_t kCompactFloor = std::size_t{1} << 20;
}  // namespace

void* NewBlock(std::size_t size) {
    if (size >= platform::kLargeBlock) {
        return platform::AllocateLargeBlock(size);
    }
    return ::operator new(size);
}

void BlockRelease::operator()(void* block) const noexcept {
    if (size >= platform::kLargeBlock) {
        platform::ReleaseLargeBlock(block, size);
    } else {
        ::operator delete(block);
    }
}

char* TextArena::AddBlock(std::size_t size) {
    m_blocks.reserve(m_blocks.size() + 1);
    char* block = static_cast<char*>(NewBlock(size));
    m_blocks.push_back({std::unique_ptr<char[], BlockRelease>(block, BlockRelease{size}), size});
    return block;
}

void TextArena::NewCurrentBlock(std::size_t size) {
    // The old block's unused tail is abandoned; it is never counted.
    m_free = AddBlock(size);
    m_room = size;
}

void TextArena::Reserve(std::size_t size) {
    const std::size_t need = size + sizeof(std::uint32_t);
    if (need > m_room) {
        NewCurrentBlock(std::max(m_nextBlockSize, need));
        m_nextBlockSize = std::min(m_nextBlockSize * 2, kMaxBlockSize);
    }
}

char* TextArena::Allocate(std::size_t size) {
    if (size > UINT32_MAX - sizeof(std::uint32_t)) {
        throw std::bad_alloc();
    }
    const std::size_t need = size + sizeof(std::uint32_t);
    char* record;
    if (need > kOwnBlockThreshold && need > m_room) {
        record = AddBlock(need);
    } else {
        Reserve(size);
        record = m_free;
        m_free += need;
        m_room -= need;
    }
    const auto length = static_cast<std::uint32_t>(size);
    std::memcpy(record, &length, sizeof length);
    m_usedBytes += need;
    return record;
}

const char* TextArena::Store(std::string_view text, std::string_view tail) {
    if (text.size() > UINT32_MAX - sizeof(std::uint32_t) - tail.size()) {
        throw std::bad_alloc();
    }
    char* record = Allocate(text.size() + tail.size());
    char* at = record + sizeof(std::uint32_t);
    if (!text.empty()) {
        std::memcpy(at, text.data(), text.size());
    }
    if (tail.size() == 1) {
        // AddLine's line feed: one byte, not worth a call.
        at[text.size()] = tail[0];
    } else if (!tail.empty()) {
        std::memcpy(at + text.size(), tail.data(), tail.size());
    }
    return record;
}

void TextArena::Clear() {
    m_blocks.clear();
    m_free = nullptr;
    m_room = 0;
    m_nextBlockSize = 4096;
    m_usedBytes = 0;
    m_deadBytes = 0;
}

void LineStore::MoveGap(std::size_t index) {
    if (index < m_gapStart) {
        const std::size_t count = m_gapStart - index;
        std::memmove(&m_refs[m_gapEnd - count], &m_refs[index], count * sizeof(const char*));
        m_gapStart -= count;
        m_gapEnd -= count;
    } else if (index > m_gapStart) {
        const std::size_t count = index - m_gapStart;
        std::memmove(&m_refs[m_gapStart], &m_refs[m_gapEnd], count * sizeof(const char*));
        m_gapStart += count;
        m_gapEnd += count;
    }
}

void LineStore::EnsureGap(std::size_t count) {
    if (m_gapEnd - m_gapStart >= count) {
        return;
    }
    const std::size_t size = Size();
    const std::size_t capacity = std::max({size + count, size + size / 2, std::size_t{16}});
    const std::size_t bytes = capacity * sizeof(const char*);
    // Small pages: the index grows by half at a time, and a large page at
    // its end would hold mostly room not yet used.
    std::unique_ptr<const char*[], BlockRelease> refs(
        static_cast<const char**>(::operator new(bytes)), BlockRelease{});
    const std::size_t tail = m_capacity - m_gapEnd;
    if (m_gapStart != 0) {
        std::memcpy(&refs[0], &m_refs[0], m_gapStart * sizeof(const char*));
    }
    if (tail != 0) {
        std::memcpy(&refs[capacity - tail], &m_refs[m_gapEnd], tail * sizeof(const char*));
    }
    m_refs = std::move(refs);
    m_gapEnd = capacity - tail;
    m_capacity = capacity;
}

void LineStore::Insert(std::size_t index, std::string_view text, std::string_view tail) {
    EnsureGap(1);
    const char* record = m_arena.Store(text, tail);
    MoveGap(index);
    m_refs[m_gapStart++] = record;
}

char* LineStore::AppendUnfilled(std::size_t length) {
    EnsureGap(1);
    char* record = m_arena.Allocate(length);
    MoveGap(Size());
    m_refs[m_gapStart++] = record;
    return record + sizeof(std::uint32_t);
}

void LineStore::Replace(std::size_t index, std::string_view text) {
    const char* record = m_arena.Store(text);
    const char*& slot = m_refs[index < m_gapStart ? index : index + (m_gapEnd - m_gapStart)];
    m_arena.Release(slot);
    slot = record;
    CompactIfWasteful();
}

void LineStore::Erase(std::size_t first, std::size_t count) {
    if (count == 0) {
        return;
    }
    MoveGap(first);
    for (std::size_t i = 0; i < count; ++i) {
        m_arena.Release(m_refs[m_gapEnd + i]);
    }
    m_gapEnd += count;
    CompactIfWasteful();
}

void LineStore::PrependCopy(const LineStore& other) {
    const std::size_t count = other.Size();
    if (count == 0) {
        return;
    }
    EnsureGap(count);
    MoveGap(0);
    std::size_t bytes = 0;
    other.ForEach([&bytes](std::string_view text) { bytes += text.size(); });
    // One arena reservation for the lot keeps the copy from failing halfway.
    m_arena.Reserve(bytes + (count - 1) * sizeof(std::uint32_t));
    // The new lines go into the top of the gap so that the gap stays at the
    // front for the next prepend.
    std::size_t slot = m_gapEnd - count;
    other.ForEach([this, &slot](std::string_view text) { m_refs[slot++] = m_arena.Store(text); });
    m_gapEnd -= count;
}

void LineStore::Clear() {
    m_refs.reset();
    m_capacity = m_gapStart = m_gapEnd = 0;
    m_arena.Clear();
}

void LineStore::CompactIfWasteful() {
    if (m_arena.DeadBytes() <= kCompactFloor || m_arena.DeadBytes() <= m_arena.LiveBytes()) {
        return;
    }
    TextArena fresh;
    try {
        fresh.Reserve(m_arena.LiveBytes());
    } catch (const std::bad_alloc&) {
        return;  // keep the wasteful arena rather than fail an edit
    }
    auto rewrite = [&fresh](const char*& ref) {
        ref = fresh.Store({TextArena::Text(ref), TextArena::Length(ref)});
    };
    for (std::size_t i = 0; i < m_gapStart; ++i) {
        rewrite(m_refs[i]);
    }
    for (std::size_t i = m_gapEnd; i < m_capacity; ++i) {
        rewrite(m_refs[i]);
    }
    m_arena = std::move(fresh);
}

std::size_t LineStore::FootprintBytes() const {
    return m_capacity * sizeof(const char*) + m_arena.LiveBytes() + m_arena.DeadBytes();
}

}  // namespace vek
