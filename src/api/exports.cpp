// The eighteen exports. Each frame makes its checks in a fixed order (the
// first failed check returns its code with nothing changed), then runs one
// work operation inside Guarded, which turns anything thrown into the
// export's catch code: no exception ever reaches the host.
#include "vekwin32.h"

#include <cstring>
#include <string>

#include "api/slots.h"
#include "buffer/line_retrieval.h"
#include "diff/diff_driver.h"
#include "diff/whole_buffer.h"
#include "edit/edit_script.h"
#include "files/file_sets.h"

namespace {

using vek::Slot;

template <class Work>
int Guarded(int catchCode, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return catchCode;
    }
}

bool BadBuffer(int number) {
    return static_cast<unsigned>(number) - 1u > 2u;
}

bool BadType(int typeLetter) {
    const char letter = static_cast<char>(typeLetter & 0xFF);
    return letter != 'T' && letter != 'B';
}

bool BadWidth(int width) {
    return width != 16 && width != 32;
}

}  // namespace

extern "C" {

int VEK_CALL InitBuf(int buf) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    return Guarded(RC_FAILED, [&] { return Slot(buf).Reset(); });
}

int VEK_CALL AddLine(int buf, const char* text) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (text == nullptr)
        return RC_FAILED;
    return Guarded(RC_FAILED, [&] { return Slot(buf).AddLine(text); });
}

int VEK_CALL EdCmd(int buf, const char* line) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (line == nullptr)
        return RC_FAILED;
    return Guarded(RC_BAD_LINE, [&] {
        const std::size_t length = std::strlen(line);
        std::string copy;
        copy.reserve(length + 1);
        copy.append(line, length).push_back('\n');
        return vek::FeedLine(Slot(buf), copy);
    });
}

int VEK_CALL EdBuf(int scriptBuf, int targetBuf) {
    if (BadBuffer(scriptBuf) || BadBuffer(targetBuf) || scriptBuf == targetBuf) {
        return RC_BAD_BUFFER;
    }
    return Guarded(RC_BAD_LINE, [&] { return vek::ApplyScript(Slot(scriptBuf), Slot(targetBuf)); });
}

int VEK_CALL GetLine(int buf, int line, int maxLen, char* dest, int* lenOut) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (line < 1)
        return RC_BAD_LINE;
    return Guarded(RC_FAILED, [&] { return Slot(buf).ReadLine(line, maxLen, dest, lenOut); });
}

int VEK_CALL GetBufStats(int buf, int* countOut, int* longestOut, int* totalOut) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    return Guarded(RC_STATS_FAILED,
                   [&] { return Slot(buf).GetStats(countOut, longestOut, totalOut); });
}

int VEK_CALL Crc(int buf, int width, int* out) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (BadWidth(width))
        return RC_BAD_WIDTH;
    return Guarded(RC_STATS_FAILED, [&] { return Slot(buf).Checksum(width, out); });
}

int VEK_CALL CrcFile(int type, char* fileList, int width, int* out) {
    if (BadType(type))
        return RC_BAD_TYPE;
    if (fileList == nullptr)
        return RC_FAILED;
    if (BadWidth(width))
        return RC_BAD_WIDTH;
    return Guarded(RC_STATS_FAILED,
                   [&] { return vek::ChecksumFileList(type, fileList, width, out); });
}

int VEK_CALL LoadFiles(int buf, int type, char* fileList, char* statusOut) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (BadType(type))
        return RC_BAD_TYPE;
    if (fileList == nullptr)
        return RC_FAILED;
    return Guarded(RC_READ_FAILED,
                   [&] { return vek::LoadFileList(Slot(buf), type, fileList, statusOut); });
}

int VEK_CALL WriteFiles(int buf, int type, char* fileList) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (BadType(type))
        return RC_BAD_TYPE;
    if (fileList == nullptr)
        return RC_FAILED;
    return Guarded(RC_READ_FAILED, [&] { return vek::WriteFileList(Slot(buf), type, fileList); });
}

int VEK_CALL WriteBuf(int buf, const char* fileName) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (fileName == nullptr)
        return RC_FAILED;
    return Guarded(RC_WRITE_FAILED, [&] { return vek::SaveBufferToFile(Slot(buf), fileName); });
}

int VEK_CALL ReadBuf(int buf, const char* fileName) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (fileName == nullptr)
        return RC_FAILED;
    return Guarded(RC_READ_FAILED, [&] { return vek::LoadBufferFromFile(Slot(buf), fileName); });
}

int VEK_CALL Diff(int oldBuf, int newBuf, int scriptBuf) {
    if (BadBuffer(oldBuf) || BadBuffer(newBuf) || BadBuffer(scriptBuf) || oldBuf == newBuf ||
        oldBuf == scriptBuf || newBuf == scriptBuf) {
        return RC_BAD_BUFFER;
    }
    return Guarded(RC_DIFF_FAILED,
                   [&] { return vek::DiffBuffers(Slot(oldBuf), Slot(newBuf), Slot(scriptBuf)); });
}

int VEK_CALL CheckType(char* fileList, char* typeOut) {
    if (fileList == nullptr)
        return RC_FAILED;
    return Guarded(RC_READ_FAILED, [&] { return vek::DetectFileListType(fileList, typeOut); });
}

int VEK_CALL GetLines(int buf, int first, int count, char* block, int* deliveredOut) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (first < 1)
        return RC_BAD_LINE;
    if (count < 1 || count > LINES_BLOCK_MAX_LINES)
        return RC_FAILED;
    return Guarded(RC_FAILED, [&] {
        return vek::FillLinesBlock(Slot(buf), first, count, block, deliveredOut);
    });
}

int VEK_CALL AddLines(int buf, const char* run) {
    if (BadBuffer(buf))
        return RC_BAD_BUFFER;
    if (run == nullptr)
        return RC_FAILED;
    return Guarded(RC_FAILED, [&] { return vek::AddPackedRun(Slot(buf), run); });
}

int VEK_CALL TestBuf(int* value) {
    if (value == nullptr)
        return RC_FAILED;
    const int previous = *value;
    *value = 100;
    return previous;
}

int VEK_CALL DiffWhole(int oldBuf, int newBuf, int scriptBuf) {
    if (BadBuffer(oldBuf) || BadBuffer(newBuf) || BadBuffer(scriptBuf) || oldBuf == newBuf ||
        oldBuf == scriptBuf || newBuf == scriptBuf) {
        return RC_BAD_BUFFER;
    }
    return Guarded(RC_DIFF_FAILED, [&] {
        return vek::DiffWholeBuffers(Slot(oldBuf), Slot(newBuf), Slot(scriptBuf));
    });
}

}  // extern "C"
