// What vek asks of the system for trees: entries looked at without
// following links, folders listed, made and removed, symbolic links read
// and made, modes set. Two implementations, tree_files_posix.cpp and
// tree_files_win32.cpp. Calls report failure by their result, with
// SystemError() saying why; each counts as a file operation for the
// fault-injection build (platform.h).
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vekcli::tree {

enum class Kind { kNone, kFile, kLink, kFolder, kOther };

struct EntryInfo {
    Kind kind = Kind::kNone;
    unsigned mode = 0;  // permission bits (07777)
    long long size = 0;
    unsigned long long links = 1;  // names of a file (hard links), where the system tells
};

// The entry `path` itself (a link is not followed); false when it cannot be
// looked up, kind kNone when it does not exist.
bool LookUp(const std::string& path, EntryInfo& info);
// An entry of a folder: its name, and its kind where the listing tells it
// (kNone where it does not: LookUp then).
struct Listed {
    std::string name;
    Kind kind = Kind::kNone;
    bool operator<(const Listed& other) const { return name < other.name; }
};
// The entries of a folder, sorted bytewise by name ("." and ".." left out).
bool ListFolder(const std::string& folder, std::vector<Listed>& entries);
// The file `path` read whole, never through a link: `bytes` (with room for
// one byte more), its size and its permission bits; false when it cannot be
// read or is not a plain file (errno EINVAL).
bool ReadFile(const std::string& path, std::unique_ptr<char[]>& bytes, std::size_t& size,
              unsigned& mode);
bool ReadLink(const std::string& path, std::string& target);
// Makes the link `path` to `target`, which is taken as it would be from
// `place`, where the link is then renamed to (Windows makes a link to a
// folder as a folder link).
bool MakeLink(const std::string& target, const std::string& path, const std::string& place);
bool MakeFolder(const std::string& path, unsigned mode);
bool RemoveFolder(const std::string& path);
// Removes a folder and everything in it (links are removed, not
// followed); false when something stays. Not a counted operation: it only
// clears away old copies once a change is complete.
bool RemoveTree(const std::string& path);
// Sets the permission bits of a file or folder (never through a link).
bool SetMode(const std::string& path, unsigned mode);
// What this system keeps of `mode` for an entry of `kind`: all of it, or on
// Windows the owner-write bit of a file (0644 or 0444), nothing of a
// folder's (0755). Modes are compared as kept.
unsigned KeptMode(Kind kind, unsigned mode);
// Whether the file `path` has a mode that stands in the way of renaming
// over it or removing it (Windows' read-only attribute); SetMode with the
// owner-write bit clears it.
bool ReadOnlyInTheWay(const std::string& path);
// Gives a new file put in place at `path` what of `mode` it could not take
// while staged (Windows' read-only attribute, which would stop its sync and
// its rename); nothing where SetMode went through its descriptor.
bool FinishPlaced(const std::string& path, unsigned mode);
// What an entry of kind kOther is, in words for a refusal.
std::string OtherKindWords(const std::string& path);
// What to do where MakeLink failed with `error` (errno) because the system
// makes no links, or not for this user; empty otherwise.
std::string LinkAdvice(int error);
// Reads a file whole through `read` (bytes read into the room given, 0 at
// the end, below 0 on failure), expecting `expected` bytes: a file read to
// that size is taken as whole, one that grows is read on.
template <class ReadSome>
bool ReadWhole(ReadSome read, std::size_t expected, std::unique_ptr<char[]>& bytes,
               std::size_t& size) {
    std::size_t room = expected + 1;
    bytes.reset(new char[room]);
    size = 0;
    for (;;) {
        const long long got = read(bytes.get() + size, room - size);
        if (got <= 0)
            return got == 0;
        size += static_cast<std::size_t>(got);
        if (size == expected && expected > 0)
            return true;
        if (size < room)
            continue;
        std::unique_ptr<char[]> larger(new char[room * 2]);
        std::copy(bytes.get(), bytes.get() + size, larger.get());
        bytes = std::move(larger);
        room *= 2;
    }
}

// Whether two files read through `readOne` and `readTwo` (as ReadWhole's
// `read`) give the same `size` bytes, compared through `room`, half of it
// for each.
template <class ReadOne, class ReadTwo>
bool SameBytes(ReadOne readOne, ReadTwo readTwo, long long size, std::vector<char>& room) {
    const std::size_t half = room.size() / 2;
    char* const mine = room.data();
    char* const theirs = mine + half;
    for (long long left = size; left > 0;) {
        const long long got =
            readOne(mine, static_cast<std::size_t>(std::min<long long>(left, half)));
        if (got <= 0 || readTwo(theirs, static_cast<std::size_t>(got)) != got ||
            std::memcmp(mine, theirs, static_cast<std::size_t>(got)) != 0)
            return false;
        left -= got;
    }
    return true;
}

// Why this system cannot take `path` (relative, '/' between names) as a
// name under a tree, where others can: on Windows a backslash or a colon;
// empty when it can.
std::string SystemPathFault(const std::string& path);

// A folder held open, so that the entries in it are reached from the
// folder itself rather than by walking its path again for each one (on
// Windows, where nothing is gained, it keeps the path). Calls report as the
// functions above do.
class OpenFolder {
  public:
    OpenFolder() = default;
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    // The folder `path`, a tree's root (a link to a folder is followed).
    bool Open(const std::string& path);
    // The folder `name` in `parent`, never through a link.
    bool Open(const OpenFolder& parent, const std::string& name);

    bool List(std::vector<Listed>& entries) const;
    bool LookUp(const std::string& name, EntryInfo& info) const;
    bool ReadFile(const std::string& name, std::unique_ptr<char[]>& bytes, std::size_t& size,
                  unsigned& mode) const;
    bool ReadLink(const std::string& name, std::string& target) const;

    // Whether the plain files `name` in `a` and `b` hold the same bytes
    // under the same permission bits, compared a block of `room`'s size at
    // a time; false where they differ, or where either cannot be read (the
    // caller then reads them itself and says why). Safe on several threads
    // at once, each with its own room, and not a counted operation.
    static bool SameFile(const OpenFolder& a, const OpenFolder& b, const std::string& name,
                         std::vector<char>& room);

  private:
    std::string Inside(const std::string& name) const { return m_path + "/" + name; }

    int m_handle = -1;
    std::string m_path;
};

}  // namespace vekcli::tree
