#include "diff/search.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vek {

namespace {

enum : std::uint8_t { kKeep = 0, kDiscard = 1, kProvisional = 2 };

// Clears the marks 2 at the head (step +1) or tail (step -1) of a run of
// discardable lines, up to the first three discards in a row, and never
// past the eighth line for a discard.
void ScanRunEnd(std::uint8_t* mark, std::int32_t from, std::int32_t step, std::int32_t length) {
    std::int32_t consecutive = 0;
    for (std::int32_t r = 0; r < length; ++r) {
        std::uint8_t& m = mark[from + step * r];
        if (r >= 8 && m == kDiscard) {
            break;
        }
        if (m == kProvisional) {
            m = kKeep;
            consecutive = 0;
        } else if (m == kKeep) {
            consecutive = 0;
        } else if (++consecutive == 3) {
            break;
        }
    }
}

// Decides the provisional lines of the runs of discardable lines of one side.
void SettleRuns(std::uint8_t* mark, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        // Long stretches of kept lines are passed over eight at a time.
        while (i + 8 <= count) {
            std::uint64_t eight;
            std::memcpy(&eight, mark + i, 8);
            if (eight != 0) {
                break;
            }
            i += 8;
        }
        if (i >= count) {
            break;
        }
        if (mark[i] == kKeep) {
            continue;
        }
        if (mark[i] == kProvisional) {
            mark[i] = kKeep;  // a provisional line that starts no run stays
            continue;
        }
        std::int32_t j = i;
        std::int32_t provisional = 0;
        while (j < count && mark[j] != kKeep) {
            if (mark[j] == kProvisional) {
                ++provisional;
            }
            ++j;
        }
        while (j > i && mark[j - 1] == kProvisional) {
            mark[--j] = kKeep;
            --provisional;
        }
        const std::int32_t length = j - i;
        if (provisional * 4 > length) {
            for (std::int32_t r = i; r < j; ++r) {
                if (mark[r] == kProvisional) {
                    mark[r] = kKeep;
                }
            }
            continue;  // the next line may start a run of its own
        }
        std::int32_t minimum = 1;
        for (std::int32_t t = length / 16; t != 0; t /= 4) {
            minimum *= 2;
        }
        ++minimum;
        // Stretches of `minimum` or more provisional lines stay in the search.
        std::int32_t consecutive = 0;
        for (std::int32_t r = 0; r < length; ++r) {
            if (mark[i + r] != kProvisional) {
                consecutive = 0;
            } else if (++consecutive == minimum) {
                r -= consecutive;  // back to the stretch's first line
            } else if (consecutive > minimum) {
                mark[i + r] = kKeep;
            }
        }
        ScanRunEnd(mark, i, 1, length);
        i += length - 1;
        ScanRunEnd(mark, i, -1, length);
    }
}

std::int32_t FrequencyLimit(std::int32_t recordCount) {
    std::int32_t limit = 5;
    for (std::int32_t t = recordCount / 256; t != 0; t /= 4) {
        limit *= 2;
    }
    return limit;
}

}  // namespace

