// The walk over a comma-separated list of file names, shared by the bundle
// import and export, and the two figures every file list of the library
// obeys.
#pragma once

#include "vekwin32.h"

namespace vek {

// Most names one file list may hold.
constexpr int kMaxListNames = VEK_MAX_LIST_FILES;
// The place (from 0) of the name that a bundle always handles as binary,
// whatever the type letter: the last one a list may hold, the tenth.
constexpr int kAlwaysBinaryName = VEK_BINARY_LIST_FILE - 1;
static_assert(kAlwaysBinaryName == kMaxListNames - 1, "the always-binary name is the last one");

// What the walk does with each name; the direction decides whether a name
// is loaded into a bundle or written out of one.
class FileListDirection {
  public:
    virtual ~FileListDirection() = default;
    virtual int HandleText(const char* name) = 0;
    virtual int HandleBinary(const char* name) = 0;
};

// Handles the names of `fileList` in order, cutting the list in place (the
// comma after each handled name becomes a NUL). Type letter 'B' makes every
// name binary; otherwise only the one at kAlwaysBinaryName is. An empty name
// ends the walk with 0 unless the list is full (its last possible name
// present), in which case it is handled like any other. Stops at the first
// non-zero result; returns VEK_RC_TOO_MANY_FILES when names remain after kMaxListNames.
int ProcessFileList(char* fileList, int typeLetter, FileListDirection& direction);

}  // namespace vek
