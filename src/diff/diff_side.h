// The record of one side of the window pair being compared, and the line
// record the class assignment reads.
//
// Window positions: the lines of a side are numbered 0, 1, 2, ... from the
// window's first line, so position p is buffer line first + p (1-based), or
// buffer index first - 1 + p. Records, classes and change marks are indexed
// by window position. The Diff export's windows hold at most
// kDiffWindowLines lines of each buffer; the whole-file difference makes one
// window of all the lines between the common prefix and suffix.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "buffer/vekbuf.h"
#include "diff/diff_alloc.h"

namespace vek {

inline constexpr std::int32_t kDiffWindowLines = 2500;

// One line of a window's middle: a view of the text stored in the buffer
// (never a copy; nothing changes the buffers during a diff), its 0-based
// buffer index and its hash.
struct LineRecord {
    std::string_view text;
    std::int32_t lineIndex;
    std::uint32_t hash;
};

// Two texts are the same line when they have the same length and the same
// bytes (line feeds included).
inline bool SameText(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

struct DiffSide {
    const VekBuf* buffer = nullptr;
    std::int32_t first = 1;         // 1-based number of the window's first line
    std::int32_t last = 0;          // 1-based number of its last line; first > last: no lines
    DiffArray<LineRecord> records;  // window positions up to middleEnd
    std::int32_t recordCount = 0;
    std::int32_t prefixEnd = 0;  // last line of the common prefix; first - 1 when none
    std::int32_t middleEnd = 0;  // last line before the common suffix
    std::int32_t classCount = 0;
    std::int32_t keptCount = 0;
    DiffArray<std::int32_t> classes;      // class of each record (0: common prefix)
    DiffArray<std::int32_t> keptClasses;  // classes of the lines left to the search
    DiffArray<std::int32_t> keptIndex;    // record index of each kept line
    // recordCount + 2 bytes: a guard byte before the first record and one
    // after the last, both always 0. changeMarks points at record 0.
    DiffArray<std::uint8_t> changeMarkBlock;
    std::uint8_t* changeMarks = nullptr;

    std::int32_t WindowLines() const { return last >= first ? last - first + 1 : 0; }
    // Text of the 1-based window line p (1 = the window's first line).
    std::string_view WindowLine(std::int32_t p) const { return buffer->Line(first + p - 2); }

    void AllocateChangeMarks() {
        changeMarkBlock.Allocate(static_cast<std::size_t>(recordCount) + 2);
        changeMarkBlock.Clear();
        changeMarks = changeMarkBlock.Data() + 1;
    }

    // Gives back every array of the window; the bounds stay.
    void ReleaseArrays() noexcept {
        records.Release();
        classes.Release();
        keptClasses.Release();
        keptIndex.Release();
        changeMarkBlock.Release();
        changeMarks = nullptr;
        recordCount = classCount = keptCount = 0;
    }
};

// The two sides of the current window pair, source first. The pair lives for
// one Diff call; its arrays live for one window.
struct DiffSidePair {
    DiffSide source;
    DiffSide target;
};

}  // namespace vek
