#include "diff/search.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vek {

namespace {

// What pruning decides for each line. A line is provisional while it is
// frequent but may still stay in the search; SettleRuns makes it a keep or
// leaves it out of the search with the discards.
enum : std::uint8_t { kKeep = 0, kDiscard = 1, kProvisional = 2 };

// A line is frequent when the other side holds more than this many copies
// of it (on a side of fewer than kFrequencyLimitUnit records): such lines
// (blank lines, braces) match by chance as often as because text is shared.
constexpr std::int32_t kFrequencyLimitBase = 5;
// From this many records on the line's side the limit doubles, and again at
// every further factor of four: longer texts repeat a line more by chance.
constexpr std::int32_t kFrequencyLimitUnit = 256;
// A run of lines without partner in which more than one line in this many
// is frequent is mostly shared text: all its frequent lines stay.
constexpr std::int32_t kFrequentShareDivisor = 4;
// Inside a longer run, frequent lines stay only in stretches of a minimum
// length that doubles from runs of this many lines on, and again at every
// further factor of four: one frequent line amid new text is chance.
constexpr std::int32_t kStretchRunUnit = 16;
// Frequent lines this close to either end of a run stay until a scan from
// that end meets kScanStopDiscards discards in a row; further in, any discard
// ends the scan. They are likely the shared lines around an edit (a closing
// brace, a blank line).
constexpr std::int32_t kScanReach = 8;
// Three discards in a row: the scan has reached the run's new text.
constexpr std::int32_t kScanStopDiscards = 3;

// `base`, doubled when `count` reaches `unit` and again at every further
// factor of four: about base * 2 * sqrt(count / unit).
std::int32_t DoubledPerFourfold(std::int32_t base, std::int32_t count, std::int32_t unit) {
    std::int32_t value = base;
    for (std::int32_t quotient = count / unit; quotient != 0; quotient /= 4) {
        value *= 2;
    }
    return value;
}

// Keeps the provisional lines at the head (step +1) or tail (step -1) of a
// run of lines without partner, as far as the scan rules above allow.
void ScanRunEnd(std::uint8_t* marks, std::int32_t from, std::int32_t step, std::int32_t length) {
    std::int32_t discardsInARow = 0;
    for (std::int32_t distance = 0; distance < length; ++distance) {
        std::uint8_t& mark = marks[from + step * distance];
        if (distance >= kScanReach && mark == kDiscard) {
            break;
        }
        if (mark == kProvisional) {
            mark = kKeep;
            discardsInARow = 0;
        } else if (mark == kKeep) {
            discardsInARow = 0;
        } else if (++discardsInARow == kScanStopDiscards) {
            break;
        }
    }
}

// Decides the provisional lines of the runs of discardable lines of one side.
void SettleRuns(std::uint8_t* marks, std::int32_t count) {
    for (std::int32_t start = 0; start < count; ++start) {
        // Long stretches of kept lines are passed over eight at a time.
        std::uint64_t eight;
        while (start + static_cast<std::int32_t>(sizeof eight) <= count) {
            std::memcpy(&eight, marks + start, sizeof eight);
            if (eight != 0) {
                break;
            }
            start += static_cast<std::int32_t>(sizeof eight);
        }
        if (start >= count) {
            break;
        }
        if (marks[start] == kKeep) {
            continue;
        }
        if (marks[start] == kProvisional) {
            marks[start] = kKeep;  // a provisional line that starts no run stays
            continue;
        }
        std::int32_t end = start;
        std::int32_t provisional = 0;
        while (end < count && marks[end] != kKeep) {
            if (marks[end] == kProvisional) {
                ++provisional;
            }
            ++end;
        }
        while (end > start && marks[end - 1] == kProvisional) {
            marks[--end] = kKeep;
            --provisional;
        }
        const std::int32_t length = end - start;
        if (provisional * kFrequentShareDivisor > length) {
            for (std::int32_t line = start; line < end; ++line) {
                if (marks[line] == kProvisional) {
                    marks[line] = kKeep;
                }
            }
            continue;  // the next line may start a run of its own
        }
        const std::int32_t minimum = DoubledPerFourfold(1, length, kStretchRunUnit) + 1;
        // Stretches of `minimum` or more provisional lines stay in the search.
        std::int32_t inARow = 0;
        for (std::int32_t offset = 0; offset < length; ++offset) {
            if (marks[start + offset] != kProvisional) {
                inARow = 0;
            } else if (++inARow == minimum) {
                offset -= inARow;  // back to the stretch's first line
            } else if (inARow > minimum) {
                marks[start + offset] = kKeep;
            }
        }
        ScanRunEnd(marks, start, 1, length);
        start += length - 1;
        ScanRunEnd(marks, start, -1, length);
    }
}

}  // namespace