void PruneLines(DiffSidePair& sides) {
    DiffSide* side[2] = {&sides.source, &sides.target};
    DiffArray<std::int32_t> counts[2];
    DiffArray<std::uint8_t> marks[2];
    DiffArray<std::uint8_t> classMark;  // the mark a class gives, for the side at hand
    for (int s = 0; s < 2; ++s) {
        const std::size_t records = static_cast<std::size_t>(side[s]->recordCount);
        side[s]->keptClasses.Allocate(records);
        side[s]->keptIndex.Allocate(records);
        counts[s].Allocate(static_cast<std::size_t>(side[s]->classCount));
        counts[s].Clear();
        marks[s].Allocate(records);
    }
    classMark.Allocate(static_cast<std::size_t>(sides.source.classCount));
    for (int s = 0; s < 2; ++s) {
        const std::int32_t* const classes = side[s]->classes.Data();
        std::int32_t* const count = counts[s].Data();
        for (std::int32_t i = 0; i < side[s]->recordCount; ++i) {
            ++count[classes[i]];
        }
    }
    for (int s = 0; s < 2; ++s) {
        const DiffSide& own = *side[s];
        const std::int32_t* const other = counts[1 - s].Data();
        const std::int32_t limit = FrequencyLimit(own.recordCount);
        std::uint8_t* const byClass = classMark.Data();
        const std::int32_t classCount = static_cast<std::int32_t>(classMark.Count());
        byClass[0] = kKeep;  // the common prefix
        for (std::int32_t k = 1; k < classCount; ++k) {
            byClass[k] = other[k] == 0 ? kDiscard : other[k] > limit ? kProvisional : kKeep;
        }
        const std::int32_t* const classes = own.classes.Data();
        std::uint8_t* const mark = marks[s].Data();
        for (std::int32_t i = 0; i < own.recordCount; ++i) {
            mark[i] = byClass[classes[i]];
        }
        SettleRuns(mark, own.recordCount);
    }
    for (int s = 0; s < 2; ++s) {
        DiffSide& own = *side[s];
        const std::uint8_t* const mark = marks[s].Data();
        const std::int32_t* const classes = own.classes.Data();
        std::int32_t* const keptClasses = own.keptClasses.Data();
        std::int32_t* const keptIndex = own.keptIndex.Data();
        std::int32_t k = 0;
        for (std::int32_t i = 0; i < own.recordCount; ++i) {
            // Written for every line, counted only for kept ones.
            keptClasses[k] = classes[i];
            keptIndex[k] = i;
            const bool kept = mark[i] == kKeep;
            k += kept ? 1 : 0;
            own.changeMarks[i] = kept ? 0 : 1;
        }
        own.keptCount = k;
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
    const std::int32_t* const x_ = m_x;
    const std::int32_t* const y_ = m_y;
    std::int32_t* const fd = m_forward;
    std::int32_t* const bd = m_backward;
    const std::int32_t dmin = xoff - ylim;
    const std::int32_t dmax = xlim - yoff;
    const std::int32_t fmid = xoff - yoff;
    const std::int32_t bmid = xlim - ylim;
    const bool odd = ((fmid - bmid) & 1) != 0;
    fd[fmid] = xoff;
    bd[bmid] = xlim;
    std::int32_t fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
    for (std::int32_t step = 1;; ++step) {
        if (fmin > dmin) {
            fd[--fmin - 1] = kForwardSentinel;
        } else {
            ++fmin;
        }
        if (fmax < dmax) {
            fd[++fmax + 1] = kForwardSentinel;
        } else {
            --fmax;
        }
        for (std::int32_t d = fmax; d >= fmin; d -= 2) {
            const std::int32_t lo = fd[d - 1];
            const std::int32_t hi = fd[d + 1];
            std::int32_t x = lo >= hi ? lo + 1 : hi;
            std::int32_t y = x - d;
            while (x < xlim && y < ylim && x_[x] == y_[y]) {
                ++x;
                ++y;
            }
            fd[d] = x;
            if (odd && bmin <= d && d <= bmax && bd[d] <= x) {
                return {d, 2 * step - 1, bd[d], bd[d] - d, true};
            }
        }
        if (bmin > dmin) {
            bd[--bmin - 1] = m_limits.backwardSentinel;
        } else {
            ++bmin;
        }
        if (bmax < dmax) {
            bd[++bmax + 1] = m_limits.backwardSentinel;
        } else {
            --bmax;
        }
        for (std::int32_t d = bmax; d >= bmin; d -= 2) {
            const std::int32_t lo = bd[d - 1];
            const std::int32_t hi = bd[d + 1];
            std::int32_t x = lo < hi ? lo : hi - 1;
            std::int32_t y = x - d;
            while (x > xoff && y > yoff && x_[x - 1] == y_[y - 1]) {
                --x;
                --y;
            }
            bd[d] = x;
            if (!odd && fmin <= d && d <= fmax && x <= fd[d]) {
                return {d, 2 * step, x, x - d, true};
            }
        }
        if (stepLimit > 0) {
            m_effort += (fmax - fmin) / 2 + (bmax - bmin) / 2 + 2;
            const bool spent = m_limits.effort > 0 && m_effort > m_limits.effort;
            if (step >= (spent ? m_limits.laterSteps : stepLimit)) {
                const MiddleSnake furthest =
                    FurthestPoint(xoff, xlim, yoff, ylim, fmin, fmax, bmin, bmax, 2 * step);
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
        std::uint8_t& o = occurs[m_x[x]];
        o = (o & kSourceMore) != 0 ? o : (o & kSourceOnce) != 0 ? o + 1 : o | kSourceOnce;
        position[m_x[x]] = x;
    }
    for (std::int32_t y = yoff; y < ylim; ++y) {
        std::uint8_t& o = occurs[m_y[y]];
        o = (o & kTargetMore) != 0 ? o : (o & kTargetOnce) != 0 ? o + 4 : o | kTargetOnce;
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
        std::int32_t k = 0;
        for (std::int32_t y = yoff; y < ylim; ++y) {
            if (occurs[m_y[y]] == (kSourceOnce | kTargetOnce)) {
                pairX[k] = position[m_y[y]];
                pairY[k] = y;
                ++k;
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

    // Longest increasing subsequence of pairX by patience sorting: tail[l] is
    // the pair ending the best run of length l + 1 found so far (the one with
    // the smallest source position), before[k] the pair preceding k in its run.
    DiffArray<std::int32_t> tail;
    DiffArray<std::int32_t> before;
    tail.Allocate(static_cast<std::size_t>(pairs));
    before.Allocate(static_cast<std::size_t>(pairs));
    std::int32_t longest = 0;
    for (std::int32_t k = 0; k < pairs; ++k) {
        std::int32_t lo = 0;
        std::int32_t hi = longest;
        while (lo < hi) {
            const std::int32_t mid = lo + (hi - lo) / 2;
            if (pairX[tail[mid]] < pairX[k]) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        before[k] = lo > 0 ? tail[lo - 1] : -1;
        tail[lo] = k;
        longest = std::max(longest, lo + 1);
    }
    // The chain, read backwards into tail (reused) in ascending order.
    std::int32_t k = tail[longest - 1];
    for (std::int32_t l = longest - 1; l >= 0; --l) {
        tail[l] = k;
        k = before[k];
    }
    before.Release();
    // The anchors stay unchanged; the ranges between them are solved anew.
    std::int32_t x = xoff;
    std::int32_t y = yoff;
    for (std::int32_t l = 0; l < longest; ++l) {
        const std::int32_t anchorX = pairX[tail[l]];
        const std::int32_t anchorY = pairY[tail[l]];
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
    std::int32_t xoff, std::int32_t xlim, std::int32_t yoff, std::int32_t ylim, std::int32_t fmin,
    std::int32_t fmax, std::int32_t bmin, std::int32_t bmax, std::int32_t cost) const {
    struct Point {
        std::int64_t progress = -1;
        std::int32_t x = 0;
        std::int32_t diagonal = 0;
    };
    // The point of a frontier that got furthest from its corner (cx, cy):
    // progress is |x - cx| + |y - cy|, with x kept inside the range.
    const auto furthest = [&](const std::int32_t* frontier, std::int32_t dlo, std::int32_t dhi,
                              std::int32_t cx, std::int32_t cy) {
        Point best;
        for (std::int32_t d = dhi; d >= dlo; d -= 2) {
            const std::int32_t x = std::min(std::max(frontier[d], xoff), xlim);
            const std::int32_t y = x - d;
            if (y < yoff || y > ylim) {
                continue;
            }
            const std::int64_t progress = std::abs(static_cast<std::int64_t>(x) - cx) +
                                          std::abs(static_cast<std::int64_t>(y) - cy);
            if (progress > best.progress) {
                best = Point{progress, x, d};
            }
        }
        return best;
    };
    const Point forward = furthest(m_forward, fmin, fmax, xoff, yoff);
    const Point backward = furthest(m_backward, bmin, bmax, xlim, ylim);
    const Point& best = forward.progress >= backward.progress ? forward : backward;
    const std::int64_t whole = static_cast<std::int64_t>(xlim - xoff) + (ylim - yoff);
    if (best.progress <= 0 || best.progress >= whole) {
        return {0, 0, 0, 0, true};  // no point strictly inside: keep searching
    }
    return {best.diagonal, cost, best.x, best.x - best.diagonal, false};
}

void SlideChangeRuns(DiffSidePair& sides) {
    DiffSide* side[2] = {&sides.source, &sides.target};
    for (int s = 0; s < 2; ++s) {
        std::uint8_t* const m = side[s]->changeMarks;
        const std::uint8_t* const o = side[1 - s]->changeMarks;
        const std::int32_t* const k = side[s]->classes.Data();
        const std::int32_t end = side[s]->recordCount;
        std::int32_t i = 0;
        std::int32_t j = 0;
        std::int32_t preceding = -1;
        std::int32_t otherPreceding = -1;
        for (;;) {
            while (i < end && m[i] == 0) {
                while (o[j] != 0) {
                    otherPreceding = ++j;
                }
                ++i;
                ++j;
            }
            if (i == end) {
                break;
            }
            std::int32_t start = i;
            const std::int32_t otherStart = j;
            for (;;) {
                while (i < end && m[i] != 0) {
                    ++i;
                }
                if (i == end) {
                    break;
                }
                if (k[start] == k[i] && o[j] == 0 && start != preceding &&
                    otherStart != otherPreceding) {
                    m[i] = 1;
                    m[start] = 0;
                    ++start;
                    ++i;
                    ++j;
                } else {
                    break;
                }
            }
            preceding = i;
            otherPreceding = j;
        }
    }
}

void AlignChangeRuns(DiffSidePair& sides) {
    DiffSide* side[2] = {&sides.source, &sides.target};
    for (int s = 0; s < 2; ++s) {
        std::uint8_t* const m = side[s]->changeMarks;
        const std::int32_t* const k = side[s]->classes.Data();
        const std::int32_t n = side[s]->recordCount;
        const DiffSide& other = *side[1 - s];
        // The unchanged lines of both sides pair up in order: the r-th of
        // this side with the r-th of the other. Sliding a run here never
        // changes the other side's unchanged lines, only which of this
        // side's lines holds each rank. unchanged[r + 1] is the position of
        // the other side's r-th unchanged line, with -1 and the other side's
        // length around them.
        DiffArray<std::int32_t> unchangedBlock;
        unchangedBlock.Allocate(static_cast<std::size_t>(other.recordCount) + 2);
        std::int32_t* const unchanged = unchangedBlock.Data() + 1;
        std::int32_t count = 0;
        unchanged[-1] = -1;
        for (std::int32_t j = 0; j < other.recordCount; ++j) {
            if (other.changeMarks[j] == 0) {
                unchanged[count++] = j;
            }
        }
        unchanged[count] = other.recordCount;
        // A run with `rank` unchanged lines before it faces a change on the
        // other side when the other side has lines between the unchanged
        // lines of ranks rank - 1 and rank.
        const auto facesChange = [&](std::int32_t rank) {
            return unchanged[rank] - unchanged[rank - 1] > 1;
        };

        std::int32_t rank = 0;  // unchanged lines before i
        std::int32_t i = 0;
        while (i < n) {
            if (m[i] == 0) {
                ++rank;
                ++i;
                continue;
            }
            std::int32_t start = i;
            std::int32_t end = i;
            while (end < n && m[end] != 0) {
                ++end;
            }
            std::int32_t length;
            std::int32_t settle;
            do {
                length = end - start;
                // Up as far as it goes, taking in the runs above.
                while (start > 0 && k[start - 1] == k[end - 1]) {
                    m[--start] = 1;
                    m[--end] = 0;
                    --rank;
                    while (start > 0 && m[start - 1] != 0) {
                        --start;
                    }
                }
                // Then down as far as it goes, taking in the runs below and
                // noting the lowest end at which it faces a change.
                settle = facesChange(rank) ? end : -1;
                while (end < n && k[start] == k[end]) {
                    m[start++] = 0;
                    m[end++] = 1;
                    ++rank;
                    while (end < n && m[end] != 0) {
                        ++end;
                    }
                    if (facesChange(rank)) {
                        settle = end;
                    }
                }
            } while (end - start != length);  // it took in another run: once more
            if (settle >= 0) {
                while (end > settle) {
                    m[--start] = 1;
                    m[--end] = 0;
                    --rank;
                }
            }
            i = end;
        }
    }
}

}  // namespace vek
