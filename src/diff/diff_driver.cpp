#include "diff/diff_driver.h"

#include <algorithm>

#include "diff/emission.h"
#include "diff/equivalence.h"
#include "diff/search.h"

namespace vek {

void TrimCommonLines(DiffSidePair& sides) {
    DiffSide& src = sides.source;
    DiffSide& tgt = sides.target;
    const std::int32_t a = src.WindowLines();
    const std::int32_t b = tgt.WindowLines();

    // Prefix: pairs 1 .. min(a, b) - 1, never a window's last line.
    std::int32_t common = 0;
    std::int32_t stop = 1;  // the line where the scan stopped
    std::int32_t j = 1;
    bool differs = false;
    for (; j < a && j < b; ++j) {
        if (!SameText(src.WindowLine(j), tgt.WindowLine(j))) {
            differs = true;
            break;
        }
        ++common;
    }
    if (differs) {
        stop = j;
    } else if (j > 1) {
        stop = j - 1;
    }

    // Suffix: from the last lines up, never reaching the stop line.
    std::int32_t suffix = 0;
    for (std::int32_t t = 0; a - t != stop && b - t != stop && a - t > 0 && b - t > 0; ++t) {
        if (!SameText(src.WindowLine(a - t), tgt.WindowLine(b - t))) {
            break;
        }
        ++suffix;
    }

    src.prefixEnd = src.first + common - 1;
    tgt.prefixEnd = tgt.first + common - 1;
    src.middleEnd = src.last - suffix;
    tgt.middleEnd = tgt.last - suffix;
}

std::unique_ptr<VekBuf> DiffWindow(DiffSidePair& sides) {
    auto window = std::make_unique<VekBuf>();
    TrimCommonLines(sides);
    if (sides.source.prefixEnd == sides.source.middleEnd &&
        sides.target.prefixEnd == sides.target.middleEnd) {
        return window;
    }
    AssignClasses(sides);
    sides.source.AllocateChangeMarks();
    sides.target.AllocateChangeMarks();
    PruneLines(sides);
    {
        MiddleSnakeSearch search(sides);
        search.SplitCompare(0, sides.source.keptCount, 0, sides.target.keptCount);
    }
    SlideChangeRuns(sides);
    {
        ChangeList changes;
        BuildChangeList(sides, changes);
        for (const Change* change = changes.Head(); change != nullptr; change = change->link) {
            EmitHunk(*window, *change, *sides.target.buffer);
        }
    }
    sides.source.ReleaseArrays();
    sides.target.ReleaseArrays();
    return window;
}

int DiffBuffers(const VekBuf& source, const VekBuf& target, VekBuf& output) {
    output.Reset();
    const std::int32_t n0 = source.LineCount();
    const std::int32_t n1 = target.LineCount();
    try {
        DiffSidePair sides;
        sides.source.buffer = &source;
        sides.target.buffer = &target;
        bool sourceDone = false;
        bool targetDone = false;
        for (;;) {
            if (sourceDone && targetDone) {
                return 0;
            }
            sides.source.last = std::min(sides.source.last + kDiffWindowLines, n0);
            sides.target.last = std::min(sides.target.last + kDiffWindowLines, n1);
            std::unique_ptr<VekBuf> script;
            if (sourceDone) {
                script = EmitTailAppend(sides);
                targetDone = true;
            } else if (targetDone) {
                script = EmitTailDelete(sides);
                sourceDone = true;
            } else {
                script = DiffWindow(sides);
            }
            const int rc = output.PrependBuffer(*script);
            if (rc != 0) {
                return rc;
            }
            sides.source.first += kDiffWindowLines;
            if (sides.source.first > n0) {
                sourceDone = true;
            }
            sides.target.first += kDiffWindowLines;
            if (sides.target.first > n1) {
                targetDone = true;
            }
        }
    } catch (...) {
        // A full class table, exhausted memory or any other failure inside a
        // window: the windows merged so far stay, the failing one is gone.
        return RC_DIFF_FAILED;
    }
}

}  // namespace vek
