#include "io/commit.h"

#include <cerrno>
#include <set>
#include <utility>

#include "report/trouble.h"
#include "system/platform.h"
#include "system/tree_files.h"

namespace vekcli {

namespace {

// What a target is, for telling two names of one file apart: an existing
// file by its identity, a new one by its folder's identity and its name.
struct Identity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    std::string name;  // of a file yet to be made
    bool operator==(const Identity& o) const {
        return device == o.device && inode == o.inode && name == o.name;
    }
};

std::string BaseName(const std::string& place) {
    return place.substr(FolderOf(place).size());
}

}  // namespace

FileSetCommit::FileSetCommit(const std::string& command, const std::vector<std::string>& targets,
                             const std::vector<std::string>& inputs) {
    std::vector<Identity> seen(targets.size());
    std::vector<platform::FileInfo> inputInfo(inputs.size());
    for (std::size_t k = 0; k < inputs.size(); ++k)
        if (inputs[k] != "-")
            platform::Stat(inputs[k], inputInfo[k]);
    m_entries.resize(targets.size());
    // Every target is checked before any temporary is made.
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Entry& entry = m_entries[i];
        entry.target = targets[i];
        if (entry.target.empty())
            continue;
        entry.place = platform::ResolveLink(entry.target);
        platform::FileInfo info;
        if (!platform::Stat(entry.place, info) && info.exists)
            Fail(entry.target + ": cannot look it up: " + SystemError() + "; nothing was written");
        Identity& id = seen[i];
        if (info.exists) {
            if (!info.regular)
                Fail(command + ": " + entry.target +
                     (info.directory ? " is a folder" : " is not a plain file (a device or pipe)") +
                     "; name a plain file, or one not there yet; nothing was written");
            entry.attributes = CheckReplaceable(command + ": " + entry.target, entry.place);
            entry.existed = true;
            entry.links = info.links;
            id.device = info.device;
            id.inode = info.inode;
            for (std::size_t k = 0; k < inputs.size(); ++k)
                if (inputInfo[k].Same(info))
                    Fail(command + ": the output " + entry.target + " is the input " + inputs[k] +
                         " (the same file); nothing was written");
        } else {
            const std::string folder = FolderOf(entry.place);
            platform::FileInfo where;
            if (!platform::Stat(folder.empty() ? "." : folder, where) || !where.directory)
                Fail(entry.target + ": cannot create it: the folder " +
                     (folder.empty() ? "." : folder) + " " +
                     (where.exists ? "is not a folder" : "does not exist (" + SystemError() + ")") +
                     "; nothing was written");
            id.device = where.device;
            id.inode = where.inode;
            id.name = BaseName(entry.place);
        }
        for (std::size_t j = 0; j < i; ++j)
            if (!targets[j].empty() && seen[j] == id)
                Fail(command + ": " + targets[j] + " and " + targets[i] +
                     " name the same file (places " + std::to_string(j + 1) + " and " +
                     std::to_string(i + 1) + "); give each file its own name; nothing was written");
    }
    for (Entry& entry : m_entries) {
        if (entry.target.empty())
            continue;
        entry.staged = Temporary(entry.place, entry.target);
        if (!platform::CloseDescriptor(entry.staged.TakeDescriptor()))
            Fail(entry.target + ": cannot create a temporary file beside it: " + SystemError() +
                 "; nothing was written");
    }
}

void FileSetCommit::Finish(Entry& entry) {
    // The mode after the library's last write, so that no write clears a
    // set-user-ID bit; then the data to the disk.
    const int fd = platform::OpenForWriting(entry.staged.Name());
    bool ok = fd >= 0;
    std::string failed;
    if (ok)
        ok = (entry.existed ? platform::CarryOver(fd, entry.place, entry.attributes, failed)
                            : platform::SetNewFileMode(fd));
    if (!ok && !failed.empty()) {
        const int error = errno;
        platform::CloseDescriptor(fd);
        errno = error;
        FailToCarryOver(entry.target, failed, "nothing was changed");
    }
    if (ok)
        ok = platform::SyncDescriptor(fd);
    const int error = errno;
    if (fd >= 0 && !platform::CloseDescriptor(fd) && ok)
        ok = false;
    else
        errno = error;
    if (!ok)
        Fail(entry.target + ": cannot write the new file to the disk: " + SystemError() +
             "; nothing was changed");
}

FileSetCommit::FileSetCommit(const std::vector<TreeStep>& steps) {
    try {
        Stage(steps);
    } catch (...) {
        // No destructor runs for a set that was never made.
        Discard();
        throw;
    }
}

