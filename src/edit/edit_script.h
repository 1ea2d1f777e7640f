// The edit-script interpreter ("5,7c", "4a", "3d", text lines, ".") and the
// application of a whole script buffer. The interpreter's state lives in the
// target buffer (m_insertMode, m_curLine), so a script can be fed across any
// number of calls.
#pragma once

#include <string_view>

#include "buffer/vekbuf.h"

namespace vek {

// Feeds one script line, which ends with its line feed, to the target's
// interpreter. 0, or 102 for a refused line; the target is then as before.
int FeedLine(VekBuf& target, std::string_view line);

// Feeds every line of `script` to `target` until one is refused, then
// measures the target's longest line again. 0, or the first refusal (102).
int ApplyScript(const VekBuf& script, VekBuf& target);

}  // namespace vek
