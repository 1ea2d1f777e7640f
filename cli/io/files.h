// Files by name: an owner for open streams, a file to read, a file written
// whole or not at all, a file's bytes at once, and the small file jobs the
// commands share.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/temps.h"

namespace vekcli {

// Bytes read per call: bounds what vek holds besides the buffers themselves.
inline constexpr std::size_t kChunkSize = 1024 * 1024;

// Room for one chunk, left uncleared: reads fill it, so a small file costs
// only the pages its bytes take. A spare byte beyond the chunk lets a
// reader end a run of lines there. A reader that must hold little asks
// for a smaller chunk (at most kChunkSize).
class Chunk {
  public:
    explicit Chunk(std::size_t size = kChunkSize) : m_bytes(new char[size + 1]), m_size(size) {}
    char* data() noexcept { return m_bytes.get(); }
    const char* data() const noexcept { return m_bytes.get(); }
    std::size_t size() const noexcept { return m_size; }
    char operator[](std::size_t i) const noexcept { return m_bytes[i]; }

  private:
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_size;
};

// The one owner of an open stream: closed when the owner goes.
struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen; empty when the file cannot be opened (SystemError says why).
OwnedFile OpenFile(const std::string& name, const char* mode);
// Closes the file now; false when closing fails (SystemError says why).
bool CloseFile(OwnedFile& file);

// Every input by what it is, not by how it is named: a pipe, FIFO,
// terminal or socket named more than once (as "-" and /dev/stdin, or one
// FIFO twice) is read once, into a temporary file, before anything else is
// read, and that copy serves every one of its names: Input opens it, and
// ReadablePath gives it for the library, which opens files by name. With
// `everyStream` a stream named once is copied too. Standard input named
// twice is shared whatever it is; a plain file named twice is read twice:
// it reads the same both times.
void ShareRepeatedInputs(const std::vector<std::string>& names, bool everyStream = false);
// Copies the file `name` (nothing when empty) into `copy`, whose descriptor
// it takes and closes; false, with errno telling why, when that fails.
bool CopyInto(const std::string& name, Temporary& copy);
const std::string& ReadablePath(const std::string& name);

// A file to read in binary, or standard input for "-".
class Input {
  public:
    explicit Input(const std::string& name);
    // Reads an open file (not closed here) under a display name.
    Input(std::FILE* file, const std::string& display);
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    const std::string& Name() const { return m_display; }
    bool IsStdin() const { return m_stdin; }
    std::FILE* File() const { return m_file; }
    std::size_t Read(char* dest, std::size_t size);

  private:
    OwnedFile m_owned;  // the file opened by name
    std::FILE* m_file = nullptr;
    bool m_stdin = false;
    std::string m_display;
};

// A file to write, or standard output for "-": the one way vek writes a
// file. A symbolic link is followed to the file it names and stays a link.
// A plain file (or a name not yet taken) is written under a temporary name
// beside it, created exclusively, in large blocks; Commit then gives it the
// mode, owner, ACL and extended attributes of the file it replaces (after
// the last write, so that no write clears a set-user-ID bit or a file
// capability; one that cannot be carried over leaves the file as it was),
// syncs it, and renames it in place: a
// failed or interrupted run leaves the old file whole and no temporary
// behind. A device or pipe is written to as it is.
class Output {
  public:
    // Blocks for writers that hold little while they write much over a
    // long run (a tree's update), or write one file of a set after another.
    static constexpr std::size_t kSmallBuffer = 64 * 1024;
    explicit Output(const std::string& name, std::size_t buffer = kBufferSize);
    // Writes into `staged`, a temporary a FileSetCommit made for the file
    // `shown`: Commit then gives it the permission bits `mode` (where files
    // have them) and closes it; the set's commit syncs it with the others
    // and puts it in place.
    Output(const std::string& staged, const std::string& shown, unsigned mode);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    void Write(const char* bytes, std::size_t size) {
        if (size > m_capacity - m_used) {
            Flush(bytes, size);
            return;
        }
        std::memcpy(m_buffer.get() + m_used, bytes, size);
        m_used += size;
    }
    // Writes `text` followed by LF, or CR LF with `crlf`.
    void WriteLine(std::string_view text, bool crlf) {
        Write(text.data(), text.size());
        Write(crlf ? "\r\n" : "\n", crlf ? 2 : 1);
    }
    // Writes `size` bytes with every NUL byte among them turned into a LF.
    void WriteNulsAsLf(const char* bytes, std::size_t size);
    void Commit();

  private:
    static constexpr std::size_t kBufferSize = 1024 * 1024;
    // Writes what is held, then `bytes` (held instead when they are few).
    void Flush(const char* bytes, std::size_t size);
    void WriteOut(const char* bytes, std::size_t size);
    [[noreturn]] void WriteFailed(const char* what);

    std::size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    long long m_written = 0;
    int m_fd = -1;
    bool m_stdout = false;
    bool m_done = false;
    bool m_staged = false;
    unsigned m_mode = 0;  // for a staged temporary
    std::string m_name;   // as given
    std::string m_place;  // the file written: m_name with links followed
    Temporary m_temp;     // inactive for standard output, a device or a pipe
    std::vector<platform::Attribute> m_attributes;  // of the file replaced
};

// The bytes of a whole file, read into memory of its own with ordinary
// reads (never mapped: a file cut short while it is read then reads as the
// shorter file instead of faulting).
class FileBytes {
  public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { Release(); }

    // Everything `in` holds.
    static FileBytes Read(Input& in);
    // The first `size` bytes at `data`, read by other means.
    static FileBytes Adopt(std::unique_ptr<char[]> data, std::size_t size);

    const char* Data() const noexcept { return m_data; }
    std::size_t Size() const noexcept { return m_size; }
    // Leaves out everything from byte `size` on.
    void Truncate(std::size_t size) noexcept { m_size = std::min(size, m_size); }
    void Release() noexcept;

  private:
    const char* m_data = nullptr;
    std::size_t m_size = 0;
    std::unique_ptr<char[]> m_owned;
};

bool IsRegularFile(const std::string& name);
// Size of a file in bytes, -1 when it cannot be found.
long long FileSize(const std::string& name);

// Rewrites a file with every CR LF pair turned into LF.
void ConvertCrLfToLf(const std::string& name);
// The reason an append to the file fails now ("No space left on device"),
// empty when it succeeds; the file keeps its length either way.
std::string WriteProbe(const std::string& name);
// Appends `bytes` zero bytes to the file, up to the first write that fails:
// the reason it failed, empty when every byte was written.
std::string RoomProbe(const std::string& name, long long bytes);

// An output that is one of the inputs would be destroyed before (or while)
// it is read: refused before anything is written. For "-", standard output
// is compared with the inputs (by name here, and with every file Input has
// opened when the output is opened).
void RefuseOutputOverInput(const std::string& command, const std::string& output,
                           const std::vector<std::string>& inputs);

}  // namespace vekcli
