// Which lines changed: the search marks source lines to delete and target
// lines to insert (changeMarks = 1) so that the unmarked lines of the two
// sides form a common subsequence and pair up one to one, in order.
//
//   PruneLines       marks lines that cannot or should not take part in the
//                    search and keeps the rest
//   SplitCompare     shortest edit script between the kept lines: Myers'
//                    O(ND) difference algorithm in its linear-space,
//                    middle-snake form, exact (no cost cut-off)
//   SlideChangeRuns  moves runs of changed lines down over equal lines
#pragma once

#include <cstdint>

#include "diff/diff_side.h"

namespace vek {

// Sets keptCount, keptClasses and keptIndex of both sides and marks the
// discarded lines as changed. Needs classes, classCount and change marks.
void PruneLines(DiffSidePair& sides);

// The search over the kept sequences X (source) and Y (target). Owns the two
// frontier arrays, indexed by diagonal k = x - y from -(ny + 1) to nx + 1.
class MiddleSnakeSearch {
  public:
    explicit MiddleSnakeSearch(DiffSidePair& sides);

    // Marks the kept lines of X[xoff, xlim) and Y[yoff, ylim) that are not on
    // a shortest path as changed.
    void SplitCompare(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim);

    struct MiddleSnake {
        std::int32_t diagonal;
        std::int32_t cost;  // length of the edit script of the range
    };
    // Needs both ranges non-empty, X[xoff] != Y[yoff] and
    // X[xlim - 1] != Y[ylim - 1].
    MiddleSnake FindMiddleSnake(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                                std::int32_t ylim);

  private:
    DiffSide& m_source;
    DiffSide& m_target;
    const std::int32_t* m_x;
    const std::int32_t* m_y;
    DiffArray<std::int32_t> m_forwardBlock;
    DiffArray<std::int32_t> m_backwardBlock;
    std::int32_t* m_forward;   // m_forward[k] for diagonal k
    std::int32_t* m_backward;  // m_backward[k] for diagonal k
};

// Forward and backward frontier sentinels: below and above every position.
inline constexpr std::int32_t kForwardSentinel = -1;
inline constexpr std::int32_t kBackwardSentinel = 32767;

// Moves each run of changed lines down while the line after it equals the
// run's first line and the other side is unchanged there, unless the run
// follows another change directly. Source side first, then target side.
void SlideChangeRuns(DiffSidePair& sides);

}  // namespace vek
