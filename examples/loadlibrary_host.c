/* A host that loads VekWin32.dll at run time instead of linking its import
 * library: it finds every export by name, checks that each ordinal leads to
 * the same function, then diffs two buffers with DiffWhole (which, unlike
 * Diff, never shows a message box) and applies the script.
 *
 * Build (no import library needed), for example:
 *   cl /W4 /I include loadlibrary_host.c
 *   gcc -Wall -Wextra -I include loadlibrary_host.c -o loadlibrary_host.exe
 * and run it beside VekWin32.dll. */
#include <stdio.h>
#include <windows.h>

#include "vekwin32.h"

/* GetProcAddress returns a FARPROC; going through void (*)(void) converts
 * it to the export's type without a warning on any compiler. */
#define VEK_FUNCTION(type, proc) ((type)(void (*)(void))(proc))

static const char* const names[] = {"InitBuf",     "AddLine", "EdCmd",    "EdBuf",     "GetLine",
                                    "GetBufStats", "Crc",     "CrcFile",  "LoadFiles", "WriteFiles",
                                    "WriteBuf",    "ReadBuf", "Diff",     "CheckType", "GetLines",
                                    "AddLines",    "TestBuf", "DiffWhole"};

int main(void) {
    HMODULE dll = LoadLibraryA("VekWin32.dll");
    VekInitBufFn initBuf;
    VekAddLinesFn addLines;
    VekDiffWholeFn diffWhole;
    VekEdBufFn edBuf;
    VekGetLineFn getLine;
    VekCrcFn crc;
    char line[64];
    int length = 0, oldSum = 0, newSum = 0, i;

    if (dll == NULL) {
        fprintf(stderr, "cannot load VekWin32.dll (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    /* Ordinal n is the n-th name above (see VekWin32.def). */
    for (i = 0; i < 18; ++i) {
        FARPROC byName = GetProcAddress(dll, names[i]);
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(i + 1));
        if (byName == NULL || byName != byOrdinal) {
            fprintf(stderr, "%s is not export %d\n", names[i], i + 1);
            FreeLibrary(dll);
            return 1;
        }
    }
    initBuf = VEK_FUNCTION(VekInitBufFn, GetProcAddress(dll, "InitBuf"));
    addLines = VEK_FUNCTION(VekAddLinesFn, GetProcAddress(dll, "AddLines"));
    diffWhole = VEK_FUNCTION(VekDiffWholeFn, GetProcAddress(dll, "DiffWhole"));
    edBuf = VEK_FUNCTION(VekEdBufFn, GetProcAddress(dll, MAKEINTRESOURCEA(4)));
    getLine = VEK_FUNCTION(VekGetLineFn, GetProcAddress(dll, "GetLine"));
    crc = VEK_FUNCTION(VekCrcFn, GetProcAddress(dll, "Crc"));

    initBuf(1);
    initBuf(2);
    addLines(1, "one\0two\0three\0");
    addLines(2, "one\0three\0four\0");
    if (diffWhole(1, 2, 3) != RC_OK || edBuf(3, 1) != RC_OK) {
        fprintf(stderr, "could not diff or apply\n");
        FreeLibrary(dll);
        return 1;
    }
    for (i = 1; getLine(1, i, (int)sizeof line - 1, line, &length) == RC_OK; ++i)
        printf("%d: %s\n", i, line);
    /* Buffer 1, with the script applied, now equals buffer 2. */
    crc(1, 16, &oldSum);
    crc(2, 16, &newSum);
    printf("checksums: %d and %d\n", oldSum, newSum);
    FreeLibrary(dll);
    return oldSum == newSum && i == 4 ? 0 : 1;
}
