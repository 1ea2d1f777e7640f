// What vek asks of the system beyond standard C++: streams byte for byte,
// what a name is, files created, written, synced and renamed by descriptor,
// the signals that end a run, and a file mapped into memory. Every system
// call of vek goes through here. Two implementations exist,
// platform_posix.cpp and platform_win32.cpp; CMake picks one. What is the
// same on both, because the library's own file layer (src/platform) does
// it, is in library_files.cpp. The calls that touch a file report failure by their result,
// with SystemError() saying why; a failure that ends a command is raised
// by the caller as a Trouble.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace vekcli::platform {

// The file operations vek makes. In the fault-injection test build each
// one counts, and the one numbered by the environment variable VEK_FAULT_AT
// (from 1) fails with an I/O error; VEK_FAULT_COUNT=1 prints how many
// passed when vek ends; with VEK_FAULT_SIGNAL=N that operation raises
// signal N instead (and goes on), as if the user had pressed Ctrl+C there;
// VEK_FAULT_NO_LINKS=1 makes every hard link fail, as on a file system
// without them (FaultDue(kLink) is then always true).
// In every other build FaultDue is a constant false.
enum class FileOp { kOpen, kWrite, kSync, kRename, kClose, kStat, kLink };
#ifdef VEK_FAULT_INJECTION
bool FaultDue(FileOp op) noexcept;
#else
constexpr bool FaultDue(FileOp) noexcept {
    return false;
}
#endif

#ifdef _WIN32
// `name` as the wide calls take it: converted from the file calls' code
// page (UTF-8 for vek), and absolute in the "\\?\" form (no "." or ".."
// left, "\" between the parts) where its full name reaches MAX_PATH, as
// the library opens files, so that names of any length work alike.
// Empty when it cannot be converted, so that the call fails as for a
// missing file.
std::wstring WideName(const std::string& name);
// The same for a folder to be made, which Windows wants in the "\\?\"
// form once its full name leaves no room for a short name (12 characters)
// below MAX_PATH.
std::wstring WideFolderName(const std::string& name);
// `text` (a link's target) converted from that code page as it is, never
// made absolute; false (EILSEQ) when it is not valid there.
bool WideText(const std::string& text, std::wstring& wide);
// `count` UTF-16 units from the system (a listed name, a link's target) in
// that code page; false (EILSEQ) where they have no form there (a lone
// surrogate, or a character outside an ANSI code page), rather than one
// that names another entry.
bool NarrowText(const wchar_t* wide, std::size_t count, std::string& text);
#endif

// fopen, for names of any length.
std::FILE* OpenStream(const std::string& name, const char* mode);
// Positions a stream at byte `offset` from its start (beyond 2 GiB too);
// false when it cannot (a pipe).
bool Seek(std::FILE* stream, long long offset);
// The position of a stream, -1 when it has none (a pipe).
long long Tell(std::FILE* stream);

// Whether the system's text files end their lines with CR LF (Windows)
// rather than LF.
bool TextFilesEndInCrLf();

// Makes `stream` (standard input or output) carry bytes as they are: a
// line feed stays a line feed.
void SetBinary(std::FILE* stream);

// Standard input, output or error found closed when vek starts are opened
// on the null device, so that no file vek opens takes their place;
// StreamWasClosed(fd) tells which were (0, 1 or 2).
void GuardStandardStreams();
bool StreamWasClosed(int fd);

// What a name leads to (links followed).
struct FileInfo {
    bool exists = false;
    bool regular = false;
    bool directory = false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    unsigned long long links = 1;  // names the file has (hard links)
    bool Same(const FileInfo& other) const {
        return exists && other.exists && inode != 0 && device == other.device &&
               inode == other.inode;
    }
};
// false when the name cannot be looked up (SystemError says why): a missing
// file gives info.exists false, any other failure info.exists true (there
// may be a file that cannot be seen).
bool Stat(const std::string& name, FileInfo& info);
// The file behind an open descriptor (standard output: 1).
bool StatDescriptor(int fd, FileInfo& info);

// True when both names exist and are the same file (device and inode, or
// volume and file index on Windows), whatever the path.
bool SameFile(const std::string& a, const std::string& b);

// Whether `name` opens as the library opens a file it reads (exclusively:
// no other program may hold it open for writing or locked).
bool OpensAsLibraryDoes(const std::string& name);

// Where the folder part of `path` ends: the position of its last folder
// separator ('/', and on Windows also '\\'), npos when it has none.
std::size_t LastFolderSeparator(const std::string& path);
// The temporary folder when no variable names one ("/tmp/"; on Windows the
// current folder, "").
std::string DefaultTemporaryFolder();