void PruneLines(DiffSidePair& sides) {
    DiffSide* const bySide[2] = {&sides.source, &sides.target};
    DiffArray<std::int32_t> copies[2];  // per side and class: lines of that class
    DiffArray<std::uint8_t> marks[2];
    DiffArray<std::uint8_t> classMark;  // the mark a class gives, for the side at hand
    for (int s = 0; s < 2; ++s) {
        const std::size_t records = static_cast<std::size_t>(bySide[s]->recordCount);
        bySide[s]->keptClasses.Allocate(records);
        bySide[s]->keptIndex.Allocate(records);
        copies[s].Allocate(static_cast<std::size_t>(bySide[s]->classCount));
        copies[s].Clear();
        marks[s].Allocate(records);
    }
    classMark.Allocate(static_cast<std::size_t>(sides.source.classCount));
    // The loops below keep their bounds and arrays in locals: their stores
    // could otherwise alias the sides' fields and make every step read
    // them again.
    for (int s = 0; s < 2; ++s) {
        const std::int32_t* const classes = bySide[s]->classes.Data();
        std::int32_t* const count = copies[s].Data();
        const std::int32_t records = bySide[s]->recordCount;
        for (std::int32_t line = 0; line < records; ++line) {
            ++count[classes[line]];
        }
    }
    for (int s = 0; s < 2; ++s) {
        const DiffSide& own = *bySide[s];
        const std::int32_t* const otherCopies = copies[1 - s].Data();
        const std::int32_t limit =
            DoubledPerFourfold(kFrequencyLimitBase, own.recordCount, kFrequencyLimitUnit);
        std::uint8_t* const byClass = classMark.Data();
        const std::int32_t classCount = static_cast<std::int32_t>(classMark.Count());
        byClass[0] = kKeep;  // the common prefix
        for (std::int32_t klass = 1; klass < classCount; ++klass) {
            byClass[klass] = otherCopies[klass] == 0      ? kDiscard
                             : otherCopies[klass] > limit ? kProvisional
                                                          : kKeep;
        }
        const std::int32_t* const classes = own.classes.Data();
        std::uint8_t* const mark = marks[s].Data();
        const std::int32_t records = own.recordCount;
        for (std::int32_t line = 0; line < records; ++line) {
            mark[line] = byClass[classes[line]];
        }
        SettleRuns(mark, records);
    }
    for (int s = 0; s < 2; ++s) {
        DiffSide& own = *bySide[s];
        const std::uint8_t* const mark = marks[s].Data();
        const std::int32_t* const classes = own.classes.Data();
        std::int32_t* const keptClasses = own.keptClasses.Data();
        std::int32_t* const keptIndex = own.keptIndex.Data();
        std::uint8_t* const changeMarks = own.changeMarks;
        const std::int32_t records = own.recordCount;
        std::int32_t kept = 0;
        for (std::int32_t line = 0; line < records; ++line) {
            // Written for every line, counted only for kept ones.
            keptClasses[kept] = classes[line];
            keptIndex[kept] = line;
            const bool keep = mark[line] == kKeep;
            kept += keep ? 1 : 0;
            changeMarks[line] = keep ? 0 : 1;
        }
        own.keptCount = kept;
    }
}

MiddleSnakeSearch::MiddleSnakeSearch(DiffSidePair& sides)
    : MiddleSnakeSearch(sides, SearchLimits{}) {}

MiddleSnakeSearch::MiddleSnakeSearch(DiffSidePair& sides, const SearchLimits& limits)
    : m_source(sides.source),
      m_target(sides.target),
      m_x(sides.source.keptClasses.Data()),
      m_y(sides.target.keptClasses.Data()),
      m_limits(limits) {
    const std::size_t size = static_cast<std::size_t>(m_source.keptCount) +
                             static_cast<std::size_t>(m_target.keptCount) + 3;
    m_forwardBlock.Allocate(size);
    m_backwardBlock.Allocate(size);
    m_forward = m_forwardBlock.Data() + m_target.keptCount + 1;
    m_backward = m_backwardBlock.Data() + m_target.keptCount + 1;
}

