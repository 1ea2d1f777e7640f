// Writing the sections of a bundle back out as files.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

// Where the export stands in the bundle: the index of the next line to take.
// All names of one call share it.
struct BundlePosition {
    int next = 0;
};

}  // namespace vek
