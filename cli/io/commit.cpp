#include "io/commit.h"

#include <cerrno>
#include <set>
#include <utility>

#include "report/trouble.h"
#include "system/platform.h"

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

std::string FileSetCommit::Undo() {
    std::string notBack;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        Entry& entry = *it;
        bool back = true;
        if (entry.aside == Aside::kLinked && !entry.placed)
            platform::RemoveFile(entry.asideName);  // the target was never touched
        else if (entry.aside != Aside::kNone)
            back = platform::Rename(entry.asideName, entry.place);
        else if (entry.placed)
            back = platform::RemoveFile(entry.place);  // a new file: gone again
        if (!back)
            notBack += (notBack.empty() ? "" : ", ") + entry.target +
                       (entry.existed ? " (its old contents are in " + entry.asideName + ")" : "");
        // A second name that holds the only old copy stays.
        ReleaseTemporaryName(std::exchange(entry.asideSlot, -1));
        entry.aside = Aside::kNone;
        entry.placed = false;
    }
    return notBack;
}

void FileSetCommit::Commit() {
    for (Entry& entry : m_entries)
        if (!entry.target.empty())
            Finish(entry);
    platform::HoldEndSignals();
    std::string failure;
    for (Entry& entry : m_entries) {
        if (entry.target.empty())
            continue;
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
                if (!platform::Rename(entry.place, entry.asideName)) {
                    failure = entry.target + ": cannot set the old file aside: " + SystemError();
                    break;
                }
                entry.aside = Aside::kMoved;
            }
        }
        if (!platform::Rename(entry.staged.Name(), entry.place)) {
            failure = entry.target + ": cannot put the new file in place: " + SystemError();
            break;
        }
        entry.staged.Keep();
        entry.placed = true;
    }
    if (failure.empty() && !platform::EndSignalHeld()) {
        std::set<std::string> folders;
        for (Entry& entry : m_entries) {
            if (entry.aside != Aside::kNone)
                platform::RemoveFile(entry.asideName);
            ReleaseTemporaryName(std::exchange(entry.asideSlot, -1));
            entry.aside = Aside::kNone;
            if (!entry.target.empty())
                folders.insert(FolderOf(entry.place).empty() ? "." : FolderOf(entry.place));
        }
        platform::ReleaseEndSignals();
        for (const std::string& folder : folders)
            platform::SyncFolder(folder);
        for (const Entry& entry : m_entries)
            if (entry.existed)
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