void MiddleSnakeSearch::SplitCompare(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                                     std::int32_t ylim) {
    Compare(xoff, xlim, yoff, ylim, m_limits.anchors);
}

void MiddleSnakeSearch::Compare(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                                std::int32_t ylim, bool anchors) {
    for (;;) {
        while (xoff < xlim && yoff < ylim && m_x[xoff] == m_y[yoff]) {
            ++xoff;
            ++yoff;
        }
        if (xoff < xlim) {
            for (;;) {
                if (ylim <= yoff || m_x[xlim - 1] != m_y[ylim - 1]) {
                    break;
                }
                --xlim;
                --ylim;
                if (xlim <= xoff) {
                    break;
                }
            }
        }
        if (xoff == xlim) {
            for (std::int32_t y = yoff; y < ylim; ++y) {
                m_target.changeMarks[m_target.keptIndex[y]] = 1;
            }
            return;
        }
        if (yoff == ylim) {
            for (std::int32_t x = xoff; x < xlim; ++x) {
                m_source.changeMarks[m_source.keptIndex[x]] = 1;
            }
            return;
        }
        const bool early = anchors && m_limits.anchorSteps > 0;
        MiddleSnake snake =
            Search(xoff, xlim, yoff, ylim, early ? m_limits.anchorSteps : m_limits.steps);
        if (!snake.exact && anchors) {
            if (SplitAtAnchors(xoff, xlim, yoff, ylim)) {
                return;
            }
            anchors = false;
            if (early && m_limits.anchorSteps < m_limits.steps) {
                snake = Search(xoff, xlim, yoff, ylim, m_limits.steps);
            }
        }
        Compare(xoff, snake.x, yoff, snake.y, anchors);
        xoff = snake.x;
        yoff = snake.y;
    }
}

MiddleSnakeSearch::MiddleSnake MiddleSnakeSearch::FindMiddleSnake(std::int32_t xoff,
                                                                  std::int32_t xlim,
                                                                  std::int32_t yoff,
                                                                  std::int32_t ylim) {
    return Search(xoff, xlim, yoff, ylim, m_limits.steps);
}

MiddleSnakeSearch::MiddleSnake MiddleSnakeSearch::Search(std::int32_t xoff, std::int32_t xlim,
                                                         std::int32_t yoff, std::int32_t ylim,
                                                         std::int32_t stepLimit) {
    const std::int32_t* const xClass = m_x;
    const std::int32_t* const yClass = m_y;
    std::int32_t* const forward = m_forward;
    std::int32_t* const backward = m_backward;
    const std::int32_t lowestDiagonal = xoff - ylim;
    const std::int32_t highestDiagonal = xlim - yoff;
    const std::int32_t forwardOrigin = xoff - yoff;   // the diagonal of the top left corner
    const std::int32_t backwardOrigin = xlim - ylim;  // the diagonal of the bottom right corner
    // The frontiers can first overlap after a forward step when the corners'
    // diagonals are an odd distance apart, after a backward step otherwise.
    const bool oddDistance = ((forwardOrigin - backwardOrigin) & 1) != 0;
    forward[forwardOrigin] = xoff;
    backward[backwardOrigin] = xlim;
    std::int32_t forwardLow = forwardOrigin, forwardHigh = forwardOrigin;
    std::int32_t backwardLow = backwardOrigin, backwardHigh = backwardOrigin;
    for (std::int32_t step = 1;; ++step) {
        if (forwardLow > lowestDiagonal) {
            forward[--forwardLow - 1] = kForwardSentinel;
        } else {
            ++forwardLow;
        }
        if (forwardHigh < highestDiagonal) {
            forward[++forwardHigh + 1] = kForwardSentinel;
        } else {
            --forwardHigh;
        }
        for (std::int32_t diagonal = forwardHigh; diagonal >= forwardLow; diagonal -= 2) {
            const std::int32_t below = forward[diagonal - 1];
            const std::int32_t above = forward[diagonal + 1];
            std::int32_t x = below >= above ? below + 1 : above;
            std::int32_t y = x - diagonal;
            while (x < xlim && y < ylim && xClass[x] == yClass[y]) {
                ++x;
                ++y;
            }
            forward[diagonal] = x;
            if (oddDistance && backwardLow <= diagonal && diagonal <= backwardHigh &&
                backward[diagonal] <= x) {
                return {diagonal, 2 * step - 1, backward[diagonal], backward[diagonal] - diagonal,
                        true};
            }
        }
        if (backwardLow > lowestDiagonal) {
            backward[--backwardLow - 1] = m_limits.backwardSentinel;
        } else {
            ++backwardLow;
        }
        if (backwardHigh < highestDiagonal) {
            backward[++backwardHigh + 1] = m_limits.backwardSentinel;
        } else {
            --backwardHigh;
        }
        for (std::int32_t diagonal = backwardHigh; diagonal >= backwardLow; diagonal -= 2) {
            const std::int32_t below = backward[diagonal - 1];
            const std::int32_t above = backward[diagonal + 1];
            std::int32_t x = below < above ? below : above - 1;
            std::int32_t y = x - diagonal;
            while (x > xoff && y > yoff && xClass[x - 1] == yClass[y - 1]) {
                --x;
                --y;
            }
            backward[diagonal] = x;
            if (!oddDistance && forwardLow <= diagonal && diagonal <= forwardHigh &&
                x <= forward[diagonal]) {
                return {diagonal, 2 * step, x, x - diagonal, true};
            }
        }
        if (stepLimit > 0) {
            m_effort += (forwardHigh - forwardLow) / 2 + (backwardHigh - backwardLow) / 2 + 2;
            const bool spent = m_limits.effort > 0 && m_effort > m_limits.effort;
            if (step >= (spent ? m_limits.laterSteps : stepLimit)) {
                const MiddleSnake furthest =
                    FurthestPoint(xoff, xlim, yoff, ylim, forwardLow, forwardHigh, backwardLow,
                                  backwardHigh, 2 * step);
                if (!furthest.exact) {
                    return furthest;
                }
            }
        }
    }
}

