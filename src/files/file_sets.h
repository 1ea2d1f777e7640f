// The file-facing work of the library: bundles of files as lines, plain
// save and load of a buffer, text/binary detection and the file checksum.
// Each function is the whole work behind one export; the export frame has
// already checked the buffer number, the type letter and null pointers. Each
// returns a VEK_RC_ code for what it decides and lets failures (memory, a
// read or write) pass to the frame.
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

// Appends the listed files as bundle sections; copies the status text.
int LoadFileList(VekBuf& buffer, int typeLetter, char* fileList, char* statusOut);
// Writes the bundle in `buffer` back out as the listed files, each file
// created or truncated when its section begins.
int WriteFileList(const VekBuf& buffer, int typeLetter, char* fileList);
// As WriteFileList, all or nothing and without cutting the list: each section
// goes to a temporary beside its file, and only when every one is complete
// are they renamed onto the files. Any result but 0 leaves every file as it
// was and no temporary behind.
int ReplaceFileList(const VekBuf& buffer, int typeLetter, const char* fileList);
// Stores 'T' or 'B' in *typeOut for the listed files.
int DetectFileListType(char* fileList, char* typeOut);
// Saves the buffer's lines as a text file (line feed written as CR LF).
int SaveBufferToFile(const VekBuf& buffer, const char* fileName);
// Appends a text file's lines to the buffer.
int LoadBufferFromFile(VekBuf& buffer, const char* fileName);
// Checksum of the listed files as a bundle, summed as the bundle is made.
int ChecksumFileList(int typeLetter, char* fileList, int width, int* out);

}  // namespace vek
