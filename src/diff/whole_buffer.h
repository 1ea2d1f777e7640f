// The work of the DiffWhole export: the whole-file difference of two
// buffers (whole_file.h), written into a third buffer in the form the
// windowed driver gives the Diff export.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

// Replaces the content of `output` with the script that turns `source` into
// `target`. Lines are compared by their stored bytes, and text lines are
// copied as stored; command lines and "." get a line feed. VEK_RC_OK, or
// VEK_RC_BUFFER_FULL when the script would exceed VEK_MAX_LINES lines or the
// two buffers together hold more lines than the engine indexes. When memory
// runs out the failure passes on (the DiffWhole frame answers
// VEK_RC_DIFF_FAILED). Shows nothing. On a refusal or a failure `output` is
// left empty.
int DiffWholeBuffers(const VekBuf& source, const VekBuf& target, VekBuf& output);

}  // namespace vek