// True when `name` is a symbolic link; never on Windows.
bool IsSymbolicLink(const std::string& name);
// The name a chain of symbolic links ends at (a file that need not exist
// yet); `name` itself for anything else.
std::string ResolveLink(const std::string& name);

// False when the process cannot replace the existing file `name` by
// renaming another over it: a sticky folder (as /tmp) lets only the file's
// or the folder's owner do that.
bool MayReplace(const std::string& name);

// False, with errno set, when the process may not write the existing file
// `name` (its permissions, or a read-only file system): vek then leaves it
// as it is rather than put a new file of its own in its place.
bool MayWrite(const std::string& name);

// A new file created exclusively (never an existing file, never through a
// link), readable and writable by its owner only: a descriptor, or -1.
int CreateExclusive(const std::string& name);
// An existing device or pipe opened for writing: a descriptor, or -1.
int OpenForWriting(const std::string& name);
// Writes all `size` bytes; false on failure.
bool WriteAll(int fd, const char* bytes, std::size_t size);
// What a replaced file keeps beyond its bytes, mode and owner: its ACL and
// every other extended attribute the process can read (security labels
// included), by name and value. None on Windows.
struct Attribute {
    std::string name;
    std::string value;
};
// The attributes of the file `name` (links followed); false when one
// cannot be read (`failed` names it, empty when the list itself cannot be
// read; SystemError says why). A file system without them gives none.
bool ReadAttributes(const std::string& name, std::vector<Attribute>& attributes,
                    std::string& failed);
// Gives the file open on `fd` the owner of `model` where the process may
// set it, then `attributes`, then the mode of `model` (in that order: a
// new owner clears the set-user-ID bits and file capabilities, and a new
// ACL changes the mode), and takes away an ACL the new file got from its
// folder that `attributes` do not hold. False when one cannot be set:
// `failed` names the attribute, empty for the mode. Nothing where files
// have no such mode.
bool CarryOver(int fd, const std::string& model, const std::vector<Attribute>& attributes,
               std::string& failed);
// Gives the file open on `fd` the mode a new file gets (0666 less umask).
bool SetNewFileMode(int fd);
// Gives the file open on `fd` the permission bits `mode` (07777), whatever
// the umask says. Nothing where files have no such mode.
bool SetMode(int fd, unsigned mode);
// Writes the file's data to the disk (fsync or _commit).
bool SyncDescriptor(int fd);
bool CloseDescriptor(int fd);
// Syncs a closed file by name.
bool SyncFile(const std::string& name);
// Syncs closed files by name: at once where the system can (Linux: each
// file system they are on, once), else one by one.
bool SyncFiles(const std::vector<std::string>& names);
// Syncs a folder, so that the renames in it last; failures are ignored.
void SyncFolder(const std::string& folder);
// The same for many folders: on Linux each file system they are on synced
// once, which also keeps every entry made or removed in the folders above.
void SyncFolders(const std::vector<std::string>& folders);
// Starts putting `size` bytes written at `offset` of the file `fd` on the
// disk and does not wait: the file's sync at the end then finds less to
// wait for. Nothing where the system has no such call.
void StartWriteback(int fd, long long offset, long long size);
// Renames `from` to `to`, replacing `to`.
bool Rename(const std::string& from, const std::string& to);
// A second name `to` for the file `from`; false where the file system
// has none (the caller falls back to a rename).
bool Link(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& name);
// Removes a folder that is empty.
bool RemoveEmptyFolder(const std::string& name);
// The names in a folder ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// This process, and whether another one still runs.
long ProcessId();
bool ProcessRuns(long id);

// SIGINT, SIGTERM and SIGHUP (Ctrl+C and Ctrl+Break on Windows) call
// `handler`, which must end the process.
void OnEndSignals(void (*handler)(int));
// Holds those signals back while a set of renames is made; Released, a
// held signal is delivered then. SignalHeld tells whether one came.
void HoldEndSignals();
void ReleaseEndSignals();
bool EndSignalHeld();
// Ends the process as `signal` would have without vek's handler.
[[noreturn]] void DieOfSignal(int signal);

// Asks the system to back the whole 2 MiB pages within [data, data + size)
// with large pages where it can, and to set up all its pages in one call:
// memory filled once and at once (a file read whole) then takes far fewer
// page faults. Nothing where the system does not offer it.
void AdviseLargePages(void* data, std::size_t size) noexcept;

}  // namespace vekcli::platform
