// The eighteen exports and their twins on a context, and the one place
// where failures become codes. Each frame makes its checks in a fixed order
// (the first failed check returns its code with nothing changed), then runs
// one work operation. Work that returns a code and is noexcept is called as
// it is; work that can fail runs inside Guarded, which turns anything it
// throws into the frame's catch code: no exception ever reaches the host. An export runs its frame
// on the default context under the process lock; a twin checks its context first and runs the same
// frame on it under the context's own lock.
#include "vekwin32.h"

#include <cstring>
#include <new>
#include <string>

#include "api/slots.h"
#include "buffer/line_retrieval.h"
#include "diff/diff_alloc.h"
#include "diff/diff_driver.h"
#include "diff/whole_buffer.h"
#include "edit/edit_script.h"
#include "files/file_sets.h"
#include "platform/lock.h"

namespace {

// Who runs a frame. The twins differ from the exports in three ways, all
// for safety: they never write into a file list, WriteFiles replaces its
// files all or nothing, and Diff shows no message.
enum class Caller { kExport, kTwin };

vek::platform::Lock g_processLock;

template <class Frame>
int OnProcess(Frame&& frame) noexcept {
    vek::platform::Held held(g_processLock);
    return frame(vek::DefaultContext(), Caller::kExport);
}

template <class Frame>
int OnContext(VekContext* context, Frame&& frame) noexcept {
    if (context == nullptr) {
        return VEK_RC_BAD_CONTEXT;
    }
    vek::platform::Held held(context->lock);
    return frame(*context, Caller::kTwin);
}

template <class Work>
int Guarded(int catchCode, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return catchCode;
    }
}

// The list the file-set work cuts in place: an export's own string (a
// writable one, as the export takes it), or a copy of a twin's in `copy`.
char* CuttableList(const char* list, Caller caller, std::string& copy) {
    if (caller == Caller::kExport) {
        return const_cast<char*>(list);
    }
    copy = list;
    return copy.data();
}

bool BadBuffer(int number) {
    return static_cast<unsigned>(number) - 1u > 2u;
}

bool BadBuffers(int a, int b, int c) {
    return BadBuffer(a) || BadBuffer(b) || BadBuffer(c) || a == b || a == c || b == c;
}

bool BadType(int typeLetter) {
    const char letter = static_cast<char>(typeLetter & 0xFF);
    return letter != 'T' && letter != 'B';
}

bool BadWidth(int width) {
    return width != 16 && width != 32;
}

// ---- The frames -----------------------------------------------------------

int InitBufFrame(VekContext& c, int buf) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    return c.Empty(buf);
}

int AddLineFrame(VekContext& c, int buf, const char* text) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (text == nullptr)
        return VEK_RC_FAILED;
    return c.Slot(buf).AddLine(text);
}

int EdCmdFrame(VekContext& c, int buf, const char* line) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (line == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_BAD_LINE, [&] {
        const std::size_t length = std::strlen(line);
        std::string copy;
        copy.reserve(length + 1);
        copy.append(line, length).push_back('\n');
        return vek::FeedLine(c.Slot(buf), c.Edit(buf), copy);
    });
}

int EdBufFrame(VekContext& c, int scriptBuf, int targetBuf) {
    if (BadBuffer(scriptBuf) || BadBuffer(targetBuf) || scriptBuf == targetBuf) {
        return VEK_RC_BAD_BUFFER;
    }
    return Guarded(VEK_RC_BAD_LINE, [&] {
        return vek::ApplyScript(c.Slot(scriptBuf), c.Slot(targetBuf), c.Edit(targetBuf));
    });
}

int GetLineFrame(VekContext& c, int buf, int line, int maxLen, char* dest, int* lenOut) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (line < 1)
        return VEK_RC_BAD_LINE;
    return c.Slot(buf).ReadLine(line, maxLen, dest, lenOut);
}

int GetBufStatsFrame(VekContext& c, int buf, int* countOut, int* longestOut, int* totalOut) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    return c.Slot(buf).GetStats(countOut, longestOut, totalOut);
}

int CrcFrame(VekContext& c, int buf, int width, int* out) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (BadWidth(width))
        return VEK_RC_BAD_WIDTH;
    return c.Slot(buf).Checksum(width, out);
}

