// Moving lines in and out of a buffer in bulk: the packed GetLines block and
// the packed AddLines run.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

constexpr int kBlockSize = 65536;
constexpr int kBlockTableEntries = 100;
constexpr int kBlockEmptyText = 400;  // offset of the empty text every unused entry names
constexpr int kBlockTextStart = 401;

// Fills `block` with up to `count` lines from line `first` (both already
// checked: first >= 1, count 1..100). 0 when count lines were placed or the
// block is full; 100 when the range runs past the last line.
int FillLinesBlock(VekBuf& buffer, int first, int count, char* block, int* deliveredOut);

// Appends each NUL-terminated string of the run (ended by an empty string)
// as a line with a line feed; stops at the first refusal (101).
int AddPackedRun(VekBuf& buffer, const char* run);

}  // namespace vek
