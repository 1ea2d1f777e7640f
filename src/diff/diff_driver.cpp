#include "diff/diff_driver.h"

#include <algorithm>

#include "diff/diff_alloc.h"
#include "diff/emission.h"
#include "diff/equivalence.h"
#include "diff/search.h"
#include "platform/message.h"

namespace vek {

namespace {

#ifdef VEK_FAULT_INJECTION
DiffMessageSink g_messageSink = nullptr;
#endif

}  // namespace

void TellDiffMemoryExhausted() noexcept {
#ifdef VEK_FAULT_INJECTION
    if (g_messageSink != nullptr) {
        g_messageSink(kDiffMemoryMessage);
        return;
    }
#endif
    platform::ShowMessage(kDiffMemoryMessage);
}

void TrimCommonLines(DiffSidePair& sides) {
    DiffSide& source = sides.source;
    DiffSide& target = sides.target;
    const std::int32_t sourceLines = source.WindowLines();
    const std::int32_t targetLines = target.WindowLines();

    // Prefix: pairs 1 .. min(sourceLines, targetLines) - 1, never a window's
    // last line.
    std::int32_t common = 0;
    std::int32_t stop = 1;  // the line where the scan stopped
    std::int32_t line = 1;
    bool differs = false;
    for (; line < sourceLines && line < targetLines; ++line) {
        if (!SameText(source.WindowLine(line), target.WindowLine(line))) {
            differs = true;
            break;
        }
        ++common;
    }
    if (differs) {
        stop = line;
    } else if (line > 1) {
        stop = line - 1;
    }

    // Suffix: from the last lines up, never reaching the stop line.
    std::int32_t suffix = 0;
    for (std::int32_t back = 0; sourceLines - back != stop && targetLines - back != stop &&
                                sourceLines - back > 0 && targetLines - back > 0;
         ++back) {
        if (!SameText(source.WindowLine(sourceLines - back),
                      target.WindowLine(targetLines - back))) {
            break;
        }
        ++suffix;
    }

    source.prefixEnd = source.first + common - 1;
    target.prefixEnd = target.first + common - 1;
    source.middleEnd = source.last - suffix;
    target.middleEnd = target.last - suffix;
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
    const std::int32_t sourceCount = source.LineCount();
    const std::int32_t targetCount = target.LineCount();
    DiffSidePair sides;
    sides.source.buffer = &source;
    sides.target.buffer = &target;
    bool sourceDone = false;
    bool targetDone = false;
    for (;;) {
        if (sourceDone && targetDone) {
            return VEK_RC_OK;
        }
        sides.source.last = std::min(sides.source.last + kDiffWindowLines, sourceCount);
        sides.target.last = std::min(sides.target.last + kDiffWindowLines, targetCount);
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
        if (rc != VEK_RC_OK) {
            return rc;
        }
        sides.source.first += kDiffWindowLines;
        if (sides.source.first > sourceCount) {
            sourceDone = true;
        }
        sides.target.first += kDiffWindowLines;
        if (sides.target.first > targetCount) {
            targetDone = true;
        }
    }
}

#ifdef VEK_FAULT_INJECTION
DiffMessageSink SetDiffMessageSink(DiffMessageSink sink) noexcept {
    const DiffMessageSink before = g_messageSink;
    g_messageSink = sink;
    return before;
}
#endif

}  // namespace vek
