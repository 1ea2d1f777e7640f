// Bundle import. Files are read in large runs; the lines produced are the
// same as if text files were read 2,048 bytes and binary files 45 bytes at a
// time: nothing in a text line depends on where a read ends (a carriage
// return that ends one read still pairs with a line feed that begins the
// next), and a binary read run holds whole 45-byte blocks.
#include "files/bundle_import.h"

#include <cstdint>
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

// Where the lines of a bundle go. Both sinks answer each line as
// VekBuf::AppendLine does and keep the status text.
//
// BufferSink stores the lines in a buffer.
class BufferSink {
  public:
    explicit BufferSink(VekBuf& buffer) : m_buffer(buffer) {}
    int Append(std::string_view line) { return m_buffer.AppendLine(line); }
    // Encoded straight into the buffer's store.
    int AppendDataLine(const unsigned char* block, std::size_t n) {
        return m_buffer.AppendLineWith(bundle::DataLineLength(n), [block, n](char* text) {
            bundle::EncodeDataLine(block, n, text);
        });
    }
    // Gives the buffer's last line a line feed if it lacks one; VEK_RC_BUFFER_FULL when
    // that makes it too long.
    int RepairLastLine() {
        const int count = m_buffer.LineCount();
        if (count == 0) {
            return VEK_RC_OK;
        }
        const std::string_view last = m_buffer.Line(count - 1);
        if (!last.empty() && last.back() == '\n') {
            return VEK_RC_OK;
        }
        std::string repaired;
        repaired.reserve(last.size() + 1);
        repaired.append(last).push_back('\n');
        return m_buffer.ReplaceLine(count - 1, repaired);
    }
    std::string& Status() { return m_status; }
    void Loaded() { m_buffer.InvalidateReadCache(); }

  private:
    VekBuf& m_buffer;
    std::string m_status;
};

// SumSink keeps only what the checksum of a buffer that started empty and
// took the same lines would be (each line summed up to its first NUL byte),
// the line count for the line limit, and what the repair of the last line
// needs to know.
class SumSink {
  public:
    // Refuses what a buffer refuses: a line past the line limit or longer
    // than a buffer stores.
    int Append(std::string_view line) {
        if (m_lines > VEK_MAX_LINES || line.size() > VekBuf::kMaxLineLength) {
            return VEK_RC_BUFFER_FULL;
        }
        ++m_lines;
        m_lastLength = line.size();
        const void* nul = std::memchr(line.data(), '\0', line.size());
        m_lastHasNul = nul != nullptr;
        const std::size_t length =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - line.data())
                           : line.size();
        m_sum += bundle::SignedByteSum(line.data(), length);
        m_lastUnterminated = line.empty() || line.back() != '\n';
        return VEK_RC_OK;
    }
    int AppendDataLine(const unsigned char* block, std::size_t n) {
        if (m_lines > VEK_MAX_LINES) {
            return VEK_RC_BUFFER_FULL;
        }
        ++m_lines;
        m_sum += bundle::DataLineSum(block, n);
        m_lastHasNul = m_lastUnterminated = false;
        return VEK_RC_OK;
    }
    int RepairLastLine() {
        if (m_lines != 0 && m_lastUnterminated) {
            if (m_lastLength >= VekBuf::kMaxLineLength) {
                return VEK_RC_BUFFER_FULL;
            }
            // The line feed added after a NUL byte is not summed.
            m_sum += m_lastHasNul ? 0 : '\n';
            m_lastUnterminated = false;
        }
        return VEK_RC_OK;
    }
    std::string& Status() { return m_status; }
    void Loaded() {}
    std::uint32_t Sum() const { return m_sum & 0xFFFFu; }

  private:
    std::uint32_t m_sum = 0;
    long m_lines = 0;
    std::size_t m_lastLength = 0;
    bool m_lastUnterminated = false;
    bool m_lastHasNul = false;
    std::string m_status;
};

template <class Sink>
int AppendMissingSection(Sink& sink) {
    sink.Status() += bundle::kStatusEmpty;
    return sink.Append(bundle::kTerminator);
}

// Builds the text lines of an open file and appends them. Returns the first
// refusal of AppendLine, or VEK_RC_BUFFER_FULL when memory runs out while a line is built.
// `run` has room for one byte before kTextRun bytes of data: a line that
// lies wholly inside one read is stored straight from there, its leading
// space written over the line feed before it (or that spare byte) and a
// carriage return before its line feed replaced by the line feed.
template <class Sink>
int AppendTextLines(Sink& sink, File& file, char* run, bool& anyLine) {
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
                const int rc = sink.Append(text);
                if (rc != VEK_RC_OK) {
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
            const int rc = sink.Append(line);
            if (rc != VEK_RC_OK) {
                return rc;
            }
            anyLine = true;
        }
        return VEK_RC_OK;
    } catch (const std::bad_alloc&) {
        return VEK_RC_BUFFER_FULL;
    }
}

