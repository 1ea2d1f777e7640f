// A set of files replaced all or nothing, for unbundle: every target is
// checked before anything is written (a plain file or absent, each a file
// of its own however it is spelled, none of them an input), gets a
// temporary beside it for the new contents, and Commit puts them all in
// place or none: a failure, SIGINT, SIGTERM or SIGHUP puts every earlier
// target back. The old contents stay under a second name until every new
// file is in place, so that even after SIGKILL each target is whole, old or
// new, and the next run names what was left.
#pragma once

#include <string>
#include <vector>

#include "io/temps.h"

namespace vekcli {

class FileSetCommit {
  public:
    // `targets` may hold empty names (places left unused): they get nothing.
    // `inputs` are files the command reads, which no target may be.
    FileSetCommit(const std::string& command, const std::vector<std::string>& targets,
                  const std::vector<std::string>& inputs);
    FileSetCommit(const FileSetCommit&) = delete;
    FileSetCommit& operator=(const FileSetCommit&) = delete;

    // The temporary that receives target i's new contents; empty for an
    // unused place.
    const std::string& Staged(std::size_t i) const { return m_entries[i].staged.Name(); }
    const std::string& Target(std::size_t i) const { return m_entries[i].target; }

    // Gives every new file its mode, syncs it, and puts all in place.
    void Commit();

  private:
    // How the old file is kept while the set is committed: under a second
    // link, or renamed aside.
    enum class Aside { kNone, kLinked, kMoved };
    struct Entry {
        std::string target;  // as given
        std::string place;   // links followed
        bool existed = false;
        std::vector<platform::Attribute> attributes;  // of the old file, for the new one
        unsigned long long links = 0;                 // the old file's names
        Temporary staged;
        Aside aside = Aside::kNone;
        std::string asideName;
        int asideSlot = -1;  // registered for removal (a second link only)
        bool placed = false;
    };
    // Puts back every target changed so far; the names it could not put
    // back, for the message.
    std::string Undo();
    void Finish(Entry& entry);

    std::vector<Entry> m_entries;
};

}  // namespace vekcli
