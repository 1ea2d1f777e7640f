// UTF-16 files and text bundles. A text bundle takes a file as lines of
// bytes that end at a line feed byte and writes them back with CR LF, which
// puts a lone CR byte inside UTF-16 text: such a file must go as binary.
#pragma once

#include <string>
#include <vector>

namespace vekcli {

// Whether the file at `path` starts with a UTF-16 byte-order mark (FF FE
// or FE FF).
bool StartsWithUtf16Mark(const std::string& path);

}  // namespace vekcli