int CrcFileFrame(Caller caller, int type, const char* fileList, int width, int* out) {
    if (BadType(type))
        return VEK_RC_BAD_TYPE;
    if (fileList == nullptr)
        return VEK_RC_FAILED;
    if (BadWidth(width))
        return VEK_RC_BAD_WIDTH;
    return Guarded(VEK_RC_FAILED, [&] {
        std::string copy;
        return vek::ChecksumFileList(type, CuttableList(fileList, caller, copy), width, out);
    });
}

int LoadFilesFrame(VekContext& c, Caller caller, int buf, int type, const char* fileList,
                   char* statusOut) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (BadType(type))
        return VEK_RC_BAD_TYPE;
    if (fileList == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_FAILED, [&] {
        std::string copy;
        return vek::LoadFileList(c.Slot(buf), type, CuttableList(fileList, caller, copy),
                                 statusOut);
    });
}

int WriteFilesFrame(VekContext& c, Caller caller, int buf, int type, const char* fileList) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (BadType(type))
        return VEK_RC_BAD_TYPE;
    if (fileList == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_FAILED, [&] {
        if (caller == Caller::kTwin) {
            return vek::ReplaceFileList(c.Slot(buf), type, fileList);
        }
        return vek::WriteFileList(c.Slot(buf), type, const_cast<char*>(fileList));
    });
}

int WriteBufFrame(VekContext& c, int buf, const char* fileName) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (fileName == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_WRITE_FAILED,
                   [&] { return vek::SaveBufferToFile(c.Slot(buf), fileName); });
}

int ReadBufFrame(VekContext& c, int buf, const char* fileName) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (fileName == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_READ_FAILED,
                   [&] { return vek::LoadBufferFromFile(c.Slot(buf), fileName); });
}

int DiffFrame(VekContext& c, Caller caller, int oldBuf, int newBuf, int scriptBuf) {
    if (BadBuffers(oldBuf, newBuf, scriptBuf)) {
        return VEK_RC_BAD_BUFFER;
    }
    // The script buffer is emptied, its edit state too, as InitBuf does.
    c.Edit(scriptBuf) = vek::EditState();
    return Guarded(VEK_RC_DIFF_FAILED, [&] {
        try {
            return vek::DiffBuffers(c.Slot(oldBuf), c.Slot(newBuf), c.Slot(scriptBuf));
        } catch (const vek::DiffMemoryExhausted&) {
            // The export's caller sees only the code, so the user is told
            // why. A twin tells nobody: its host may be a service with
            // nobody to close a message box.
            if (caller == Caller::kExport) {
                vek::TellDiffMemoryExhausted();
            }
            throw;
        }
    });
}

int CheckTypeFrame(Caller caller, const char* fileList, char* typeOut) {
    if (fileList == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_READ_FAILED, [&] {
        std::string copy;
        return vek::DetectFileListType(CuttableList(fileList, caller, copy), typeOut);
    });
}

int GetLinesFrame(VekContext& c, int buf, int first, int count, char* block, int* deliveredOut) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (first < 1)
        return VEK_RC_BAD_LINE;
    if (count < 1 || count > VEK_LINES_BLOCK_MAX_LINES)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_FAILED, [&] {
        return vek::FillLinesBlock(c.Slot(buf), first, count, block, deliveredOut);
    });
}

int AddLinesFrame(VekContext& c, int buf, const char* run) {
    if (BadBuffer(buf))
        return VEK_RC_BAD_BUFFER;
    if (run == nullptr)
        return VEK_RC_FAILED;
    return Guarded(VEK_RC_FAILED, [&] { return vek::AddPackedRun(c.Slot(buf), run); });
}

int TestBufFrame(int* value) {
    if (value == nullptr)
        return VEK_RC_FAILED;
    const int previous = *value;
    *value = 100;
    return previous;
}

