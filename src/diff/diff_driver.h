// The difference engine's entry: the edit script that turns `source` into
// `target`, computed window by window into `output`.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

// Replaces the content of `output`. 0; 101 when the script would exceed the
// line limit; 107 for a failure inside the computation.
int DiffBuffers(const VekBuf& source, const VekBuf& target, VekBuf& output);

}  // namespace vek
