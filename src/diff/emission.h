// Writing the edit script: the changes of a window pair as hunks, and the
// two tail commands of the window walk. Every line number written is a
// 1-based number of a line of the unchanged source buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "buffer/vekbuf.h"
#include "diff/diff_side.h"

namespace vek {

// One maximal run of changed lines.
struct Change {
    Change* link;           // next change of the list
    std::int32_t inserted;  // target lines inserted
    std::int32_t deleted;   // source lines deleted
    std::int32_t line0;     // 0-based source index of the first deleted line, or of the
                            // line before which the insertion goes
    std::int32_t line1;     // 0-based target index of the first inserted line
};

// Owns a list of changes (each block from DiffAlloc) and releases it.
class ChangeList {
  public:
    ChangeList() = default;
    ChangeList(const ChangeList&) = delete;
    ChangeList& operator=(const ChangeList&) = delete;
    ~ChangeList();

    Change* Head() const noexcept { return m_head; }
    // Allocates a change and puts it at the front of the list.
    Change& PushFront();

  private:
    Change* m_head = nullptr;
};

// The changes of the window pair from its change marks, last change first
// (descending source line numbers). Empty when no line is marked.
void BuildChangeList(const DiffSidePair& sides, ChangeList& list);

// Appends the lines of one change to the window's script: the command line,
// then for "a" and "c" the inserted target lines exactly as stored and ".".
void EmitHunk(VekBuf& window, const Change& change, const VekBuf& target);

// Room for one number: a sign and every digit of an int32.
inline constexpr std::size_t kNumberTextSize = std::numeric_limits<std::int32_t>::digits10 + 2;
// Room FormatRange needs: two numbers, the comma and the terminating NUL.
inline constexpr std::size_t kRangeTextSize = 2 * kNumberTextSize + 2;
// Room FormatCommand needs: a range, the letter and a line feed.
inline constexpr std::size_t kCommandTextSize = kRangeTextSize + 2;
// Text of the 0-based inclusive source range [first, last] as 1-based
// numbers: "first+1,last+1" when last > first, else "last+1" (so an empty
// range first, first - 1 gives the line after which an insertion goes).
// Returns the length written.
std::size_t FormatRange(std::int32_t first, std::int32_t last, char (&out)[kRangeTextSize]);

// The command line of a change ("5,7c", "5d", "4a", "0a") followed by a
// line feed. Returns the length written, line feed included.
std::size_t FormatCommand(const Change& change, char (&out)[kCommandTextSize]);

// The source ran out first: "N0a", the target lines from the target
// window's first line to the end, ".".
std::unique_ptr<VekBuf> EmitTailAppend(const DiffSidePair& sides);
// The target ran out first: the source lines from the source window's first
// line to the end are deleted in one command.
std::unique_ptr<VekBuf> EmitTailDelete(const DiffSidePair& sides);

}  // namespace vek
