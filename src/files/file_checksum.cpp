// The checksum of a set of files as the bundle LoadFiles would make of them.
// The bundle's lines are summed as they are made, so no buffer holds them;
// the result and every code are those of loading them into an empty buffer
// and taking its checksum.
#include "buffer/vekbuf.h"
#include "files/bundle_import.h"
#include "files/file_sets.h"

namespace vek {

int ChecksumFileList(int typeLetter, char* fileList, int width, int* out) {
    int sum = 0;
    const int rc = SumFileList(typeLetter, fileList, &sum);
    if (rc != VEK_RC_OK) {
        return rc;
    }
    if (width == 32) {
        return VEK_RC_WIDTH_NOT_COMPUTED;  // as VekBuf::Checksum: no 32-bit checksum exists
    }
    *out = sum;
    return VEK_RC_OK;
}

}  // namespace vek
