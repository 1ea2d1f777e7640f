// The checksum of a line file, as Crc gives it for a buffer that holds the
// file's lines, found while the file streams past.
#pragma once

#include <string>

namespace vekcli {

// The 16-bit checksum Crc gives for a buffer holding the lines of the named
// file (standard input for "-") as LoadFile loads them, with the same
// warnings and the same refusals (a NUL byte in a line, more lines than a
// buffer holds), without loading them. Only for the LF form: in the CR LF
// form reading changes the lines, so those files are loaded.
unsigned StreamLineFileChecksum(const std::string& name);

}  // namespace vekcli
