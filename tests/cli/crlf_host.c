/* Another host of the library, for the CR LF interchange: reads OLD and
 * SCRIPT with ReadBuf, applies the script with EdBuf and saves the result
 * with WriteBuf. usage: crlf_host OLD SCRIPT OUT; exit status 0 on success,
 * else the first failing result code's low byte. */
#include <stdio.h>

#include "vekwin32.h"

int main(int argc, char** argv) {
    int rc;
    if (argc != 4) {
        fprintf(stderr, "usage: crlf_host OLD SCRIPT OUT\n");
        return 2;
    }
    if ((rc = ReadBuf(1, argv[1])) != RC_OK || (rc = ReadBuf(2, argv[2])) != RC_OK ||
        (rc = EdBuf(2, 1)) != RC_OK || (rc = WriteBuf(1, argv[3])) != RC_OK) {
        fprintf(stderr, "crlf_host: result code %d\n", rc);
        return rc & 0xFF;
    }
    return 0;
}
