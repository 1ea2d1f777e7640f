// Files by name: the one file class of the library and the text-mode streams
// used for plain buffer files. Two implementations exist, POSIX and Win32;
// CMake picks one. Every failure here is raised as vek::FileFailure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vek::platform {

enum class OpenMode {
    // Reading; the file must exist; nobody else may hold it meanwhile.
    kReadExclusive,
    // Reading; the file must exist; others may read and write it meanwhile.
    kReadShared,
    // Writing only; created if missing, truncated if present; nobody else may
    // hold it meanwhile.
    kWriteExclusive,
};

class File {
  public:
    File() noexcept = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    // Releases the handle if still open, without raising.
    virtual ~File();

    // Opens `name` (a byte string handed to the system as it is). A name that
    // is a directory cannot be opened.
    void Open(const char* name, OpenMode mode);
    // Creates a new file beside `path` (in its folder, under a name no file
    // has) and opens it for writing, nobody else holding it. Where `path`
    // exists the new file gets its permissions (POSIX). The new name goes to
    // `tempName`.
    void CreateBeside(const char* path, std::string& tempName);
    bool IsOpen() const noexcept;

    // Reads until `count` bytes are delivered or the file ends; returns the
    // number delivered (0 at the end).
    std::size_t Read(void* data, std::size_t count);
    // Writes all `count` bytes; a short write (full disk) is a failure.
    virtual void Write(const void* data, std::size_t count);
    // Commits the data written so far to storage (through Commit).
    virtual void Flush();
    // Releases the handle; nothing if not open. The object is not open
    // afterwards even when the close reports a failure.
    virtual void Close();

  protected:
    // The system's commit to storage: fdatasync, FlushFileBuffers.
    virtual void Commit();

  private:
    // Releases the handle without raising (destructor).
    void Release() noexcept;

    // A POSIX file descriptor or a Win32 HANDLE; kNoHandle when not open.
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t m_handle = kNoHandle;
};

// Replacing files whole: what stands at a name a file is to replace.
enum class TargetKind {
    kAbsent,   // nothing yet
    kRegular,  // a file that may be replaced
    kSpecial,  // a device or pipe: written in place, never replaced
    kRefused,  // a folder, a file held by someone else or not writable
};
// Looks at `name` the way an exclusive open for writing would, without
// creating or changing anything. `path` receives the name to replace: on
// POSIX, where `name` is a symbolic link, the file it leads to, so the link
// stays.
TargetKind InspectTarget(const char* name, std::string& path);
// Makes `backupName`, a new name beside `path`, hold the file now at `path`.
// On POSIX it is a second link and `path` stays; elsewhere the file moves.
void SetAside(const char* path, std::string& backupName);
// Renames `from` onto `to`, replacing what is there.
void RenameOnto(const char* from, const char* to);
// Removes the name `name`; a failure is dropped (nothing is left to tell).
void RemoveName(const char* name) noexcept;

// A text file written through the platform's text-mode output: every line
// feed reaches the file as carriage return, line feed. Opened for writing,
// created or truncated, without sharing.
class TextWriter {
  public:
    TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    // Closes without raising if still open.
    ~TextWriter();

    void Open(const char* name);
    void Write(const char* data, std::size_t count);
    // Writes what is held and closes; a failure is raised.
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A text file read through the platform's text-mode input: carriage return
// followed by line feed reads as a line feed, the byte 0x1A ends the data.
// Read in pieces: each ends after a line feed, after kMaxPiece bytes, or at
// the end of the data. Opened for reading without sharing.
class TextReader {
  public:
    static constexpr std::size_t kMaxPiece = 1022;

    TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader();

    void Open(const char* name);
    // Stores the next piece in `piece` (cut at its first NUL byte); false at
    // the end of the data.
    bool ReadPiece(std::string& piece);
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

#ifdef _WIN32
// `name` as the system's wide calls take it: converted from the code page
// of the narrow file calls, and, when the full name is longer than an
// ordinary Windows name may be (MAX_PATH), made absolute in the "\\?\"
// form, which has no such limit. Every file the library opens by name goes
// through it, so a long name works in every export alike. Names the
// system gives a meaning of its own (devices, "\\.\" and "\\?\" names)
// and short names pass unchanged.
std::wstring SystemName(const char* name);
#endif

}  // namespace vek::platform
