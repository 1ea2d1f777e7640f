// The walk over a comma-separated list of up to ten file names, shared by
// the bundle import and export.
#pragma once

namespace vek {

constexpr int kMaxListNames = 10;

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
// name binary; otherwise only the tenth name is. An empty name ends the walk
// with 0 unless the list is full (its tenth name present), in which case it
// is handled like any other. Stops at the first non-zero result; returns 108
// when names remain after the tenth.
int ProcessFileList(char* fileList, int typeLetter, FileListDirection& direction);

}  // namespace vek
