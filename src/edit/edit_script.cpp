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
std::int32_t CurrentNumber(const EditState& state) {
    return state.curLine == kIntMax ? kIntMax : state.curLine + 1;
}

// Stores one text line at the insertion point and moves the point past it.
int InsertText(VekBuf& buf, EditState& state, std::string_view line) {
    if (state.curLine == -1) {
        if (const int rc = buf.InsertLine(0, line); rc != VEK_RC_OK) {
            return rc;
        }
        state.curLine = 0;
        return VEK_RC_OK;
    }
    const int count = buf.LineCount();
    if (count == 0) {
        return VEK_RC_BAD_LINE;
    }
    const bool namesLine = state.curLine >= 0 && state.curLine <= count - 1;
    if (const int rc = buf.InsertLine(namesLine ? state.curLine + 1 : count, line);
        rc != VEK_RC_OK) {
        return rc;
    }
    // An insertion point past the end keeps appending; it only has to stay
    // past the end, so it stops counting at the top of the range.
    if (state.curLine != kIntMax) {
        ++state.curLine;
    }
    return VEK_RC_OK;
}

}  // namespace

int RunCommand(VekBuf& target, EditState& state, std::string_view line) {
    target.InvalidateReadCache();
    CommandLine cmd;
    if (!ParseCommandLine(line, CurrentNumber(state), &cmd)) {
        return VEK_RC_BAD_LINE;
    }
    if (cmd.last < cmd.first) {
        return VEK_RC_BAD_LINE;
    }
    switch (cmd.letter) {
        case 'a':
            if (cmd.first < 0) {
                return VEK_RC_BAD_LINE;
            }
            state.curLine = cmd.first - 1;
            state.insertMode = 1;
            return VEK_RC_OK;
        case 'c': {
            if (cmd.first < 1) {
                return VEK_RC_BAD_LINE;
            }
            const int rc = target.DeleteLines(cmd.first - 1, cmd.last - 1);
            if (rc != VEK_RC_OK) {
                return rc;
            }
            state.curLine = cmd.first - 2;
            state.insertMode = 1;
            return VEK_RC_OK;
        }
        case 'd': {
            if (cmd.first < 1) {
                return VEK_RC_BAD_LINE;
            }
            const int rc = target.DeleteLines(cmd.first - 1, cmd.last - 1);
            if (rc != VEK_RC_OK) {
                return rc;
            }
            // The line that followed the block now has the block's first
            // number; without one, the new last line becomes current.
            const bool followerLeft = cmd.first - 1 <= target.LineCount() - 1;
            state.curLine = followerLeft ? cmd.first - 1 : cmd.first - 2;
            return VEK_RC_OK;
        }
        default:
            return VEK_RC_BAD_LINE;
    }
}

int FeedLine(VekBuf& target, EditState& state, std::string_view line) {
    if (state.insertMode == 0) {
        return RunCommand(target, state, line);
    }
    if (!line.empty() && line[0] == '.') {
        state.insertMode = 0;
        target.InvalidateReadCache();
        return VEK_RC_OK;
    }
    return InsertText(target, state, line);
}

int ApplyScript(const VekBuf& script, VekBuf& target, EditState& state) {
    // Lines are handed over as views into the script's store, which stays
    // as it is: the two are different buffers.
    assert(&script != &target);
    const int count = script.LineCount();
    if (count == 0) {
        return VEK_RC_OK;
    }
    int rc = 0;
    for (int i = 0; i < count && rc == VEK_RC_OK; ++i) {
        rc = FeedLine(target, state, script.Line(i));
    }
    target.MeasureLongestAgain();
    return rc;
}

}  // namespace vek