void FileSetCommit::Stage(const std::vector<TreeStep>& steps) {
    using What = TreeStep::What;
    m_entries.reserve(steps.size());
    for (const TreeStep& step : steps) {
        if (step.what == What::kMakeFolder) {
            const int slot = RegisterTemporaryName(step.path);
            if (!tree::MakeFolder(step.path, 0700)) {
                ReleaseTemporaryName(slot);
                Fail(step.path + ": cannot make the folder: " + SystemError() +
                     "; nothing was changed");
            }
            m_madeFolders.emplace_back(step.path, slot);
            m_entries.emplace_back();  // a place left unused: Staged(i) stays step i's
            continue;
        }
        m_entries.emplace_back();
        Entry& entry = m_entries.back();
        entry.tree = true;
        entry.what = step.what;
        entry.target = step.path;
        entry.place = step.path;
        entry.mode = step.mode;
        entry.oldMode = step.oldMode;
        entry.existed = step.replaces;
        entry.links = step.links;
        if (step.what != What::kFile && step.what != What::kLink)
            continue;
        entry.staged =
            Temporary(step.stageBeside.empty() ? entry.place : step.stageBeside, entry.target);
        const bool closed = platform::CloseDescriptor(entry.staged.TakeDescriptor());
        const bool made = step.what == What::kFile ||
                          (platform::RemoveFile(entry.staged.Name()) &&
                           tree::MakeLink(step.linkTarget, entry.staged.Name(), step.path));
        if (!closed || !made) {
            const std::string advice = step.what == What::kLink ? tree::LinkAdvice(errno) : "";
            Fail(entry.target + ": cannot create a temporary " +
                 (step.what == What::kLink ? "link" : "file") + " beside it: " + SystemError() +
                 (advice.empty() ? "" : " (" + advice + ")") + "; nothing was changed");
        }
    }
}

FileSetCommit::~FileSetCommit() {
    Discard();
}

void FileSetCommit::Discard() noexcept {
    if (m_committed)
        return;
    m_committed = true;
    // The temporaries in the folders go first.
    for (Entry& entry : m_entries)
        entry.staged.Remove();
    for (auto it = m_madeFolders.rbegin(); it != m_madeFolders.rend(); ++it) {
        platform::RemoveEmptyFolder(it->first);
        ReleaseTemporaryName(it->second);
    }
}

std::string FileSetCommit::Undo() {
    using What = TreeStep::What;
    std::string notBack;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        Entry& entry = *it;
        bool back = true;
        if (entry.what == What::kSetMode) {
            if (entry.placed)
                back = tree::SetMode(entry.place, entry.oldMode);
        } else if (entry.what == What::kMakeFolderLater) {
            if (entry.placed)
                back = platform::RemoveEmptyFolder(entry.place);
        } else if (entry.aside == Aside::kLinked && !entry.placed) {
            platform::RemoveFile(entry.asideName);  // the target was never touched
        } else if (entry.aside != Aside::kNone) {
            // A new file made read-only would refuse the old one's return.
            if (entry.placed && tree::ReadOnlyInTheWay(entry.place))
                tree::SetMode(entry.place, 0644);
            back = platform::Rename(entry.asideName, entry.place);
        } else if (entry.placed) {
            back = platform::RemoveFile(entry.place);  // a new file: gone again
        }
        if (back && entry.wasReadOnly)
            back = tree::SetMode(entry.place, 0444);
        if (!back)
            notBack +=
                (notBack.empty() ? "" : ", ") + entry.target +
                (entry.aside != Aside::kNone ? " (its old contents are in " + entry.asideName + ")"
                                             : "");
        // A second name that holds the only old copy stays.
        ReleaseTemporaryName(std::exchange(entry.asideSlot, -1));
        entry.aside = Aside::kNone;
        entry.placed = false;
        entry.wasReadOnly = false;
    }
    return notBack;
}