int DiffWholeFrame(VekContext& c, int oldBuf, int newBuf, int scriptBuf) {
    if (BadBuffers(oldBuf, newBuf, scriptBuf)) {
        return VEK_RC_BAD_BUFFER;
    }
    c.Edit(scriptBuf) = vek::EditState();
    return Guarded(VEK_RC_DIFF_FAILED, [&] {
        return vek::DiffWholeBuffers(c.Slot(oldBuf), c.Slot(newBuf), c.Slot(scriptBuf));
    });
}

}  // namespace

// The exports on the default context, then VekOpen, VekClose and the twins
// on a host's context, each in ordinal order.
extern "C" {

int VEK_CALL InitBuf(int buf) {
    return OnProcess([&](VekContext& c, Caller) { return InitBufFrame(c, buf); });
}

int VEK_CALL AddLine(int buf, const char* text) {
    return OnProcess([&](VekContext& c, Caller) { return AddLineFrame(c, buf, text); });
}

int VEK_CALL EdCmd(int buf, const char* line) {
    return OnProcess([&](VekContext& c, Caller) { return EdCmdFrame(c, buf, line); });
}

int VEK_CALL EdBuf(int scriptBuf, int targetBuf) {
    return OnProcess([&](VekContext& c, Caller) { return EdBufFrame(c, scriptBuf, targetBuf); });
}

int VEK_CALL GetLine(int buf, int line, int maxLen, char* dest, int* lenOut) {
    return OnProcess(
        [&](VekContext& c, Caller) { return GetLineFrame(c, buf, line, maxLen, dest, lenOut); });
}

int VEK_CALL GetBufStats(int buf, int* countOut, int* longestOut, int* totalOut) {
    return OnProcess([&](VekContext& c, Caller) {
        return GetBufStatsFrame(c, buf, countOut, longestOut, totalOut);
    });
}

int VEK_CALL Crc(int buf, int width, int* out) {
    return OnProcess([&](VekContext& c, Caller) { return CrcFrame(c, buf, width, out); });
}

int VEK_CALL CrcFile(int type, char* fileList, int width, int* out) {
    return OnProcess([&](VekContext&, Caller caller) {
        return CrcFileFrame(caller, type, fileList, width, out);
    });
}

int VEK_CALL LoadFiles(int buf, int type, char* fileList, char* statusOut) {
    return OnProcess([&](VekContext& c, Caller caller) {
        return LoadFilesFrame(c, caller, buf, type, fileList, statusOut);
    });
}

int VEK_CALL WriteFiles(int buf, int type, char* fileList) {
    return OnProcess([&](VekContext& c, Caller caller) {
        return WriteFilesFrame(c, caller, buf, type, fileList);
    });
}

int VEK_CALL WriteBuf(int buf, const char* fileName) {
    return OnProcess([&](VekContext& c, Caller) { return WriteBufFrame(c, buf, fileName); });
}

int VEK_CALL ReadBuf(int buf, const char* fileName) {
    return OnProcess([&](VekContext& c, Caller) { return ReadBufFrame(c, buf, fileName); });
}

int VEK_CALL Diff(int oldBuf, int newBuf, int scriptBuf) {
    return OnProcess([&](VekContext& c, Caller caller) {
        return DiffFrame(c, caller, oldBuf, newBuf, scriptBuf);
    });
}

int VEK_CALL CheckType(char* fileList, char* typeOut) {
    return OnProcess(
        [&](VekContext&, Caller caller) { return CheckTypeFrame(caller, fileList, typeOut); });
}

int VEK_CALL GetLines(int buf, int first, int count, char* block, int* deliveredOut) {
    return OnProcess([&](VekContext& c, Caller) {
        return GetLinesFrame(c, buf, first, count, block, deliveredOut);
    });
}

int VEK_CALL AddLines(int buf, const char* run) {
    return OnProcess([&](VekContext& c, Caller) { return AddLinesFrame(c, buf, run); });
}

int VEK_CALL TestBuf(int* value) {
    return OnProcess([&](VekContext&, Caller) { return TestBufFrame(value); });
}

int VEK_CALL DiffWhole(int oldBuf, int newBuf, int scriptBuf) {
    return OnProcess(
        [&](VekContext& c, Caller) { return DiffWholeFrame(c, oldBuf, newBuf, scriptBuf); });
}

VekContext* VEK_CALL VekOpen(void) {
    try {
        return new VekContext;
    } catch (...) {
        return nullptr;
    }
}

void VEK_CALL VekClose(VekContext* ctx) {
    delete ctx;
}

int VEK_CALL VekInitBuf(VekContext* ctx, int buf) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return InitBufFrame(c, buf); });
}

