/*
 * vekwin32.h -- public interface of the VekWin32 line-buffer engine.
 *
 * The library keeps three numbered line buffers (1, 2 and 3) in process
 * memory from load to unload. Every function below addresses them by number,
 * returns an int result code (RC_OK on success) and never lets a failure
 * escape as anything but a code.
 *
 * The three buffers, the edit-interpreter state inside each of them and the
 * difference engine's working state are shared by the whole process. No
 * function takes a lock: a host must make one call at a time.
 *
 * Lines handed in by AddLine, AddLines and EdCmd are stored with one line
 * feed appended; lines handed out by GetLine and GetLines lose their last
 * byte (normally that line feed) and are NUL-terminated instead.
 *
 * Output pointers are never checked: the caller passes valid storage of the
 * size given with each function. Text arguments are NUL-terminated byte
 * strings; no character-set conversion happens anywhere.
 */
#ifndef VEKWIN32_H
#define VEKWIN32_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VEK_CALL __cdecl
#else
#define VEK_CALL
#endif

/* Result codes. */
#define RC_OK 0
#define RC_WIDTH_NOT_COMPUTED 1 /* checksum width 32: accepted, not computed */
#define RC_FAILED 100         /* null argument, count out of range, past the end, caught failure */
#define RC_BUFFER_FULL 101    /* line limit reached, or a line could not be stored */
#define RC_BAD_LINE 102       /* bad line number or range, malformed edit command */
#define RC_BAD_BUFFER 103     /* buffer number not 1..3, or two equal numbers in one call */
#define RC_READ_FAILED 104    /* a file could not be opened or read */
#define RC_WRITE_FAILED 105   /* a file could not be created or written, malformed binary section */
#define RC_DIFF_FAILED 107    /* failure inside the difference computation */
#define RC_TOO_MANY_FILES 108 /* a file list holds more than ten names */
#define RC_BAD_WIDTH 109      /* checksum width other than 16 or 32 */
#define RC_STATS_FAILED 110   /* failure while figures or a checksum were computed */
#define RC_BAD_TYPE 111       /* type letter other than 'T' or 'B' */
#define RC_NO_ROOM 112        /* a line is longer than the room given for it */

/* A buffer accepts appends while it holds at most MAX_LINES lines, so
 * AddLine can bring it to MAX_LINES + 1 lines but not beyond. */
#define MAX_LINES 524288

/* GetLines block: a table of 100 int32 offsets (bytes 0..399), an empty text
 * at offset 400, then the delivered texts, each NUL-terminated, from 401. */
#define LINES_BLOCK_SIZE 65536
#define LINES_BLOCK_MAX_LINES 100
#define LINES_BLOCK_TEXT_START 401

/* Empties buffer `buf` and its edit state. Returns 0, 103 (bad number), 100. */
int VEK_CALL InitBuf(int buf);

/* Appends `text` plus a line feed as one line. `text` may not be NULL.
 * Returns 0; 101 when the buffer already holds more than MAX_LINES lines;
 * 103; 100 for a NULL text or a caught failure. */
int VEK_CALL AddLine(int buf, const char* text);

/* Feeds one edit-script line (a line feed is appended to a copy) to the
 * buffer's edit interpreter: "Na", "N,Mc", "Nd", text lines, ".".
 * Returns 0; 102 for a refused or malformed line; 103; 100 for NULL. */
int VEK_CALL EdCmd(int buf, const char* line);

/* Feeds every line of buffer `scriptBuf` to the edit interpreter of buffer
 * `targetBuf`, stopping at the first refused line, then measures the
 * target's longest line again. Returns 0, 102 (first refusal), 103 (bad or
 * equal numbers). */
int VEK_CALL EdBuf(int scriptBuf, int targetBuf);

/* Copies line `line` (from 1) without its last byte into `dest`, which must
 * hold maxLen + 1 bytes, and its length into *lenOut. Returns 0; 112 when
 * the line is longer than maxLen (*lenOut tells the room needed, dest is
 * untouched); 100 past the last line; 102 for line < 1; 103. */
int VEK_CALL GetLine(int buf, int line, int maxLen, char* dest, int* lenOut);

/* Line count, longest line and total length in bytes (both counting each
 * line's last byte, which GetLine replaces by NUL). Returns 0, 103, 110. */
int VEK_CALL GetBufStats(int buf, int* countOut, int* longestOut, int* totalOut);

/* 16-bit additive checksum of the stored bytes (signed byte values, modulo
 * 65536). width 16: returns 0 and writes *out; width 32: returns 1 and leaves
 * *out untouched; other widths: 109. Also 103, 110. */
int VEK_CALL Crc(int buf, int width, int* out);

/* Checksum of the listed files as a bundle (see LoadFiles), computed in a
 * scratch buffer. `fileList` is cut in place at its commas. Returns the
 * checksum's result (0 or 1); 111 bad type; 100 NULL list; 109 bad width;
 * 101, 104, 108 from the load; 110 for a caught failure. */
int VEK_CALL CrcFile(int type, char* fileList, int width, int* out);

/* Appends up to ten files as a bundle to buffer `buf`: type 'T' (text,
 * tenth name binary) or 'B' (binary, uuencoded). `fileList` is a comma
 * separated list, cut in place. `statusOut` receives "L" or "E" per file,
 * separated by commas: room for 2 bytes per name (20 bytes). Returns 0; 100,
 * 101, 103, 104, 108, 111. */
int VEK_CALL LoadFiles(int buf, int type, char* fileList, char* statusOut);

/* Writes the bundle in buffer `buf` back out as the listed files (text with
 * CR LF line ends, binary uudecoded). Returns 0; 100, 103, 104, 105, 108, 111. */
int VEK_CALL WriteFiles(int buf, int type, char* fileList);

/* Saves the buffer's lines as a text file, each line feed written as CR LF.
 * Returns 0; 100 (NULL name), 103, 105. */
int VEK_CALL WriteBuf(int buf, const char* fileName);

/* Appends a text file (CR LF read as LF, 0x1A ends the data) to the buffer,
 * in pieces that end after a line feed or after 1022 bytes. Returns 0;
 * 100 (NULL name), 101, 103, 104. */
int VEK_CALL ReadBuf(int buf, const char* fileName);

/* Empties buffer `scriptBuf` and fills it with the edit script that turns
 * buffer `oldBuf` into buffer `newBuf`. Returns 0; 101 (script too long);
 * 103 (bad or equal numbers); 107 (failure inside the computation). */
int VEK_CALL Diff(int oldBuf, int newBuf, int scriptBuf);

/* Stores 'T' or 'B' in *typeOut: 'B' as soon as one listed file holds a
 * binary byte in its first 512 bytes. Returns 0; 100, 104, 108. */
int VEK_CALL CheckType(char* fileList, char* typeOut);

/* Fills the LINES_BLOCK_SIZE-byte `block` with up to `count` (1..100) lines
 * from line `first` on and writes how many to *deliveredOut. Returns 0 (also
 * when the block filled up early); 100 when the range runs past the last
 * line or count is out of range; 102 for first < 1; 103. */
int VEK_CALL GetLines(int buf, int first, int count, char* block, int* deliveredOut);

/* Appends each string of a packed run ("ab\0cd\0\0") as a line with a line
 * feed. Returns 0; 101 at the line limit (earlier strings stay); 103; 100
 * for a NULL run. */
int VEK_CALL AddLines(int buf, const char* run);

/* Probe: returns *value and stores 100 into it. Returns 100 for NULL. */
int VEK_CALL TestBuf(int* value);

#ifdef __cplusplus
}
#endif

#endif /* VEKWIN32_H */