std::string FileSetCommit::Step(Entry& entry) {
    using What = TreeStep::What;
    if (entry.what == What::kSetMode) {
        if (!tree::SetMode(entry.place, entry.mode))
            return entry.target + ": cannot give it its mode: " + SystemError();
        entry.placed = true;
        return std::string();
    }
    if (entry.what == What::kMakeFolderLater) {
        if (!tree::MakeFolder(entry.place, 0700))
            return entry.target + ": cannot make the folder: " + SystemError();
        entry.placed = true;
        return std::string();
    }
    if (entry.what == What::kRemove || entry.what == What::kRemoveFolder) {
        // Renamed aside: the only copy until every step is done, so its
        // name is not registered for removal.
        entry.asideName = FreshNameBeside(entry.place, ".old");
        if (!platform::Rename(entry.place, entry.asideName))
            return entry.target + ": cannot remove it: " + SystemError();
        entry.aside = Aside::kMoved;
        return std::string();
    }
    if (entry.existed && tree::ReadOnlyInTheWay(entry.place)) {
        // Given back by Undo; the old file goes once every step is done.
        if (!tree::SetMode(entry.place, 0644))
            return entry.target + ": cannot clear its read-only attribute: " + SystemError();
        entry.wasReadOnly = true;
    }
    if (entry.existed) {
        // A second link keeps the target whole throughout, and may go on
        // a signal; where the file system has none, the old file is
        // renamed aside for a moment, and that name, its only copy, is
        // not registered for removal.
        entry.asideName = FreshNameBeside(entry.place, ".old");
        entry.asideSlot = RegisterTemporaryName(entry.asideName);
        if (platform::Link(entry.place, entry.asideName)) {
            entry.aside = Aside::kLinked;
        } else {
            ReleaseTemporaryName(std::exchange(entry.asideSlot, -1));
            if (!platform::Rename(entry.place, entry.asideName))
                return entry.target + ": cannot set the old file aside: " + SystemError();
            entry.aside = Aside::kMoved;
        }
    }
    if (!platform::Rename(entry.staged.Name(), entry.place))
        return entry.target + ": cannot put the new file in place: " + SystemError();
    entry.staged.Keep();
    entry.placed = true;
    if (entry.tree && entry.what == What::kFile && !tree::FinishPlaced(entry.place, entry.mode))
        return entry.target + ": cannot give it its mode: " + SystemError();
    return std::string();
}

void FileSetCommit::RemoveAsides() {
    std::set<std::string> folders;
    bool ofTree = false;
    for (Entry& entry : m_entries) {
        ofTree = ofTree || entry.tree;
        // The old file's other names, if any, keep it read-only.
        if (entry.wasReadOnly && entry.aside != Aside::kNone)
            tree::SetMode(entry.asideName, 0444);
        if (entry.aside != Aside::kNone &&
            !(entry.what == TreeStep::What::kRemoveFolder ? tree::RemoveTree(entry.asideName)
                                                          : platform::RemoveFile(entry.asideName)))
            Warn(entry.asideName + ": cannot remove this old copy of " + entry.target + ": " +
                 SystemError() + "; every file is new: remove it by hand");
        ReleaseTemporaryName(std::exchange(entry.asideSlot, -1));
        entry.aside = Aside::kNone;
        if (!entry.target.empty())
            folders.insert(FolderOf(entry.place).empty() ? "." : FolderOf(entry.place));
    }
    for (const auto& made : m_madeFolders)
        ReleaseTemporaryName(made.second);
    m_committed = true;
    platform::ReleaseEndSignals();
    // A tree's folders (and the entries of the folders it made) at once; a
    // set's few folders each, without waiting for the rest of the disk.
    if (ofTree) {
        platform::SyncFolders(std::vector<std::string>(folders.begin(), folders.end()));
        return;
    }
    for (const std::string& folder : folders)
        platform::SyncFolder(folder);
}

void FileSetCommit::Commit() {
    std::vector<std::string> written;  // a tree's new files, synced at once
    for (Entry& entry : m_entries) {
        if (!entry.target.empty() && !entry.tree)
            Finish(entry);
        if (entry.tree && entry.what == TreeStep::What::kFile)
            written.push_back(entry.staged.Name());
    }
    if (!platform::SyncFiles(written))
        Fail(written.front() + ": cannot write the new files to the disk: " + SystemError() +
             "; nothing was changed");
    platform::HoldEndSignals();
    std::string failure;
    for (Entry& entry : m_entries) {
        if (entry.target.empty())
            continue;
        failure = Step(entry);
        if (!failure.empty())
            break;
    }
    if (failure.empty() && !platform::EndSignalHeld()) {
        RemoveAsides();
        for (const Entry& entry : m_entries)
            if (entry.existed && entry.what == TreeStep::What::kFile)
                WarnAboutOtherNames(entry.target, entry.links);
        return;
    }
    const std::string notBack = Undo();
    // A held signal ends the run here, its temporaries removed.
    platform::ReleaseEndSignals();
    if (notBack.empty())
        Fail(failure + "; nothing was changed: every file is as it was");
    Fail(failure + "; the files before it could not all be put back: " + notBack);
}

}  // namespace vekcli
