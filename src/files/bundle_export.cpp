#include "files/bundle_export.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Where the sections of one call go. In place (the export): each file is
// created or truncated when its section begins. Staged (the twin on a
// context): each section goes to a new temporary beside its file, and only
// PutInPlace, once every section is complete, renames the temporaries onto
// their files; whatever is not put in place is removed when the outputs go.
class SectionOutputs {
  public:
    explicit SectionOutputs(bool staged) : m_staged(staged) {}
    SectionOutputs(const SectionOutputs&) = delete;
    SectionOutputs& operator=(const SectionOutputs&) = delete;
    ~SectionOutputs() {
        for (const Staged& staged : m_files) {
            platform::RemoveName(staged.temp.c_str());
        }
    }

    // Prepares and opens the output for `name`; false when the name is empty
    // or the file cannot be created (or, staged, must not be replaced).
    bool Open(CBufferedFile& file, const char* name) {
        file.SetBufferSize(kOutputBufferSize);
        if (*name == '\0') {
            return false;
        }
        try {
            std::string path;
            const platform::TargetKind kind =
                m_staged ? platform::InspectTarget(name, path) : platform::TargetKind::kSpecial;
            switch (kind) {
                case platform::TargetKind::kRefused:
                    return false;
                case platform::TargetKind::kSpecial:
                    // In place: a device or pipe has no contents to keep.
                    file.Open(m_staged ? path.c_str() : name, platform::OpenMode::kWriteExclusive);
                    return true;
                case platform::TargetKind::kAbsent:
                case platform::TargetKind::kRegular: {
                    m_files.reserve(m_files.size() + 1);
                    std::string temp;
                    file.CreateBeside(path.c_str(), temp);
                    m_files.push_back(Staged{std::move(path), std::move(temp), std::string(),
                                             kind == platform::TargetKind::kRegular});
                    return true;
                }
            }
            return false;
        } catch (const FileFailure&) {
            return false;
        }
    }

    // Renames every temporary onto its file, in list order. When a rename
    // fails, the files renamed so far get their old contents back (a file
    // that did not exist goes again) and no file has changed: VEK_RC_WRITE_FAILED, or the
    // failure passes on when it was not the file system's.
    int PutInPlace() {
        std::size_t done = 0;
        try {
            for (; done < m_files.size(); ++done) {
                Staged& staged = m_files[done];
                if (staged.existed) {
                    platform::SetAside(staged.target.c_str(), staged.backup);
                }
                platform::RenameOnto(staged.temp.c_str(), staged.target.c_str());
                staged.temp.clear();
            }
        } catch (...) {
            for (std::size_t i = done + 1; i-- > 0;) {
                Restore(m_files[i]);
            }
            try {
                throw;
            } catch (const FileFailure&) {
                return VEK_RC_WRITE_FAILED;
            }
        }
        for (const Staged& staged : m_files) {
            if (!staged.backup.empty()) {
                platform::RemoveName(staged.backup.c_str());
            }
        }
        m_files.clear();
        return VEK_RC_OK;
    }

  private:
    struct Staged {
        std::string target;
        std::string temp;    // empty once renamed onto the target
        std::string backup;  // the old contents while the renames run
        bool existed;
    };

    // Undoes what PutInPlace did for one file.
    static void Restore(Staged& staged) noexcept {
        try {
            if (!staged.backup.empty()) {
                platform::RenameOnto(staged.backup.c_str(), staged.target.c_str());
                // Where both names were links to one file the rename did
                // nothing: the backup name goes.
                platform::RemoveName(staged.backup.c_str());
            } else if (staged.temp.empty()) {
                platform::RemoveName(staged.target.c_str());
            }
        } catch (...) {
            // Nothing more can be done; the backup keeps the old contents.
        }
        if (!staged.temp.empty()) {
            platform::RemoveName(staged.temp.c_str());
        }
        staged.temp.clear();
    }

    bool m_staged;
    std::vector<Staged> m_files;
};

// What every section shares. Nothing is done when no line remains or the
// section is a lone terminator (the named file is left untouched, result 0).
// Otherwise its first line is taken, the output file is created (VEK_RC_WRITE_FAILED when it
// cannot be) and `writeBody(cursor, firstLine, file)` writes the section.
// Closing the file after a complete body is the one commit point, and a
// failure there is raised like a failed write. A body that ends with a code
// of its own, or raises, leaves the file to its destructor, which writes out
// what is held and closes without raising, so that code is the result.
template <class WriteBody>
int WriteSection(const VekBuf& buffer, const char* name, BundlePosition& position,
                 SectionOutputs& outputs, WriteBody&& writeBody) {
    LineCursor cursor(buffer, position);
    CBufferedFile file;
    if (!cursor.LinesRemain()) {
        return VEK_RC_OK;
    }
    const std::string_view firstLine = cursor.Take();
    if (firstLine == bundle::kTerminator) {
        return VEK_RC_OK;
    }
    if (!outputs.Open(file, name)) {
        return VEK_RC_WRITE_FAILED;
    }
    const int rc = writeBody(cursor, firstLine, file);
    if (rc == VEK_RC_OK) {
        file.Close();
    }
    return rc;
}

// The lines of a text section, from `line` (its first) up to the terminator.
int WriteTextLines(LineCursor& cursor, std::string_view line, CBufferedFile& file) {
    if (!cursor.LinesRemain()) {
        return VEK_RC_OK;
    }
    for (;;) {
        if (line.empty() || line == bundle::kTerminator) {
            return VEK_RC_OK;
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
            return VEK_RC_OK;
        }
    }
}

// A binary section from its header line `line`: the data lines decoded, then
// the end line taken. VEK_RC_WRITE_FAILED for a missing header or end line; a data line cut
// short is raised after the bytes before its missing character are written.
int DecodeBinaryLines(LineCursor& cursor, std::string_view line, CBufferedFile& file) {
    if (!StartsWith(line, bundle::kHeaderPrefix)) {
        return VEK_RC_WRITE_FAILED;
    }
    line = cursor.Take();
    if (!cursor.LinesRemain()) {
        return VEK_RC_WRITE_FAILED;
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
        return VEK_RC_WRITE_FAILED;
    }
    cursor.Take();
    return VEK_RC_OK;
}

class ExportDirection : public FileListDirection {
  public:
    ExportDirection(const VekBuf& buffer, SectionOutputs& outputs)
        : m_buffer(buffer), m_outputs(outputs) {}
    int HandleText(const char* name) override {
        return WriteSection(m_buffer, name, m_position, m_outputs, WriteTextLines);
    }
    int HandleBinary(const char* name) override {
        return WriteSection(m_buffer, name, m_position, m_outputs, DecodeBinaryLines);
    }

  private:
    const VekBuf& m_buffer;
    SectionOutputs& m_outputs;
    BundlePosition m_position;
};

}  // namespace

int WriteFileList(const VekBuf& buffer, int typeLetter, char* fileList) {
    SectionOutputs outputs(false);
    ExportDirection direction(buffer, outputs);
    return ProcessFileList(fileList, typeLetter, direction);
}

int ReplaceFileList(const VekBuf& buffer, int typeLetter, const char* fileList) {
    std::string list(fileList);
    SectionOutputs outputs(true);
    ExportDirection direction(buffer, outputs);
    const int rc = ProcessFileList(list.data(), typeLetter, direction);
    return rc != VEK_RC_OK ? rc : outputs.PutInPlace();
}

}  // namespace vek
