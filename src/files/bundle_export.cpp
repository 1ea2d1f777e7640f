#include "files/bundle_export.h"

#include <string_view>

#include "common/failure.h"
#include "files/buffered_file.h"
#include "files/bundle_lines.h"
#include "files/file_list.h"
#include "files/file_sets.h"

namespace vek {

namespace {

// Each full output buffer is written and committed to storage, and a
// commit costs about as much as writing a megabyte: 1 MiB buffers keep the
// commits to a few per 16 MiB without making a process that holds a large
// bundle hold much more.
constexpr std::uint32_t kOutputBufferSize = 1048576;

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

// What every section shares. Nothing is done when no line remains or the
// section is a lone terminator (the named file is left untouched, result 0).
// Otherwise its first line is taken, the output file is created (105 when it
// cannot be) and `writeBody(cursor, firstLine, file)` writes the section.
// Closing the file after a complete body is the one commit point, and a
// failure there is raised like a failed write. A body that ends with a code
// of its own, or raises, leaves the file to its destructor, which writes out
// what is held and closes without raising, so that code is the result.
template <class WriteBody>
int WriteSection(const VekBuf& buffer, const char* name, BundlePosition& position,
                 WriteBody&& writeBody) {
    LineCursor cursor(buffer, position);
    CBufferedFile file;
    if (!cursor.LinesRemain()) {
        return 0;
    }
    const std::string_view firstLine = cursor.Take();
    if (firstLine == bundle::kTerminator) {
        return 0;
    }
    if (!CreateOutput(file, name)) {
        return RC_WRITE_FAILED;
    }
    const int rc = writeBody(cursor, firstLine, file);
    if (rc == 0) {
        file.Close();
    }
    return rc;
}

// The lines of a text section, from `line` (its first) up to the terminator.
int WriteTextLines(LineCursor& cursor, std::string_view line, CBufferedFile& file) {
    if (!cursor.LinesRemain()) {
        return 0;
    }
    for (;;) {
        if (line.empty() || line == bundle::kTerminator) {
            return 0;
        }
        // Without its first byte (the leading space) and its last (the line
        // feed), whatever they are.
        if (line.size() > 2) {
            file.Write(line.data() + 1, line.size() - 2);
        }
        file.Write("\r\n", 2);
        line = cursor.Take();
        if (!cursor.LinesRemain()) {
            // The bundle's last line ends the section unwritten.
            return 0;
        }
    }
}

// A binary section from its header line `line`: the data lines decoded, then
// the end line taken. 105 for a missing header or end line; a data line cut
// short is raised after the bytes before its missing character are written.
int DecodeBinaryLines(LineCursor& cursor, std::string_view line, CBufferedFile& file) {
    if (!StartsWith(line, bundle::kHeaderPrefix)) {
        return RC_WRITE_FAILED;
    }
    line = cursor.Take();
    if (!cursor.LinesRemain()) {
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
            throw Failure("data line shorter than its count");
        }
        line = cursor.Take();
        if (!cursor.LinesRemain()) {
            break;
        }
    }
    if (!cursor.LinesRemain() || line != bundle::kEndLine) {
        // Cut off by the end of the bundle, or data not closed by " end".
        return RC_WRITE_FAILED;
    }
    cursor.Take();
    return 0;
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
    return WriteSection(buffer, name, position, WriteTextLines);
}

int WriteBinaryFile(const VekBuf& buffer, const char* name, BundlePosition& position) {
    return WriteSection(buffer, name, position, DecodeBinaryLines);
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
