// Loading files into a buffer as bundle sections.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

// Appends the text section of `name`: each line of the file as a space, its
// bytes and a line feed (a carriage return right before a line feed is
// dropped), then "E". An empty name gives "E" alone; a file that cannot be
// opened gives VEK_RC_READ_FAILED and nothing.
int LoadTextFile(VekBuf& buffer, const char* name);
// Appends the binary section of `name`: the header, the file uuencoded in
// lines of 45 bytes, the zero-length line, the end line, then "E". An empty
// name or a file that cannot be opened gives "E" alone.
int LoadBinaryFile(VekBuf& buffer, const char* name);

// What LoadFileList would return for an empty buffer, and then in *sumOut
// the buffer's checksum of width 16, found as the lines are made instead of
// storing them. *sumOut is written only with result 0.
int SumFileList(int typeLetter, char* fileList, int* sumOut);

}  // namespace vek
