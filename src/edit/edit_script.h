// The edit-script interpreter ("5,7c", "4a", "3d", text lines, ".") and the
// application of a whole script buffer. The interpreter's state (EditState)
// is kept beside each target buffer by its owner, the buffer's slot, so a
// script can be fed across any number of calls.
//
// Addresses are line numbers of the buffer as it stands when the command
// runs, so a script whose addresses refer to the original buffer must list
// its commands from the highest line numbers down. The buffer's line store
// keeps its insertion point at the last edit, which makes such a descending
// script cost time proportional to the buffer plus the script.
#pragma once

#include <string_view>

#include "buffer/vekbuf.h"

namespace vek {

// Where the interpreter stands in one target buffer. A new or emptied buffer
// has the state as constructed.
struct EditState {
    // 1 while text lines are being inserted.
    int insertMode = 0;
    // Index of the line after which the next text line goes (-1: before the
    // first line).
    int curLine = 0;
};

// Feeds one script line, which ends with its line feed, to the target's
// interpreter: in insert mode a text line or the closing ".", otherwise a
// command line for RunCommand. VEK_RC_OK, or VEK_RC_BAD_LINE for a refused
// line; the target's lines and edit state are then as before (only its read
// cache is dropped). Throws when a line cannot be stored, the target again
// as before (every store is all or nothing).
int FeedLine(VekBuf& target, EditState& state, std::string_view line);

// Runs one command line ("Na", "N,Mc", "Nd", ...) on the target. VEK_RC_OK, or VEK_RC_BAD_LINE
// for a malformed command or a range outside the buffer. An "a" whose first
// address is negative is refused.
int RunCommand(VekBuf& target, EditState& state, std::string_view line);

// Feeds every line of `script` to `target` until one is refused, then
// measures the target's longest line again. VEK_RC_OK (also for an empty script,
// which leaves the target untouched), or the first refusal (VEK_RC_BAD_LINE).
int ApplyScript(const VekBuf& script, VekBuf& target, EditState& state);

}  // namespace vek
