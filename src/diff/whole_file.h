// The whole-file difference: the edit script that turns one sequence of
// lines into another, computed over both sequences at once.
//
// The windowed driver (diff_driver.h) compares buffers in windows aligned by
// line number, which is what the Diff export does. This interface compares
// the whole of two sequences that the caller holds, with the same stages:
// common lines trimmed from both ends, lines hashed into equivalence
// classes, lines without a partner set aside, the middle-snake search, runs
// of changes slid down, and the changes written as edit commands. It is the
// engine's C++ interface for hosts built with the core (vek links it); the
// DiffWhole export reaches it through whole_buffer.h.
//
// Pruning and cost. As in a window, lines without a partner on the other
// side are set aside first (they cannot be part of any common subsequence),
// and so are runs of lines with very many partners among lines set aside:
// that can lengthen the script a little where lines repeat a lot, and keeps
// it as short in bytes as those of other mature diff tools. The search then
// finds a shortest script (fewest deleted plus inserted lines) among the
// lines kept whenever no FindMiddleSnake call needs more than the step
// budget: always when the kept lines of both sides number at most twice the
// budget, and on large inputs whose differences are not dense. On larger
// inputs a range that runs past 2,048 steps is split first at its anchors,
// lines that occur once in the range on each side, in the longest chain
// that keeps their order on both sides; a range without anchors searches on
// up to the budget, then splits at the point the search reached furthest.
// Those inputs also have an effort budget of 2^24 + 64 * (kept lines)
// diagonal visits for the whole search, past which every call stops after
// 256 steps, so time stays near linear on large dissimilar inputs. Scripts
// stay valid whatever the budgets cut; only their length suffers. After the
// search, runs of changes slide to where they face a change on the other
// side, so that fewer, larger hunks are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vek {

// An edit script in the format Diff writes and EdCmd/EdBuf apply: commands
// in descending order of source line numbers ("5,7c", "5d", "4a", "0a"),
// each "a" or "c" followed by its text lines and a line ".". Line numbers
// are those of the unchanged source. Applied from its first line to its
// last to a copy of the source, it gives the target.
class EditScript {
  public:
    EditScript() = default;
    EditScript(EditScript&&) noexcept = default;
    EditScript& operator=(EditScript&&) noexcept = default;
    EditScript(const EditScript&) = delete;
    EditScript& operator=(const EditScript&) = delete;

    // The script's lines, without line feeds. Text lines are views of the
    // target's texts, so the script is valid while those are; command lines
    // and "." are held by the script itself.
    const std::vector<std::string_view>& Lines() const noexcept { return m_lines; }
    // The indexes in Lines() of the command lines, ascending. The lines after
    // an "a" or "c" command, up to the next command or the end, are its text
    // lines and then its closing ".": only these indexes tell a text line
    // that reads like a command or "." from the script's own lines.
    const std::vector<std::size_t>& CommandLines() const noexcept { return m_commandLines; }
    bool Empty() const noexcept { return m_lines.empty(); }
    std::int64_t DeletedLines() const noexcept { return m_deleted; }
    std::int64_t InsertedLines() const noexcept { return m_inserted; }

  private:
    friend class WholeFileEmitter;
    std::vector<std::string_view> m_lines;
    std::vector<char> m_commands;  // the command lines' bytes, never reallocated once filled
    std::vector<std::size_t> m_commandLines;
    std::int64_t m_deleted = 0;
    std::int64_t m_inserted = 0;
};

// Steps one FindMiddleSnake call of the whole-file search may take before it
// splits its range heuristically, for nx and ny kept lines: at least 4,096,
// and 4 * sqrt(nx + ny) for larger inputs (about 5,650 for two sequences of
// a million lines each). One call then visits at most about budget^2
// diagonals, and ranges of up to 2 * budget kept lines are always exact.
std::int32_t WholeFileCostBudget(std::int64_t nx, std::int64_t ny) noexcept;

// The script that turns source[0 .. sourceCount) into target[0 ..
// targetCount). Two lines are equal when their texts have the same length
// and the same bytes; the texts are compared as given (with or without a
// line feed at the end, as long as both sides agree). Equal sequences give
// an empty script.
//
// costBudget: 0 chooses WholeFileCostBudget; a negative value makes the
// search exact whatever it costs.
//
// Raises OutOfMemory when memory runs out (no message is shown; the caller
// reports it) and InvalidArgument when the two sequences together hold more
// than 2^30 lines. The target's texts must outlive the script.
EditScript DiffSequences(const std::string_view* source, std::size_t sourceCount,
                         const std::string_view* target, std::size_t targetCount,
                         std::int32_t costBudget = 0);

}  // namespace vek
