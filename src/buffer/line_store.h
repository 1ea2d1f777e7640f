// LineStore: the ordered line storage behind VekBuf.
//
// Texts live in a per-store arena as records [uint32 length][bytes]; the
// order of the lines is a gap buffer of record pointers. That gives:
//   - O(1) access by index (no walk, so reads in any order are cheap);
//   - O(1) amortised append at the end;
//   - insert/erase at index i in time proportional to the distance between
//     i and the previous edit (the gap follows the edits), so a script that
//     edits from the end of the buffer towards its start costs O(N + script);
//   - putting k lines in front in O(k) once the gap sits at the front;
//   - per line: one pointer and a 4-byte length beyond the text itself.
// Erased and replaced texts are dead space in the arena until the dead bytes
// outweigh both the live ones and a floor of 1 MiB; then the arena is
// rebuilt and every text moves. So the views At() and ForEach() hand out
// stay valid only until the next change to the store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace vek {

// Releases a block of NewBlock, which it knows by its size, or of operator
// new (size 0).
struct BlockRelease {
    std::size_t size = 0;
    void operator()(void* block) const noexcept;
};
// A block of `size` bytes: from operator new when small, straight from the
// system (platform/memory.h) when large. Raises std::bad_alloc.
void* NewBlock(std::size_t size);

class TextArena {
  public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    TextArena(TextArena&&) noexcept = default;
    TextArena& operator=(TextArena&&) noexcept = default;

    // Copies text followed by tail into the arena as one record; returns the
    // record's address.
    const char* Store(std::string_view text, std::string_view tail = {});
    // A record of `size` bytes whose text the caller writes.
    char* Allocate(std::size_t size);
    // Makes room in the current block for records totalling `size` bytes
    // plus one length field, so that small texts stored next are contiguous.
    void Reserve(std::size_t size);
    void Release(const char* record) { m_deadBytes += RecordSize(record); }
    void Clear();

    std::size_t LiveBytes() const { return m_usedBytes - m_deadBytes; }
    std::size_t DeadBytes() const { return m_deadBytes; }

    static std::uint32_t Length(const char* record) {
        std::uint32_t length;
        std::memcpy(&length, record, sizeof length);
        return length;
    }
    static const char* Text(const char* record) { return record + sizeof(std::uint32_t); }
    static std::size_t RecordSize(const char* record) {
        return Length(record) + sizeof(std::uint32_t);
    }

  private:
    void NewCurrentBlock(std::size_t size);

    struct Block {
        std::unique_ptr<char[], BlockRelease> data;
        std::size_t size;
    };
    // Adds a block of `size` bytes to m_blocks and returns its start.
    char* AddBlock(std::size_t size);
    std::vector<Block> m_blocks;
    char* m_free = nullptr;  // next free byte of the current block
    std::size_t m_room = 0;  // bytes left in the current block
    std::size_t m_nextBlockSize = 4096;
    std::size_t m_usedBytes = 0;
    std::size_t m_deadBytes = 0;
};

class LineStore {
  public:
    LineStore() = default;
    LineStore(const LineStore&) = delete;
    LineStore& operator=(const LineStore&) = delete;

    std::size_t Size() const { return m_capacity - (m_gapEnd - m_gapStart); }
    bool Empty() const { return Size() == 0; }

    std::string_view At(std::size_t index) const {
        const char* record = m_refs[index < m_gapStart ? index : index + (m_gapEnd - m_gapStart)];
        return {TextArena::Text(record), TextArena::Length(record)};
    }

    // All of these give the strong guarantee: on failure nothing changed.
    void Append(std::string_view text) { Insert(Size(), text); }
    // Appends a line of `length` bytes and returns where its text goes; the
    // caller writes all of them before anything else reads the store.
    char* AppendUnfilled(std::size_t length);
    // Stores text followed by tail as one line before `index`.
    void Insert(std::size_t index, std::string_view text, std::string_view tail = {});
    void Replace(std::size_t index, std::string_view text);
    void Erase(std::size_t first, std::size_t count);
    // Puts copies of all lines of `other` in front of this store's lines.
    void PrependCopy(const LineStore& other);
    void Clear();

    // Calls f(text) for every line, first to last.
    template <class F>
    void ForEach(F&& f) const {
        for (std::size_t i = 0; i < m_gapStart; ++i) {
            f(View(m_refs[i]));
        }
        for (std::size_t i = m_gapEnd; i < m_capacity; ++i) {
            f(View(m_refs[i]));
        }
    }

    // Bytes held for the index and the arena (for memory reports).
    std::size_t FootprintBytes() const;

  private:
    static std::string_view View(const char* record) {
        return {TextArena::Text(record), TextArena::Length(record)};
    }
    void MoveGap(std::size_t index);
    void EnsureGap(std::size_t count);
    void CompactIfWasteful();

    std::unique_ptr<const char*[], BlockRelease> m_refs;
    std::size_t m_capacity = 0;
    std::size_t m_gapStart = 0;  // refs [m_gapStart, m_gapEnd) are unused
    std::size_t m_gapEnd = 0;
    TextArena m_arena;
};

}  // namespace vek