// Appends the data lines of an open file, each the uuencoding of 45 bytes
// and the last one of what remains. Returns the first refusal of AppendLine.
template <class Sink>
int AppendDataLines(Sink& sink, File& file, bool& anyData) {
    std::unique_ptr<unsigned char[]> run(new unsigned char[kBinaryRun]);
    // The 45-byte read area as a block-at-a-time reader would see it: the
    // bytes of the last full block read. It starts cleared, so the missing
    // bytes of a short first block encode as zeros.
    unsigned char area[bundle::kDataBlock] = {};
    for (;;) {
        const std::size_t got = file.Read(run.get(), kBinaryRun);
        if (got == 0) {
            return VEK_RC_OK;
        }
        const std::size_t whole = got - got % bundle::kDataBlock;
        for (std::size_t at = 0; at < whole; at += bundle::kDataBlock) {
            if (const int rc = sink.AppendDataLine(run.get() + at, bundle::kDataBlock);
                rc != VEK_RC_OK) {
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
            if (const int rc = sink.AppendDataLine(area, got - whole); rc != VEK_RC_OK) {
                return rc;
            }
            anyData = true;
        }
    }
}

// In both loads the file is closed at one point, once all its lines are in
// the sink; a failure to close is raised from there. A load that ends early
// with a code, or raises, leaves the file to its destructor, which releases
// it without raising, so that code is the result.
template <class Sink>
int LoadTextSection(Sink& sink, const char* name) {
    if (*name == '\0') {
        return AppendMissingSection(sink);
    }
    File file;
    if (!OpenForImport(file, name)) {
        return VEK_RC_READ_FAILED;
    }
    std::unique_ptr<char[]> run(new char[kTextRun + 1]);
    bool anyLine = false;
    if (const int rc = AppendTextLines(sink, file, run.get(), anyLine); rc != VEK_RC_OK) {
        return rc;
    }
    file.Close();
    sink.Status() += anyLine ? bundle::kStatusLoaded : bundle::kStatusEmpty;
    if (const int rc = sink.RepairLastLine(); rc != VEK_RC_OK) {
        return rc;
    }
    return sink.Append(bundle::kTerminator);
}

template <class Sink>
int LoadBinarySection(Sink& sink, const char* name) {
    File file;
    if (*name == '\0' || !OpenForImport(file, name)) {
        return AppendMissingSection(sink);
    }
    if (const int rc = sink.Append(bundle::kBinaryHeader); rc != VEK_RC_OK) {
        return rc;
    }
    bool anyData = false;
    if (const int rc = AppendDataLines(sink, file, anyData); rc != VEK_RC_OK) {
        return rc;
    }
    file.Close();
    if (const int rc = sink.Append(bundle::kZeroLengthLine); rc != VEK_RC_OK) {
        return rc;
    }
    if (const int rc = sink.Append(bundle::kEndLine); rc != VEK_RC_OK) {
        return rc;
    }
    sink.Status() += anyData ? bundle::kStatusLoaded : bundle::kStatusEmpty;
    return sink.Append(bundle::kTerminator);
}

template <class Sink>
class ImportDirection : public FileListDirection {
  public:
    explicit ImportDirection(Sink& sink) : m_sink(sink) {}
    int HandleText(const char* name) override { return LoadTextSection(m_sink, name); }
    int HandleBinary(const char* name) override { return LoadBinarySection(m_sink, name); }

  private:
    Sink& m_sink;
};

// The walk of a load: the status text starts empty; after a walk that
// ended with VEK_RC_OK it loses its last comma and is copied to statusOut.
// A failure raised inside passes on to the export frame, the sink told on
// the way that loading has ended.
template <class Sink>
int LoadList(Sink& sink, int typeLetter, char* fileList, char* statusOut) {
    struct LoadedOnExit {
        Sink& sink;
        ~LoadedOnExit() { sink.Loaded(); }
    } loaded{sink};
    ImportDirection<Sink> direction(sink);
    const int rc = ProcessFileList(fileList, typeLetter, direction);
    if (rc == VEK_RC_OK) {
        std::string& status = sink.Status();
        if (!status.empty()) {
            status.pop_back();
        }
        std::memcpy(statusOut, status.c_str(), status.size() + 1);
    }
    return rc;
}

}  // namespace

int LoadTextFile(VekBuf& buffer, const char* name) {
    BufferSink sink(buffer);
    return LoadTextSection(sink, name);
}

int LoadBinaryFile(VekBuf& buffer, const char* name) {
    BufferSink sink(buffer);
    return LoadBinarySection(sink, name);
}

int LoadFileList(VekBuf& buffer, int typeLetter, char* fileList, char* statusOut) {
    BufferSink sink(buffer);
    return LoadList(sink, typeLetter, fileList, statusOut);
}

int SumFileList(int typeLetter, char* fileList, int* sumOut) {
    SumSink sink;
    char status[2 * kMaxListNames];
    const int rc = LoadList(sink, typeLetter, fileList, status);
    if (rc == VEK_RC_OK) {
        *sumOut = static_cast<int>(sink.Sum());
    }
    return rc;
}

}  // namespace vek
