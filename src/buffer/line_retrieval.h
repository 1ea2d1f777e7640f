// Moving lines in and out of a buffer in bulk: the packed GetLines block and
// the packed AddLines run.
#pragma once

#include <cstdint>

#include "buffer/vekbuf.h"
#include "vekwin32.h"  // VEK_LINES_BLOCK_SIZE, VEK_LINES_BLOCK_MAX_LINES, VEK_LINES_BLOCK_TEXT_START

namespace vek {

// The block opens with a table of VEK_LINES_BLOCK_MAX_LINES int32 offsets; the
// empty text that every unused entry names follows the table, and the
// delivered texts follow that.
constexpr int kBlockEmptyText = VEK_LINES_BLOCK_MAX_LINES * static_cast<int>(sizeof(std::int32_t));
static_assert(VEK_LINES_BLOCK_TEXT_START == kBlockEmptyText + 1,
              "the texts start right after the empty text's NUL");
static_assert(VEK_LINES_BLOCK_TEXT_START < VEK_LINES_BLOCK_SIZE, "the block has room for texts");

// Fills `block` with up to `count` lines from line `first` (both already
// checked: first >= 1, count 1..VEK_LINES_BLOCK_MAX_LINES). 0 when count lines
// were placed or the block is full; VEK_RC_FAILED when the range runs past the
// last line.
int FillLinesBlock(VekBuf& buffer, int first, int count, char* block, int* deliveredOut);

// Appends each NUL-terminated string of the run (ended by an empty string)
// as a line with a line feed; stops at the first refusal (VEK_RC_BUFFER_FULL).
int AddPackedRun(VekBuf& buffer, const char* run);

}  // namespace vek
