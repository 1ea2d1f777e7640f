// What vek asks of the system beyond standard C++: streams byte for byte,
// what a name is, a new copy of a file given its mode, written to the disk
// and put in its place, and a file mapped into memory. Two
// implementations exist, platform_posix.cpp and platform_win32.cpp; CMake
// picks one. A failure that ends a command is raised as a Trouble.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace vekcli::platform {

// Makes `stream` (standard input or output) carry bytes as they are: a
// line feed stays a line feed.
void SetBinary(std::FILE* stream);

// True when both names exist and are the same file (device and inode, or
// volume and file index on Windows), whatever the path.
bool SameFile(const std::string& a, const std::string& b);

// True when `name` is a symbolic link that vek keeps in place (writing to
// the file it points to); never on Windows, where a name is taken as the
// file it leads to.
bool IsSymbolicLink(const std::string& name);
// The file a symbolic link points to; `name` itself for anything else.
std::string ResolveLink(const std::string& name);

// Gives the file `copy` (a new copy of `target`) the mode of `target`, and
// its owner where the process may set it; nothing when `target` does not
// exist, nor where files have no such mode.
void KeepModeOf(const std::string& target, const std::string& copy);

// Opens a closed file for Sync: a descriptor to close, or -1 when it cannot
// be opened (SystemError says why).
int OpenToSync(const std::string& name);
// Writes the file's data to the disk (fsync or _commit); false when that
// fails (SystemError says why).
bool Sync(int fd);

// Puts a file's temporary copy in place of the file; a failure removes the
// copy.
void MoveIntoPlace(const std::string& temp, const std::string& name);

// Asks the system to back the whole 2 MiB pages within [data, data + size)
// with large pages where it can: memory filled once and at once (a file
// read whole) then takes far fewer page faults. Nothing where the system
// does not offer it.
void AdviseLargePages(void* data, std::size_t size) noexcept;

}  // namespace vekcli::platform
