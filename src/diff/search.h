// Which lines changed: the search marks source lines to delete and target
// lines to insert (changeMarks = 1) so that the unmarked lines of the two
// sides form a common subsequence and pair up one to one, in order.
//
//   PruneLines       marks lines that cannot or should not take part in the
//                    search and keeps the rest
//   SplitCompare     shortest edit script between the kept lines: Myers'
//                    O(ND) difference algorithm in its linear-space,
//                    middle-snake form; exact for windows, and for whole
//                    files until a cost budget is spent
//   SlideChangeRuns  moves runs of changed lines down over equal lines
//   AlignChangeRuns  the whole-file slide: runs move to where they meet a
//                    change on the other side, or down as far as they go
#pragma once

#include <cstdint>

#include "diff/diff_side.h"

namespace vek {

// Sets keptCount, keptClasses and keptIndex of both sides and marks the
// discarded lines as changed. Needs classes, classCount and change marks.
void PruneLines(DiffSidePair& sides);

// Forward and backward frontier sentinels: below and above every position
// of a window, which run from 0 to kDiffWindowLines.
inline constexpr std::int32_t kForwardSentinel = -1;
inline constexpr std::int32_t kBackwardSentinel = 32767;
static_assert(kForwardSentinel < 0 && kBackwardSentinel > kDiffWindowLines,
              "a frontier sentinel must lie outside every window position");

// How a search over whole sequences trades the shortest script for time.
struct SearchLimits {
    // Above every position of the sequences.
    std::int32_t backwardSentinel = kBackwardSentinel;
    // Most steps one FindMiddleSnake call may take; 0: no limit (exact).
    // A range whose shortest script is at most twice this long is always
    // solved exactly.
    std::int32_t steps = 0;
    // A range that runs over the step limit is first split at its anchors:
    // the longest run, in the same order on both sides, of lines that occur
    // exactly once in the range on each side. Only when it has none is it
    // split at the furthest point the search reached.
    bool anchors = false;
    // Steps after which a range that may still be split at anchors tries
    // them (0: after `steps`). When it has none, the search runs again, up
    // to `steps`.
    std::int32_t anchorSteps = 0;
    // Once the whole search has visited this many diagonals (0: never), every
    // FindMiddleSnake call is held to laterSteps instead, so that the total
    // stays near linear in the input on large dissimilar inputs.
    std::int64_t effort = 0;
    std::int32_t laterSteps = 0;
};

// The search over the kept sequences X (source) and Y (target). Owns the two
// frontier arrays, indexed by diagonal k = x - y from -(ny + 1) to nx + 1.
class MiddleSnakeSearch {
  public:
    // The search of a window: exact, with the window's backward sentinel.
    explicit MiddleSnakeSearch(DiffSidePair& sides);
    // A search over sequences of any length (see SearchLimits).
    MiddleSnakeSearch(DiffSidePair& sides, const SearchLimits& limits);

    // Marks the kept lines of X[xoff, xlim) and Y[yoff, ylim) that are not on
    // a shortest path as changed.
    void SplitCompare(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim);

    struct MiddleSnake {
        std::int32_t diagonal;
        std::int32_t cost;  // length of the edit script of the range
        // Where the range is split: the backward frontier on the diagonal,
        // or, once the budget is spent, the furthest point reached.
        std::int32_t x;
        std::int32_t y;
        bool exact;  // false: the split came from the budget, not an overlap
    };
    // Needs both ranges non-empty, X[xoff] != Y[yoff] and
    // X[xlim - 1] != Y[ylim - 1].
    MiddleSnake FindMiddleSnake(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                                std::int32_t ylim);

  private:
    // SplitCompare, trying anchors on over-budget ranges when `anchors` is
    // set. A range without anchors passes false to its parts.
    void Compare(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim,
                 bool anchors);
    // FindMiddleSnake held to stepLimit steps (0: none).
    MiddleSnake Search(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim,
                       std::int32_t stepLimit);
    // Splits an over-budget range at its anchors and solves the ranges
    // between them. false (nothing done) when the range has no anchor.
    bool SplitAtAnchors(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim);

    // The split point once the budget is spent (exact = false), or exact =
    // true when no point is strictly inside the range (then the search goes
    // on). The frontiers reach the diagonals forwardLow .. forwardHigh and
    // backwardLow .. backwardHigh.
    MiddleSnake FurthestPoint(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                              std::int32_t ylim, std::int32_t forwardLow, std::int32_t forwardHigh,
                              std::int32_t backwardLow, std::int32_t backwardHigh,
                              std::int32_t cost) const;

    DiffSide& m_source;
    DiffSide& m_target;
    const std::int32_t* m_x;
    const std::int32_t* m_y;
    DiffArray<std::int32_t> m_forwardBlock;
    DiffArray<std::int32_t> m_backwardBlock;
    std::int32_t* m_forward;   // m_forward[k] for diagonal k
    std::int32_t* m_backward;  // m_backward[k] for diagonal k
    SearchLimits m_limits;
    std::int64_t m_effort = 0;  // diagonals visited so far by limited calls
    // Per class, for SplitAtAnchors: how often it occurs in the range at hand
    // on each side (two bits each, saturating at 2; all 0 between calls) and
    // its last position in the source range. Allocated on first use.
    DiffArray<std::uint8_t> m_classOccurs;
    DiffArray<std::int32_t> m_classPosition;
};

// Moves each run of changed lines down while the line after it equals the
// run's first line and the other side is unchanged there, unless the run
// follows another change directly. Source side first, then target side.
void SlideChangeRuns(DiffSidePair& sides);

// Moves each run of changed lines up or down over equal lines, joining the
// runs it meets on its own side: it settles at the lowest place where it
// faces a change on the other side (so that the two form one "c" hunk),
// or else as low as it can go. Fewer, larger hunks; the same number of
// changed lines. Source side first, then target side. Needs classes for
// every record (no common prefix) and the change marks.
void AlignChangeRuns(DiffSidePair& sides);

}  // namespace vek
