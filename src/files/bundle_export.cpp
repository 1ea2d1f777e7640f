#include "files/bundle_export.h"

#include <string_view>

#include "common/failure.h"
#include "files/buffered_file.h"
#include "files/bundle_lines.h"
#include "files/file_list.h"
#include "files/file_sets.h"

namespace vek {

namespace {

constexpr std::uint32_t kOutputBufferSize = 262144;

// Reads the shared position: whether lines remain, and taking one.
class LineCursor {
  public:
    LineCursor(const VekBuf& buffer, BundlePosition& position)
        : m_buffer(buffer), m_position(position) {}

    bool LinesRemain() const { return m_position.next < m_buffer.LineCount(); }
    std::string_view Take() {
        if (!LinesRemain()) {
            throw Failure("bundle ends inside a section");
        }
        return m_buffer.Line(m_position.next++);
    }

  private:
    const VekBuf& m_buffer;
    BundlePosition& m_position;
};

bool StartsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

// Prepares and opens an output file; false when the name is empty or the file
// cannot be created.
bool CreateOutput(CBufferedFile& file, const char* name) {
    file.SetBufferSize(kOutputBufferSize);
    if (*name == '\0') {
        return false;
    }
    try {
        file.Open(name, platform::OpenMode::kWriteExclusive);
        return true;
    } catch (const FileFailure&) {
        return false;
    }
}

constexpr int kSectionOpened = -1;

// The start every section shares: nothing to do when no line remains or the
// section is a lone terminator (the named file is left untouched, result 0);
// otherwise its first line is taken into `line` and the output file is
// created (kSectionOpened), or refused with 105.
int BeginSection(LineCursor& cursor, const char* name, CBufferedFile& file,
                 std::string_view& line) {
    if (!cursor.LinesRemain()) {
        return 0;
    }
    line = cursor.Take();
    if (line == bundle::kTerminator) {
        return 0;
    }
    return CreateOutput(file, name) ? kSectionOpened : RC_WRITE_FAILED;
}

class ExportDirection : public FileListDirection {
  public:
    explicit ExportDirection(const VekBuf& buffer) : m_buffer(buffer) {}
    int HandleText(const char* name) override { return WriteTextFile(m_buffer, name, m_position); }
    int HandleBinary(const char* name) override {
        return WriteBinaryFile(m_buffer, name, m_position);
    }

  private:
    const VekBuf& m_buffer;
    BundlePosition m_position;
};

}  // namespace

int WriteTextFile(const VekBuf& buffer, const char* name, BundlePosition& position) {
    LineCursor cursor(buffer, position);
    std::string_view line;
    CBufferedFile file;
    if (const int rc = BeginSection(cursor, name, file, line); rc != kSectionOpened) {
        return rc;
    }
    if (cursor.LinesRemain()) {
        for (;;) {
            if (line.empty() || line == bundle::kTerminator) {
                break;
            }
            // Without its first byte (the leading space) and its last (the
            // line feed), whatever they are.
            if (line.size() > 2) {
                file.Write(line.data() + 1, line.size() - 2);
            }
            file.Write("\r\n", 2);
            line = cursor.Take();
            if (!cursor.LinesRemain()) {
                // The bundle's last line ends the section unwritten.
                break;
            }
        }
    }
    file.Close();
    return 0;
}

int WriteBinaryFile(const VekBuf& buffer, const char* name, BundlePosition& position) {
    LineCursor cursor(buffer, position);
    std::string_view line;
    CBufferedFile file;
    if (const int rc = BeginSection(cursor, name, file, line); rc != kSectionOpened) {
        return rc;
    }
    if (!StartsWith(line, bundle::kHeaderPrefix)) {
        file.Close();
        return RC_WRITE_FAILED;
    }
    line = cursor.Take();
    if (!cursor.LinesRemain()) {
        file.Close();
        return RC_WRITE_FAILED;
    }
    unsigned char bytes[bundle::kMaxDecodedBytes];
    for (;;) {
        if (line.empty() || StartsWith(line, bundle::kEndPrefix)) {
            break;
        }
        bool cutShort = false;
        const std::size_t count = bundle::DecodeDataLine(line, bytes, cutShort);
        file.Write(bytes, count);
        if (cutShort) {
            // The bytes before the missing character are in the file; the
            // destructor closes it.
            throw Failure("data line shorter than its count");
        }
        line = cursor.Take();
        if (!cursor.LinesRemain()) {
            break;
        }
    }
    if (!cursor.LinesRemain() || line != bundle::kEndLine) {
        // Cut off by the end of the bundle, or data not closed by " end".
        file.Close();
        return RC_WRITE_FAILED;
    }
    cursor.Take();
    file.Close();
    return 0;
}

int WriteFileList(const VekBuf& buffer, int typeLetter, char* fileList) {
    try {
        ExportDirection direction(buffer);
        return ProcessFileList(fileList, typeLetter, direction);
    } catch (...) {
        return RC_FAILED;
    }
}

}  // namespace vek
