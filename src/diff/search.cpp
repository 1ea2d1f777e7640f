#include "diff/search.h"

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
    : m_source(sides.source),
      m_target(sides.target),
      m_x(sides.source.keptClasses.Data()),
      m_y(sides.target.keptClasses.Data()) {
    const std::size_t size = static_cast<std::size_t>(m_source.keptCount) +
                             static_cast<std::size_t>(m_target.keptCount) + 3;
    m_forwardBlock.Allocate(size);
    m_backwardBlock.Allocate(size);
    m_forward = m_forwardBlock.Data() + m_target.keptCount + 1;
    m_backward = m_backwardBlock.Data() + m_target.keptCount + 1;
}

void MiddleSnakeSearch::SplitCompare(std::int32_t xoff, std::int32_t xlim, std::int32_t yoff,
                                     std::int32_t ylim) {
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
        const MiddleSnake snake = FindMiddleSnake(xoff, xlim, yoff, ylim);
        const std::int32_t d = snake.diagonal;
        const std::int32_t b = m_backward[d];
        SplitCompare(xoff, b, yoff, b - d);
        xoff = b;
        yoff = b - d;
    }
}

MiddleSnakeSearch::MiddleSnake MiddleSnakeSearch::FindMiddleSnake(std::int32_t xoff,
                                                                  std::int32_t xlim,
                                                                  std::int32_t yoff,
                                                                  std::int32_t ylim) {
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
                return {d, 2 * step - 1};
            }
        }
        if (bmin > dmin) {
            bd[--bmin - 1] = kBackwardSentinel;
        } else {
            ++bmin;
        }
        if (bmax < dmax) {
            bd[++bmax + 1] = kBackwardSentinel;
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
                return {d, 2 * step};
            }
        }
    }
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

}  // namespace vek
