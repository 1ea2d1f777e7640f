// Writing the sections of a bundle back out as files.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

// Where the export stands in the bundle: the index of the next line to take.
// All names of one call share it.
struct BundlePosition {
    int next = 0;
};

// Writes the text section at `position` to `name`, each content line without
// its leading space and line feed and followed by CR LF. A lone terminator
// (or no line left) leaves the file untouched and gives 0.
int WriteTextFile(const VekBuf& buffer, const char* name, BundlePosition& position);
// Writes the binary section at `position`, uudecoded, to `name`. A lone
// terminator (or no line left) leaves the file untouched and gives 0; a
// malformed section gives 105, a data line cut short a failure.
int WriteBinaryFile(const VekBuf& buffer, const char* name, BundlePosition& position);

}  // namespace vek