int VEK_CALL VekAddLine(VekContext* ctx, int buf, const char* text) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return AddLineFrame(c, buf, text); });
}

int VEK_CALL VekEdCmd(VekContext* ctx, int buf, const char* line) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return EdCmdFrame(c, buf, line); });
}

int VEK_CALL VekEdBuf(VekContext* ctx, int scriptBuf, int targetBuf) {
    return OnContext(ctx,
                     [&](VekContext& c, Caller) { return EdBufFrame(c, scriptBuf, targetBuf); });
}

int VEK_CALL VekGetLine(VekContext* ctx, int buf, int line, int maxLen, char* dest, int* lenOut) {
    return OnContext(ctx, [&](VekContext& c, Caller) {
        return GetLineFrame(c, buf, line, maxLen, dest, lenOut);
    });
}

int VEK_CALL VekGetBufStats(VekContext* ctx, int buf, int* countOut, int* longestOut,
                            int* totalOut) {
    return OnContext(ctx, [&](VekContext& c, Caller) {
        return GetBufStatsFrame(c, buf, countOut, longestOut, totalOut);
    });
}

int VEK_CALL VekCrc(VekContext* ctx, int buf, int width, int* out) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return CrcFrame(c, buf, width, out); });
}

int VEK_CALL VekCrcFile(VekContext* ctx, int type, const char* fileList, int width, int* out) {
    return OnContext(ctx, [&](VekContext&, Caller caller) {
        return CrcFileFrame(caller, type, fileList, width, out);
    });
}

int VEK_CALL VekLoadFiles(VekContext* ctx, int buf, int type, const char* fileList,
                          char* statusOut) {
    return OnContext(ctx, [&](VekContext& c, Caller caller) {
        return LoadFilesFrame(c, caller, buf, type, fileList, statusOut);
    });
}

int VEK_CALL VekWriteFiles(VekContext* ctx, int buf, int type, const char* fileList) {
    return OnContext(ctx, [&](VekContext& c, Caller caller) {
        return WriteFilesFrame(c, caller, buf, type, fileList);
    });
}

int VEK_CALL VekWriteBuf(VekContext* ctx, int buf, const char* fileName) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return WriteBufFrame(c, buf, fileName); });
}

int VEK_CALL VekReadBuf(VekContext* ctx, int buf, const char* fileName) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return ReadBufFrame(c, buf, fileName); });
}

int VEK_CALL VekDiff(VekContext* ctx, int oldBuf, int newBuf, int scriptBuf) {
    return OnContext(ctx, [&](VekContext& c, Caller caller) {
        return DiffFrame(c, caller, oldBuf, newBuf, scriptBuf);
    });
}

int VEK_CALL VekCheckType(VekContext* ctx, const char* fileList, char* typeOut) {
    return OnContext(
        ctx, [&](VekContext&, Caller caller) { return CheckTypeFrame(caller, fileList, typeOut); });
}

int VEK_CALL VekGetLines(VekContext* ctx, int buf, int first, int count, char* block,
                         int* deliveredOut) {
    return OnContext(ctx, [&](VekContext& c, Caller) {
        return GetLinesFrame(c, buf, first, count, block, deliveredOut);
    });
}

int VEK_CALL VekAddLines(VekContext* ctx, int buf, const char* run) {
    return OnContext(ctx, [&](VekContext& c, Caller) { return AddLinesFrame(c, buf, run); });
}

int VEK_CALL VekTestBuf(VekContext* ctx, int* value) {
    return OnContext(ctx, [&](VekContext&, Caller) { return TestBufFrame(value); });
}

int VEK_CALL VekDiffWhole(VekContext* ctx, int oldBuf, int newBuf, int scriptBuf) {
    return OnContext(
        ctx, [&](VekContext& c, Caller) { return DiffWholeFrame(c, oldBuf, newBuf, scriptBuf); });
}

}  // extern "C"