bool MiddleSnakeSearch::SplitAtAnchors(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                                       std::int32_t ylim) {
    enum : std::uint8_t { kSourceOnce = 1, kSourceMore = 2, kTargetOnce = 4, kTargetMore = 8 };
    if (m_classOccurs.Data() == nullptr) {
        const auto classes = static_cast<std::size_t>(m_source.classCount);
        m_classOccurs.Allocate(classes);
        m_classOccurs.Clear();
        m_classPosition.Allocate(classes);
    }
    std::uint8_t* const occurs = m_classOccurs.Data();
    std::int32_t* const position = m_classPosition.Data();
    for (std::int32_t x = xoff; x < xlim; ++x) {
        // A second occurrence adds the once bit to itself, which gives the
        // more bit.
        std::uint8_t& seen = occurs[m_x[x]];
        seen = (seen & kSourceMore) != 0   ? seen
               : (seen & kSourceOnce) != 0 ? seen + kSourceOnce
                                           : seen | kSourceOnce;
        position[m_x[x]] = x;
    }
    for (std::int32_t y = yoff; y < ylim; ++y) {
        std::uint8_t& seen = occurs[m_y[y]];
        seen = (seen & kTargetMore) != 0   ? seen
               : (seen & kTargetOnce) != 0 ? seen + kTargetOnce
                                           : seen | kTargetOnce;
    }
    // Lines once on each side, in target order: their source positions. The
    // longest increasing run of those is the longest chain of such lines in
    // the same order on both sides.
    std::int32_t pairs = 0;
    for (std::int32_t y = yoff; y < ylim; ++y) {
        pairs += occurs[m_y[y]] == (kSourceOnce | kTargetOnce) ? 1 : 0;
    }
    DiffArray<std::int32_t> pairX;
    DiffArray<std::int32_t> pairY;
    if (pairs > 0) {
        pairX.Allocate(static_cast<std::size_t>(pairs));
        pairY.Allocate(static_cast<std::size_t>(pairs));
        std::int32_t pair = 0;
        for (std::int32_t y = yoff; y < ylim; ++y) {
            if (occurs[m_y[y]] == (kSourceOnce | kTargetOnce)) {
                pairX[pair] = position[m_y[y]];
                pairY[pair] = y;
                ++pair;
            }
        }
    }
    for (std::int32_t x = xoff; x < xlim; ++x) {
        occurs[m_x[x]] = 0;
    }
    for (std::int32_t y = yoff; y < ylim; ++y) {
        occurs[m_y[y]] = 0;
    }
    if (pairs == 0) {
        return false;
    }

    // Longest increasing subsequence of pairX by patience sorting: tail[n] is
    // the pair ending the best run of length n + 1 found so far (the one with
    // the smallest source position), before[p] the pair preceding p in its run.
    DiffArray<std::int32_t> tail;
    DiffArray<std::int32_t> before;
    tail.Allocate(static_cast<std::size_t>(pairs));
    before.Allocate(static_cast<std::size_t>(pairs));
    std::int32_t longest = 0;
    for (std::int32_t pair = 0; pair < pairs; ++pair) {
        std::int32_t low = 0;
        std::int32_t high = longest;
        while (low < high) {
            const std::int32_t middle = low + (high - low) / 2;
            if (pairX[tail[middle]] < pairX[pair]) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        before[pair] = low > 0 ? tail[low - 1] : -1;
        tail[low] = pair;
        longest = std::max(longest, low + 1);
    }
    // The chain, read backwards into tail (reused) in ascending order.
    std::int32_t pair = tail[longest - 1];
    for (std::int32_t n = longest - 1; n >= 0; --n) {
        tail[n] = pair;
        pair = before[pair];
    }
    before.Release();
    // The anchors stay unchanged; the ranges between them are solved anew.
    std::int32_t x = xoff;
    std::int32_t y = yoff;
    for (std::int32_t n = 0; n < longest; ++n) {
        const std::int32_t anchorX = pairX[tail[n]];
        const std::int32_t anchorY = pairY[tail[n]];
        Compare(x, anchorX, y, anchorY, true);
        x = anchorX + 1;
        y = anchorY + 1;
    }
    Compare(x, xlim, y, ylim, true);
    return true;
}

// The budget is spent: the range is split at the point that got furthest
// from its own corner, forward (largest x + y) or backward (smallest x + y).
// The part on the searched side of that point has an edit script no longer
// than the steps taken, so the recursion solves it within the budget; the
// other part is searched again. The script is then no longer shortest, but
// each call costs at most about budget^2 diagonal steps plus its snakes.
MiddleSnakeSearch::MiddleSnake MiddleSnakeSearch::FurthestPoint(
    std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim,
    std::int32_t forwardLow, std::int32_t forwardHigh, std::int32_t backwardLow,
    std::int32_t backwardHigh, std::int32_t cost) const {
    struct Point {
        std::int64_t progress = -1;
        std::int32_t x = 0;
        std::int32_t diagonal = 0;
    };
    // The point of a frontier that got furthest from its corner: progress
    // is |x - cornerX| + |y - cornerY|, with x kept inside the range.
    const auto furthest = [&](const std::int32_t* frontier, std::int32_t low, std::int32_t high,
                              std::int32_t cornerX, std::int32_t cornerY) {
        Point best;
        for (std::int32_t diagonal = high; diagonal >= low; diagonal -= 2) {
            const std::int32_t x = std::min(std::max(frontier[diagonal], xoff), xlim);
            const std::int32_t y = x - diagonal;
            if (y < yoff || y > ylim) {
                continue;
            }
            const std::int64_t progress = std::abs(static_cast<std::int64_t>(x) - cornerX) +
                                          std::abs(static_cast<std::int64_t>(y) - cornerY);
            if (progress > best.progress) {
                best = Point{progress, x, diagonal};
            }
        }
        return best;
    };
    const Point forward = furthest(m_forward, forwardLow, forwardHigh, xoff, yoff);
    const Point backward = furthest(m_backward, backwardLow, backwardHigh, xlim, ylim);
    const Point& best = forward.progress >= backward.progress ? forward : backward;
    const std::int64_t whole = static_cast<std::int64_t>(xlim - xoff) + (ylim - yoff);
    if (best.progress <= 0 || best.progress >= whole) {
        return {0, 0, 0, 0, true};  // no point strictly inside: keep searching
    }
    return {best.diagonal, cost, best.x, best.x - best.diagonal, false};
}

void SlideChangeRuns(DiffSidePair& sides) {
    DiffSide* const bySide[2] = {&sides.source, &sides.target};
    for (int s = 0; s < 2; ++s) {
        std::uint8_t* const marks = bySide[s]->changeMarks;
        const std::uint8_t* const otherMarks = bySide[1 - s]->changeMarks;
        const std::int32_t* const classes = bySide[s]->classes.Data();
        const std::int32_t end = bySide[s]->recordCount;
        std::int32_t line = 0;
        std::int32_t otherLine = 0;
        std::int32_t preceding = -1;       // where the run before ended
        std::int32_t otherPreceding = -1;  // the same on the other side
        for (;;) {
            while (line < end && marks[line] == 0) {
                while (otherMarks[otherLine] != 0) {
                    otherPreceding = ++otherLine;
                }
                ++line;
                ++otherLine;
            }
            if (line == end) {
                break;
            }
            std::int32_t start = line;
            const std::int32_t otherStart = otherLine;
            for (;;) {
                while (line < end && marks[line] != 0) {
                    ++line;
                }
                if (line == end) {
                    break;
                }
                if (classes[start] == classes[line] && otherMarks[otherLine] == 0 &&
                    start != preceding && otherStart != otherPreceding) {
                    marks[line] = 1;
                    marks[start] = 0;
                    ++start;
                    ++line;
                    ++otherLine;
                } else {
                    break;
                }
            }
            preceding = line;
            otherPreceding = otherLine;
        }
    }
}

void AlignChangeRuns(DiffSidePair& sides) {
    DiffSide* const bySide[2] = {&sides.source, &sides.target};
    for (int s = 0; s < 2; ++s) {
        std::uint8_t* const marks = bySide[s]->changeMarks;
        const std::int32_t* const classes = bySide[s]->classes.Data();
        const std::int32_t count = bySide[s]->recordCount;
        const DiffSide& other = *bySide[1 - s];
        // The unchanged lines of both sides pair up in order: the r-th of
        // this side with the r-th of the other. Sliding a run here never
        // changes the other side's unchanged lines, only which of this
        // side's lines holds each rank. unchanged[r + 1] is the position of
        // the other side's r-th unchanged line, with -1 and the other side's
        // length around them.
        DiffArray<std::int32_t> unchangedBlock;
        unchangedBlock.Allocate(static_cast<std::size_t>(other.recordCount) + 2);
        std::int32_t* const unchanged = unchangedBlock.Data() + 1;
        std::int32_t unchangedCount = 0;
        unchanged[-1] = -1;
        for (std::int32_t line = 0; line < other.recordCount; ++line) {
            if (other.changeMarks[line] == 0) {
                unchanged[unchangedCount++] = line;
            }
        }
        unchanged[unchangedCount] = other.recordCount;
        // A run with `rank` unchanged lines before it faces a change on the
        // other side when the other side has lines between the unchanged
        // lines of ranks rank - 1 and rank.
        const auto facesChange = [&](std::int32_t rank) {
            return unchanged[rank] - unchanged[rank - 1] > 1;
        };

        std::int32_t rank = 0;  // unchanged lines before `line`
        std::int32_t line = 0;
        while (line < count) {
            if (marks[line] == 0) {
                ++rank;
                ++line;
                continue;
            }
            std::int32_t start = line;
            std::int32_t end = line;
            while (end < count && marks[end] != 0) {
                ++end;
            }
            std::int32_t length;
            std::int32_t settle;
            do {
                length = end - start;
                // Up as far as it goes, taking in the runs above.
                while (start > 0 && classes[start - 1] == classes[end - 1]) {
                    marks[--start] = 1;
                    marks[--end] = 0;
                    --rank;
                    while (start > 0 && marks[start - 1] != 0) {
                        --start;
                    }
                }
                // Then down as far as it goes, taking in the runs below and
                // noting the lowest end at which it faces a change.
                settle = facesChange(rank) ? end : -1;
                while (end < count && classes[start] == classes[end]) {
                    marks[start++] = 0;
                    marks[end++] = 1;
                    ++rank;
                    while (end < count && marks[end] != 0) {
                        ++end;
                    }
                    if (facesChange(rank)) {
                        settle = end;
                    }
                }
            } while (end - start != length);  // it took in another run: once more
            if (settle >= 0) {
                while (end > settle) {
                    marks[--start] = 1;
                    marks[--end] = 0;
                    --rank;
                }
            }
            line = end;
        }
    }
}

}  // namespace vek
