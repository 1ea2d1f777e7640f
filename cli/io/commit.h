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

// One step of a tree's change. Paths are taken as they are, never followed
// through a link (the caller refuses paths that pass through one).
struct TreeStep {
    // kMakeFolderLater: a folder that takes the place of a file or link set
    // aside by an earlier step, so made only in Commit.
    enum class What {
        kFile,
        kLink,
        kMakeFolder,
        kMakeFolderLater,
        kSetMode,
        kRemove,
        kRemoveFolder
    };
    What what = What::kFile;
    std::string path;
    bool replaces = false;         // kFile, kLink: something is at the path now
    unsigned mode = 0;             // kFile, kSetMode: the new bits
    unsigned oldMode = 0;          // kSetMode: the bits it has now (0700 for a folder made)
    std::string linkTarget;        // kLink
    unsigned long long links = 0;  // kFile: the names of the file replaced (hard links)
    // kFile, kLink in a folder made later: the temporary goes beside this
    // path (in a folder that is there) and is renamed into the new folder.
    std::string stageBeside;
};

class FileSetCommit {
  public:
    // `targets` may hold empty names (places left unused): they get nothing.
    // `inputs` are files the command reads, which no target may be.
    FileSetCommit(const std::string& command, const std::vector<std::string>& targets,
                  const std::vector<std::string>& inputs);
    // A tree changed all or nothing. Folders to make are made at once,
    // parents first (removed again unless Commit succeeds), with no access
    // but the owner's until a kSetMode step gives them theirs; a file gets a
    // temporary beside its path, which the caller writes through an Output
    // made on Staged(i) (i: the step's place in `steps`); a link is made
    // beside its path. Commit takes the
    // steps in order: a file or link goes in place (the old one kept aside as
    // for a set), a file or folder gets its mode, a file or folder to remove is
    // renamed aside; a failure or signal undoes every step before it, and
    // the old copies are removed only once every step is done.
    explicit FileSetCommit(const std::vector<TreeStep>& steps);
    ~FileSetCommit();
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
        TreeStep::What what = TreeStep::What::kFile;
        bool tree = false;     // a step of a tree: finished by its writer
        unsigned mode = 0;     // kSetMode
        unsigned oldMode = 0;  // kSetMode
        std::string target;    // as given
        std::string place;     // links followed
        bool existed = false;
        std::vector<platform::Attribute> attributes;  // of the old file, for the new one
        unsigned long long links = 0;                 // the old file's names
        Temporary staged;
        Aside aside = Aside::kNone;
        std::string asideName;
        int asideSlot = -1;  // registered for removal (a second link only)
        bool placed = false;
        bool wasReadOnly = false;  // its read-only attribute cleared to replace it
    };
    // Puts back every target changed so far; the names it could not put
    // back, for the message.
    std::string Undo();
    void Finish(Entry& entry);
    // The tree's folders made and temporaries beside each path.
    void Stage(const std::vector<TreeStep>& steps);
    // Removes the temporaries and the folders made, unless committed.
    void Discard() noexcept;
    // One step of Commit; the failure in words, empty when it was done.
    std::string Step(Entry& entry);
    // The old copies, once every step is done.
    void RemoveAsides();

    std::vector<Entry> m_entries;
    std::vector<std::pair<std::string, int>> m_madeFolders;  // and their slots
    bool m_committed = false;
};

}  // namespace vekcli
