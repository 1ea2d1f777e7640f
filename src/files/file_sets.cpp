#include "files/file_sets.h"

namespace vek {

int LoadFileList(VekBuf&, int, char*, char*) { return 100; }
int WriteFileList(const VekBuf&, int, char*) { return 100; }
int DetectFileListType(char*, char*) { return 100; }
int SaveBufferToFile(const VekBuf&, const char*) { return 100; }
int LoadBufferFromFile(VekBuf&, const char*) { return 100; }
int ChecksumFileList(int, char*, int, int*) { return 100; }

}  // namespace vek
