/* A host built with Microsoft's ABI (clang for *-pc-windows-msvc, linked by
 * lld-link against VekWin32.lib) and without any C runtime: it fills two
 * buffers, diffs them, applies the script and reads the result back, then
 * looks exports up by name and by ordinal with GetProcAddress and calls them
 * through the header's function-pointer types, as a LoadLibrary host does.
 * Its exit status is 0, or the number of the first check that failed. */
#include "vekwin32.h"

/* The two kernel32 functions, declared as the Windows SDK declares them
 * (the host is built without the SDK; its test makes kernel32.lib). */
typedef __INTPTR_TYPE__(__stdcall* FarProc)(void);
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) FarProc __stdcall GetProcAddress(void* module, const char* name);
#define ORDINAL(n) ((const char*)(__UINTPTR_TYPE__)(n))

static char block[LINES_BLOCK_SIZE];

static int same(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

/* The process entry point: returning from it ends the process with the
 * returned status. */
int __stdcall host_entry(void* unused) {
    static const char oldLines[] = "one\0two\0three\0four\0";
    static const char newLines[] = "zero\0one\0three\0four\0five\0";
    static const char* const want[] = {"zero", "one", "three", "four", "five"};
    char line[16];
    int count = 0, longest = 0, total = 0, length = 0, sum = 0, value = 7, i;
    (void)unused;

    if (InitBuf(1) != RC_OK || InitBuf(2) != RC_OK || InitBuf(3) != RC_OK)
        return 1;
    if (AddLines(1, oldLines) != RC_OK || AddLines(2, newLines) != RC_OK)
        return 2;
    if (GetBufStats(2, &count, &longest, &total) != RC_OK || count != 5 || longest != 6 ||
        total != 25)
        return 3;
    if (Crc(2, 16, &sum) != RC_OK || sum != 2226)
        return 4;
    if (Diff(1, 2, 3) != RC_OK || EdBuf(3, 1) != RC_OK)
        return 5;
    if (GetBufStats(1, &count, &longest, &total) != RC_OK || count != 5)
        return 6;
    for (i = 0; i < 5; ++i)
        if (GetLine(1, i + 1, 15, line, &length) != RC_OK || !same(line, want[i]))
            return 7;
    if (GetLines(1, 2, 3, block, &count) != RC_OK || count != 3 ||
        !same(block + LINES_BLOCK_TEXT_START, "one"))
        return 8;
    if (EdCmd(1, "1d") != RC_OK || GetLine(1, 1, 15, line, &length) != RC_OK || !same(line, "one"))
        return 9;
    if (InitBuf(4) != RC_BAD_BUFFER || GetLine(1, 99, 15, line, &length) != RC_FAILED)
        return 10;
    if (TestBuf(&value) != 7 || value != 100)
        return 11;
    /* The whole-file script of the same pair ("4a", "five", ".", "2d", "0a",
     * "zero", ".") rebuilds the new lines from the old ones. */
    if (InitBuf(1) != RC_OK || AddLines(1, oldLines) != RC_OK || DiffWhole(1, 2, 3) != RC_OK ||
        GetBufStats(3, &count, &longest, &total) != RC_OK || count != 7 || EdBuf(3, 1) != RC_OK)
        return 12;
    if (GetLine(1, 5, 15, line, &length) != RC_OK || !same(line, "five"))
        return 13;
    {
        void* const dll = LoadLibraryA("VekWin32.dll");
        const VekTestBufFn testBuf = (VekTestBufFn)(void (*)(void))GetProcAddress(dll, ORDINAL(17));
        const VekGetLinesFn getLines =
            (VekGetLinesFn)(void (*)(void))GetProcAddress(dll, "GetLines");
        const VekGetLineFn getLine = (VekGetLineFn)(void (*)(void))GetProcAddress(dll, "GetLine");
        if (dll == 0 || testBuf == 0 || getLines == 0 || getLine == 0 ||
            GetProcAddress(dll, "TestBuf") != GetProcAddress(dll, ORDINAL(17)) ||
            GetProcAddress(dll, "GetLine") != GetProcAddress(dll, ORDINAL(5)) ||
            GetProcAddress(dll, "DiffWhole") != GetProcAddress(dll, ORDINAL(18)))
            return 14;
        value = 7;
        if (testBuf(&value) != 7 || value != 100 || getLines(1, 1, 2, block, &count) != RC_OK ||
            count != 2 || getLine(1, 5, 15, line, &length) != RC_OK || !same(line, "five"))
            return 15;
        /* A context through the import library and by ordinal: VekOpen 19,
         * VekClose 20, VekDiffWhole 38. */
        {
            const VekCtxOpenFn open =
                (VekCtxOpenFn)(void (*)(void))GetProcAddress(dll, ORDINAL(19));
            const VekCtxCloseFn close =
                (VekCtxCloseFn)(void (*)(void))GetProcAddress(dll, ORDINAL(20));
            const VekCtxDiffWholeFn diffWhole =
                (VekCtxDiffWholeFn)(void (*)(void))GetProcAddress(dll, ORDINAL(38));
            VekContext* const ctx = open != 0 ? open() : 0;
            if (ctx == 0 || close == 0 || diffWhole == 0 ||
                GetProcAddress(dll, "VekDiffWhole") != GetProcAddress(dll, ORDINAL(38)) ||
                VekAddLines(ctx, 1, oldLines) != RC_OK || VekAddLines(ctx, 2, newLines) != RC_OK ||
                diffWhole(ctx, 1, 2, 3) != RC_OK || VekEdBuf(ctx, 3, 1) != RC_OK ||
                VekGetLine(ctx, 1, 1, 15, line, &length) != RC_OK || !same(line, "zero") ||
                VekInitBuf(0, 1) != RC_BAD_CONTEXT)
                return 16;
            close(ctx);
        }
    }
    return 0;
}
