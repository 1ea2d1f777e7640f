/* A tiny host built against the installed library: it turns the lines of
 * one file into those of another with Diff and EdBuf and prints the script
 * and the checksum of the result. Exit status 0 when the rebuilt buffer
 * holds exactly the new lines. */
#include <stdio.h>
#include <string.h>

#include "vekwin32.h"

static int load(int buf, const char* name) {
    char line[4096];
    FILE* f = fopen(name, "rb");
    if (f == NULL)
        return 1;
    InitBuf(buf);
    while (fgets(line, sizeof line, f) != NULL) {
        line[strcspn(line, "\n")] = '\0';
        if (AddLine(buf, line) != RC_OK) {
            fclose(f);
            return 1;
        }
    }
    fclose(f);
    return 0;
}

int main(int argc, char** argv) {
    char line[4096];
    int count = 0, longest = 0, total = 0, i, length, sum = 0, rebuiltCount = 0;
    if (argc != 3 || load(1, argv[1]) != 0 || load(2, argv[2]) != 0) {
        fprintf(stderr, "usage: host OLD NEW (both readable)\n");
        return 2;
    }
    if (Diff(1, 2, 3) != RC_OK || EdBuf(3, 1) != RC_OK)
        return 1;
    GetBufStats(3, &count, &longest, &total);
    for (i = 1; i <= count; ++i) {
        if (GetLine(3, i, (int)sizeof line - 1, line, &length) != RC_OK)
            return 1;
        printf("%s\n", line);
    }
    GetBufStats(1, &rebuiltCount, &longest, &total);
    GetBufStats(2, &count, &longest, &total);
    if (rebuiltCount != count)
        return 1;
    for (i = 1; i <= count; ++i) {
        char other[4096];
        GetLine(1, i, (int)sizeof line - 1, line, &length);
        GetLine(2, i, (int)sizeof other - 1, other, &length);
        if (strcmp(line, other) != 0)
            return 1;
    }
    Crc(1, 16, &sum);
    printf("checksum %04X\n", (unsigned)sum);
    return 0;
}
