/* Compiled as strict C by both toolchains: the public header must stay
 * clean C, every export must be callable with its declared types, and each
 * function-pointer type must take its export without a cast. */
#include "vekwin32.h"

int vek_header_check(void);
int vek_pointer_types_check(void);
int vek_context_check(void);

/* In ordinal order, as a LoadLibrary host fills such a table. */
static const struct {
    VekInitBufFn initBuf;
    VekAddLineFn addLine;
    VekEdCmdFn edCmd;
    VekEdBufFn edBuf;
    VekGetLineFn getLine;
    VekGetBufStatsFn getBufStats;
    VekCrcFn crc;
    VekCrcFileFn crcFile;
    VekLoadFilesFn loadFiles;
    VekWriteFilesFn writeFiles;
    VekWriteBufFn writeBuf;
    VekReadBufFn readBuf;
    VekDiffFn diff;
    VekCheckTypeFn checkType;
    VekGetLinesFn getLines;
    VekAddLinesFn addLines;
    VekTestBufFn testBuf;
    VekDiffWholeFn diffWhole;
} exports = {InitBuf, AddLine,   EdCmd,     EdBuf,      GetLine,  GetBufStats,
             Crc,     CrcFile,   LoadFiles, WriteFiles, WriteBuf, ReadBuf,
             Diff,    CheckType, GetLines,  AddLines,   TestBuf,  DiffWhole};

/* The context functions, ordinals 19 to 38. */
static const struct {
    VekCtxOpenFn open;
    VekCtxCloseFn close;
    VekCtxInitBufFn initBuf;
    VekCtxAddLineFn addLine;
    VekCtxEdCmdFn edCmd;
    VekCtxEdBufFn edBuf;
    VekCtxGetLineFn getLine;
    VekCtxGetBufStatsFn getBufStats;
    VekCtxCrcFn crc;
    VekCtxCrcFileFn crcFile;
    VekCtxLoadFilesFn loadFiles;
    VekCtxWriteFilesFn writeFiles;
    VekCtxWriteBufFn writeBuf;
    VekCtxReadBufFn readBuf;
    VekCtxDiffFn diff;
    VekCtxCheckTypeFn checkType;
    VekCtxGetLinesFn getLines;
    VekCtxAddLinesFn addLines;
    VekCtxTestBufFn testBuf;
    VekCtxDiffWholeFn diffWhole;
} twins = {VekOpen,      VekClose,      VekInitBuf,     VekAddLine, VekEdCmd,
           VekEdBuf,     VekGetLine,    VekGetBufStats, VekCrc,     VekCrcFile,
           VekLoadFiles, VekWriteFiles, VekWriteBuf,    VekReadBuf, VekDiff,
           VekCheckType, VekGetLines,   VekAddLines,    VekTestBuf, VekDiffWhole};

int vek_pointer_types_check(void) {
    int value = 7;
    VekContext* const ctx = twins.open();
    const int rc = exports.initBuf(1) + exports.testBuf(&value) + twins.initBuf(ctx, 1) +
                   twins.testBuf(ctx, &value);
    twins.close(ctx);
    return rc;
}

/* The twins, with file lists as string literals. */
int vek_context_check(void) {
    static char block[LINES_BLOCK_SIZE];
    char status[20];
    char type = 0;
    char line[16];
    int value = 7, count = 0, longest = 0, total = 0, sum = 0, length = 0, delivered = 0;
    int rc = 0;
    VekContext* const ctx = VekOpen();

    rc |= VekInitBuf(ctx, 1);
    rc |= VekAddLine(ctx, 1, "text");
    rc |= VekEdCmd(ctx, 1, "1d");
    rc |= VekEdBuf(ctx, 2, 1);
    rc |= VekGetLine(ctx, 1, 1, (int)sizeof line - 1, line, &length);
    rc |= VekGetBufStats(ctx, 1, &count, &longest, &total);
    rc |= VekCrc(ctx, 1, 16, &sum);
    rc |= VekCrcFile(ctx, 'T', "a.txt,b.txt", 16, &sum);
    rc |= VekLoadFiles(ctx, 1, 'T', "a.txt,b.txt", status);
    rc |= VekWriteFiles(ctx, 1, 'T', "a.txt,b.txt");
    rc |= VekWriteBuf(ctx, 1, "out.txt");
    rc |= VekReadBuf(ctx, 1, "out.txt");
    rc |= VekDiff(ctx, 1, 2, 3);
    rc |= VekCheckType(ctx, "a.txt,b.txt", &type);
    rc |= VekGetLines(ctx, 1, 1, LINES_BLOCK_MAX_LINES, block, &delivered);
    rc |= VekAddLines(ctx, 1, "a\0b\0");
    rc |= VekTestBuf(ctx, &value);
    rc |= VekDiffWhole(ctx, 1, 2, 3);
    VekClose(ctx);
    return rc + RC_BAD_CONTEXT;
}

int vek_header_check(void) {
    static char block[LINES_BLOCK_SIZE];
    char list[] = "a.txt,b.txt";
    char status[20];
    char type = 0;
    char line[16];
    int value = 7, count = 0, longest = 0, total = 0, sum = 0, length = 0, delivered = 0;
    int rc = 0;

    rc |= InitBuf(1);
    rc |= AddLine(1, "text");
    rc |= EdCmd(1, "1d");
    rc |= EdBuf(2, 1);
    rc |= GetLine(1, 1, (int)sizeof line - 1, line, &length);
    rc |= GetBufStats(1, &count, &longest, &total);
    rc |= Crc(1, 16, &sum);
    rc |= CrcFile('T', list, 16, &sum);
    rc |= LoadFiles(1, 'T', list, status);
    rc |= WriteFiles(1, 'T', list);
    rc |= WriteBuf(1, "out.txt");
    rc |= ReadBuf(1, "out.txt");
    rc |= Diff(1, 2, 3);
    rc |= CheckType(list, &type);
    rc |= GetLines(1, 1, LINES_BLOCK_MAX_LINES, block, &delivered);
    rc |= AddLines(1, "a\0b\0");
    rc |= TestBuf(&value);
    rc |= DiffWhole(1, 2, 3);
    return rc + RC_OK + RC_WIDTH_NOT_COMPUTED + RC_FAILED + RC_BUFFER_FULL + RC_BAD_LINE +
           RC_BAD_BUFFER + RC_READ_FAILED + RC_WRITE_FAILED + RC_DIFF_FAILED + RC_TOO_MANY_FILES +
           RC_BAD_WIDTH + RC_STATS_FAILED + RC_BAD_TYPE + RC_NO_ROOM + MAX_LINES;
}
