// What must hold for a buffer whatever happened to it: the figures agree
// with the lines, the edit state is one the interpreter can be in, and the
// read cache (when valid) names a line that exists. Used by the
// failure-injection tests and the fuzz targets, which link the core.
#pragma once

#include <string>

namespace vek {
class VekBuf;
}

namespace vektest {

// The first broken rule of `buffer`, or an empty string when all hold.
// GetStats is called last, so an unknown longest length gets measured.
std::string BrokenInvariant(vek::VekBuf& buffer);

}  // namespace vektest
