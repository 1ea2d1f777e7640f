// The checksum of a set of files as the bundle LoadFiles would make of them,
// computed in a buffer of its own.
#include "buffer/vekbuf.h"
#include "files/file_list.h"
#include "files/file_sets.h"

namespace vek {

int ChecksumFileList(int typeLetter, char* fileList, int width, int* out) {
    VekBuf scratch;
    // Two bytes per name ("L," or "E,"), the last comma replaced by the NUL;
    // never handed out.
    char status[2 * kMaxListNames];
    const int rc = LoadFileList(scratch, typeLetter, fileList, status);
    if (rc != 0) {
        return rc;
    }
    return scratch.Checksum(width, out);
}

}  // namespace vek
