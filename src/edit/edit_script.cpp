#include "edit/edit_script.h"

#include <cassert>

#include <cstdint>
#include <limits>
#include <string>

#include "edit/command_line.h"

namespace vek {

namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();

// 1-based number of the current line, kept inside 32 bits.
std::int32_t CurrentNumber(const VekBuf& buf) {
    return buf.m_curLine == kIntMax ? kIntMax : buf.m_curLine + 1;
}

// Stores one text line at the insertion point and moves the point past it.
int InsertText(VekBuf& buf, std::string_view line) {
    if (buf.m_curLine == -1) {
        if (const int rc = buf.InsertLine(0, line); rc != 0) {
            return rc;
        }
        buf.m_curLine = 0;
        return 0;
    }
    const int count = buf.LineCount();
    if (count == 0) {
        return RC_BAD_LINE;
    }
    const bool namesLine = buf.m_curLine >= 0 && buf.m_curLine <= count - 1;
    if (const int rc = buf.InsertLine(namesLine ? buf.m_curLine + 1 : count, line); rc != 0) {
        return rc;
    }
    // An insertion point past the end keeps appending; it only has to stay
    // past the end, so it stops counting at the top of the range.
    if (buf.m_curLine != kIntMax) {
        ++buf.m_curLine;
    }
    return 0;
}

}  // namespace

int RunCommand(VekBuf& target, std::string_view line) {
    target.InvalidateReadCache();
    CommandLine cmd;
    if (!ParseCommandLine(line, CurrentNumber(target), &cmd)) {
        return RC_BAD_LINE;
    }
    if (cmd.last < cmd.first) {
        return RC_BAD_LINE;
    }
    switch (cmd.letter) {
        case 'a':
            if (cmd.first < 0) {
                return RC_BAD_LINE;
            }
            target.m_curLine = cmd.first - 1;
            target.m_insertMode = 1;
            return 0;
        case 'c': {
            if (cmd.first < 1) {
                return RC_BAD_LINE;
            }
            const int rc = target.DeleteLines(cmd.first - 1, cmd.last - 1);
            if (rc != 0) {
                return rc;
            }
            target.m_curLine = cmd.first - 2;
            target.m_insertMode = 1;
            return 0;
        }
        case 'd': {
            if (cmd.first < 1) {
                return RC_BAD_LINE;
            }
            const int rc = target.DeleteLines(cmd.first - 1, cmd.last - 1);
            if (rc != 0) {
                return rc;
            }
            // The line that followed the block now has the block's first
            // number; without one, the new last line becomes current.
            const bool followerLeft = cmd.first - 1 <= target.LineCount() - 1;
            target.m_curLine = followerLeft ? cmd.first - 1 : cmd.first - 2;
            return 0;
        }
        default:
            return RC_BAD_LINE;
    }
}

int FeedLine(VekBuf& target, std::string_view line) {
    try {
        if (target.m_insertMode == 0) {
            return RunCommand(target, line);
        }
        if (!line.empty() && line[0] == '.') {
            target.m_insertMode = 0;
            target.InvalidateReadCache();
            return 0;
        }
        return InsertText(target, line);
    } catch (...) {
        // Every store is all-or-nothing, so the target is as it was.
        return RC_BAD_LINE;
    }
}

int ApplyScript(const VekBuf& script, VekBuf& target) {
    // Lines are handed over as views into the script's store, which stays
    // as it is: the two are different buffers.
    assert(&script != &target);
    const int count = script.LineCount();
    if (count == 0) {
        return 0;
    }
    int rc = 0;
    for (int i = 0; i < count && rc == 0; ++i) {
        rc = FeedLine(target, script.Line(i));
    }
    target.MeasureLongestAgain();
    return rc;
}

}  // namespace vek
