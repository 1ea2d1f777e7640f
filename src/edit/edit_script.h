// The edit-script interpreter ("5,7c", "4a", "3d", text lines, ".") and the
// application of a whole script buffer. The interpreter's state lives in the
// target buffer (m_insertMode, m_curLine), so a script can be fed across any
// number of calls.
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

// Feeds one script line, which ends with its line feed, to the target's
// interpreter: in insert mode a text line or the closing ".", otherwise a
// command line for RunCommand. 0, or 102 for a refused line; the target's
// lines and edit state are then as before (only its read cache is dropped).
int FeedLine(VekBuf& target, std::string_view line);

// Runs one command line ("Na", "N,Mc", "Nd", ...) on the target. 0, or 102
// for a malformed command or a range outside the buffer. An "a" whose first
// address is negative is refused.
int RunCommand(VekBuf& target, std::string_view line);

// Feeds every line of `script` to `target` until one is refused, then
// measures the target's longest line again. 0 (also for an empty script,
// which leaves the target untouched), or the first refusal (102).
int ApplyScript(const VekBuf& script, VekBuf& target);

}  // namespace vek
