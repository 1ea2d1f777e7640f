/* A minimal host: fills buffer 1, reads it back and checksums it. */
#include <stdio.h>
#include <stdlib.h>

#include "vekwin32.h"

int main(void) {
    static char block[LINES_BLOCK_SIZE];
    int count = 0, longest = 0, total = 0, delivered = 0, sum = 0, i;

    InitBuf(1);
    if (AddLines(1, "first line\0second line\0third line\0") != RC_OK ||
        AddLine(1, "fourth line") != RC_OK) {
        fprintf(stderr, "could not fill buffer 1\n");
        return 1;
    }
    GetBufStats(1, &count, &longest, &total);
    printf("buffer 1: %d lines, longest %d bytes, %d bytes in all\n", count, longest, total);

    if (GetLines(1, 1, count, block, &delivered) != RC_OK) {
        fprintf(stderr, "could not read buffer 1\n");
        return 1;
    }
    for (i = 0; i < delivered; ++i) {
        int offset = 0, b;
        for (b = 3; b >= 0; --b)
            offset = offset * 256 + (unsigned char)block[4 * i + b];
        printf("  %d: %s\n", i + 1, block + offset);
    }
    Crc(1, 16, &sum);
    printf("checksum: %d (0x%04X)\n", sum, (unsigned)sum);
    return EXIT_SUCCESS;
}
