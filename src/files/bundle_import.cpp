// Bundle import. Files are read in large runs; the lines produced are the
// same as if text files were read 2,048 bytes and binary files 45 bytes at a
// time: nothing in a text line depends on where a read ends (a carriage
// return that ends one read still pairs with a line feed that begins the
// next), and a binary read run holds whole 45-byte blocks.
#include "files/bundle_import.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/failure.h"
#include "files/bundle_lines.h"
#include "files/file_list.h"
#include "files/file_sets.h"
#include "platform/file.h"

namespace vek {

namespace {

using platform::File;
using platform::OpenMode;

constexpr std::size_t kTextRun = 1024 * 1024;
constexpr std::size_t kBinaryRun = bundle::kDataBlock * 23302;  // about 1 MiB of whole blocks
// Room given to the line being built, so that ordinary lines need no growth.
constexpr std::size_t kLineRoom = 32767;

bool OpenForImport(File& file, const char* name) {
    try {
        file.Open(name, OpenMode::kReadExclusive);
        return true;
    } catch (const FileFailure&) {
        return false;
    }
}

int AppendMissingSection(VekBuf& buffer) {
    buffer.m_status += bundle::kStatusEmpty;
    return buffer.AppendLine(bundle::kTerminator);
}

// Builds the text lines of an open file and appends them. Returns the first
// refusal of AppendLine, or 101 when memory runs out while a line is built.
// `run` has room for one byte before kTextRun bytes of data: a line that
// lies wholly inside one read is stored straight from there, its leading
// space written over the line feed before it (or that spare byte) and a
// carriage return before its line feed replaced by the line feed.
int AppendTextLines(VekBuf& buffer, File& file, char* run, bool& anyLine) {
    try {
        std::string line;
        line.reserve(kLineRoom);
        line.assign(1, ' ');
        char* const data = run + 1;
        for (;;) {
            const std::size_t got = file.Read(data, kTextRun);
            if (got == 0) {
                break;
            }
            char* p = data;
            char* const end = data + got;
            while (p < end) {
                char* lineFeed = static_cast<char*>(std::memchr(p, '\n', end - p));
                if (lineFeed == nullptr) {
                    line.append(p, end);
                    break;
                }
                std::string_view text;
                if (line.size() == 1) {
                    // The whole line is in this read.
                    p[-1] = ' ';
                    char* last = lineFeed;
                    if (last > p && last[-1] == '\r') {
                        *--last = '\n';
                    }
                    text = std::string_view(p - 1, static_cast<std::size_t>(last - p) + 2);
                } else {
                    line.append(p, lineFeed);
                    // The byte before this line feed, from this read or an
                    // earlier one.
                    if (line.back() == '\r') {
                        line.pop_back();
                    }
                    line.push_back('\n');
                    text = line;
                }
                const int rc = buffer.AppendLine(text);
                if (rc != 0) {
                    return rc;
                }
                anyLine = true;
                line.resize(1);
                p = lineFeed + 1;
            }
        }
        // The unterminated last line (a carriage return that ended the file
        // stays in it). Only a line holding nothing but the leading space is
        // left out.
        if (line.size() != 1) {
            const int rc = buffer.AppendLine(line);
            if (rc != 0) {
                return rc;
            }
            anyLine = true;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return RC_BUFFER_FULL;
    }
}

// Appends the data lines of an open file, each the uuencoding of 45 bytes
// and the last one of what remains. Returns the first refusal of AppendLine.
int AppendDataLines(VekBuf& buffer, File& file, bool& anyData) {
    std::unique_ptr<unsigned char[]> run(new unsigned char[kBinaryRun]);
    // The 45-byte read area as a block-at-a-time reader would see it: the
    // bytes of the last full block read. It starts cleared, so the missing
    // bytes of a short first block encode as zeros.
    unsigned char area[bundle::kDataBlock] = {};
    char line[bundle::kMaxDataLine];
    for (;;) {
        const std::size_t got = file.Read(run.get(), kBinaryRun);
        if (got == 0) {
            return 0;
        }
        const std::size_t whole = got - got % bundle::kDataBlock;
        for (std::size_t at = 0; at < whole; at += bundle::kDataBlock) {
            const std::size_t length =
                bundle::EncodeDataLine(run.get() + at, bundle::kDataBlock, line);
            if (const int rc = buffer.AppendLine(std::string_view(line, length)); rc != 0) {
                return rc;
            }
        }
        anyData = anyData || whole > 0;
        if (whole > 0) {
            std::memcpy(area, run.get() + whole - bundle::kDataBlock, bundle::kDataBlock);
        }
        if (got != whole) {
            // The short last block overwrites the start of the read area; its
            // last group takes the rest from the previous block.
            std::memcpy(area, run.get() + whole, got - whole);
            const std::size_t length = bundle::EncodeDataLine(area, got - whole, line);
            if (const int rc = buffer.AppendLine(std::string_view(line, length)); rc != 0) {
                return rc;
            }
            anyData = true;
        }
    }
}

// Gives the buffer's last line a line feed if it lacks one; 101 when that
// makes it too long.
int RepairLastLine(VekBuf& buffer) {
    const int count = buffer.LineCount();
    if (count == 0) {
        return 0;
    }
    const std::string_view last = buffer.Line(count - 1);
    if (!last.empty() && last.back() == '\n') {
        return 0;
    }
    std::string repaired;
    repaired.reserve(last.size() + 1);
    repaired.append(last).push_back('\n');
    return buffer.ReplaceLine(count - 1, repaired);
}

class ImportDirection : public FileListDirection {
  public:
    explicit ImportDirection(VekBuf& buffer) : m_buffer(buffer) {}
    int HandleText(const char* name) override { return LoadTextFile(m_buffer, name); }
    int HandleBinary(const char* name) override { return LoadBinaryFile(m_buffer, name); }

  private:
    VekBuf& m_buffer;
};

}  // namespace

// In both loads the file is closed at one point, once all its lines are in
// the buffer; a failure to close is raised from there. A load that ends early
// with a code, or raises, leaves the file to its destructor, which releases
// it without raising, so that code is the result.
int LoadTextFile(VekBuf& buffer, const char* name) {
    if (*name == '\0') {
        return AppendMissingSection(buffer);
    }
    File file;
    if (!OpenForImport(file, name)) {
        return RC_READ_FAILED;
    }
    std::unique_ptr<char[]> run(new char[kTextRun + 1]);
    bool anyLine = false;
    if (const int rc = AppendTextLines(buffer, file, run.get(), anyLine); rc != 0) {
        return rc;
    }
    file.Close();
    buffer.m_status += anyLine ? bundle::kStatusLoaded : bundle::kStatusEmpty;
    if (const int rc = RepairLastLine(buffer); rc != 0) {
        return rc;
    }
    return buffer.AppendLine(bundle::kTerminator);
}

int LoadBinaryFile(VekBuf& buffer, const char* name) {
    File file;
    if (*name == '\0' || !OpenForImport(file, name)) {
        return AppendMissingSection(buffer);
    }
    if (const int rc = buffer.AppendLine(bundle::kBinaryHeader); rc != 0) {
        return rc;
    }
    bool anyData = false;
    if (const int rc = AppendDataLines(buffer, file, anyData); rc != 0) {
        return rc;
    }
    file.Close();
    if (const int rc = buffer.AppendLine(bundle::kZeroLengthLine); rc != 0) {
        return rc;
    }
    if (const int rc = buffer.AppendLine(bundle::kEndLine); rc != 0) {
        return rc;
    }
    buffer.m_status += anyData ? bundle::kStatusLoaded : bundle::kStatusEmpty;
    return buffer.AppendLine(bundle::kTerminator);
}

int LoadFileList(VekBuf& buffer, int typeLetter, char* fileList, char* statusOut) {
    try {
        buffer.m_status.clear();
        ImportDirection direction(buffer);
        const int rc = ProcessFileList(fileList, typeLetter, direction);
        if (rc == 0) {
            if (!buffer.m_status.empty()) {
                buffer.m_status.pop_back();
            }
            std::memcpy(statusOut, buffer.m_status.c_str(), buffer.m_status.size() + 1);
        }
        buffer.InvalidateReadCache();
        return rc;
    } catch (...) {
        buffer.InvalidateReadCache();
        return RC_FAILED;
    }
}

}  // namespace vek
