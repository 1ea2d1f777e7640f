// vek patch -r: an update applied to a tree all or nothing. The whole
// update is read and checked first, then the tree (every path the update
// touches must be as the update found it), then every new file is built
// beside its path and checked against its new hash, and only then is the
// tree changed, by one commit that undoes itself on a failure or signal.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/bundle_lines.h"
#include "io/commit.h"
#include "io/files.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "scripts/script_applier.h"
#include "system/platform.h"
#include "system/sha256.h"
#include "system/tree_files.h"
#include "update/tree_commands.h"
#include "update/update_format.h"

namespace vekcli {

namespace {

using tree::EntryInfo;
using tree::Kind;
using update::Action;
using update::Body;
using update::ModeText;
using update::Record;
using What = TreeStep::What;

// "a file (SHA-256 0123456789ab...)", as a mismatch shows what it found.
std::string Found(const EntryInfo& info, const std::string& hash) {
    switch (info.kind) {
        case Kind::kNone:
            return "nothing";
        case Kind::kFile:
            return "a file (SHA-256 " + hash.substr(0, 16) + "..., mode " +
                   ModeText(static_cast<int>(info.mode)) + ")";
        case Kind::kLink:
            return "a symbolic link (target SHA-256 " + hash.substr(0, 16) + "...)";
        case Kind::kFolder:
            return "a folder (mode " + ModeText(static_cast<int>(info.mode)) + ")";
        default:
            return "something that is neither a file, a folder nor a link";
    }
}

std::string Expected(const Record& r) {
    const bool add = r.action == Action::kAdd;
    const std::string& hash = r.oldHash;
    switch (r.kind) {
        case Kind::kFile:
            return add ? "nothing (the file is new)"
                       : "a file (SHA-256 " + hash.substr(0, 16) + "..." +
                             (r.action == Action::kMode ? ", mode " + ModeText(r.oldMode) : "") +
                             ")";
        case Kind::kLink:
            return add ? "nothing (the link is new)"
                       : "a symbolic link (target SHA-256 " + hash.substr(0, 16) + "...)";
        default:
            return add ? "nothing (the folder is new)"
                       : "a folder" + (r.action == Action::kMode
                                           ? " (mode " + ModeText(r.oldMode) + ")"
                                           : std::string());
    }
}

class TreePatch {
  public:
    TreePatch(const std::string& root, update::UpdateFile& update)
        : m_root(root), m_update(update) {
        const std::vector<Record>& records = update.Records();
        for (std::size_t i = 0; i < records.size(); ++i) {
            const Record& r = records[i];
            if (r.action == Action::kAdd && r.kind == Kind::kFolder)
                m_addedFolders.insert(r.path);
            if (r.action == Action::kAdd && m_deleted.count(r.path) != 0)
                m_replaced.insert(r.path);
            if (r.action == Action::kDelete) {
                m_deleted.insert(r.path);
                if (r.kind == Kind::kFolder)
                    m_deletedFolders.insert(r.path);
            }
        }
    }

    // Every path that does not match, with what was found; refuses (status
    // 2) a path that would pass through a symbolic link.
    std::vector<std::string> Check() {
        std::vector<std::string> mismatches;
        for (const Record& r : m_update.Records()) {
            const std::string fault = CheckFolders(r.path);
            if (!fault.empty()) {
                mismatches.push_back(fault);
                continue;
            }
            if (r.action == Action::kAdd && m_deleted.count(r.path) != 0)
                continue;  // the path's deletion is checked
            if (InReplacedFolder(r.path))
                continue;  // all new, in a folder that takes a file's or link's place
            EntryInfo info;
            const std::string name = Name(r.path);
            if (!tree::LookUp(name, info))
                Fail(name + ": cannot look it up: " + SystemError() + "; nothing was written");
            const std::string hash = HashOf(name, info);
            bool matches =
                info.kind == (r.action == Action::kAdd ? Kind::kNone : r.kind) && hash == r.oldHash;
            if (matches && r.action == Action::kMode)
                matches = tree::KeptMode(info.kind, info.mode) ==
                          tree::KeptMode(r.kind, static_cast<unsigned>(r.oldMode));
            if (matches && r.kind == Kind::kFile && r.action != Action::kMode)
                m_links[r.path] = info.links;
            if (!matches) {
                mismatches.push_back(Shown(r.path) + ": expected " + Expected(r) + ", found " +
                                     Found(info, hash));
                continue;
            }
            if (r.action == Action::kDelete && r.kind == Kind::kFolder) {
                // Nothing in it may be lost that the update does not remove.
                std::vector<tree::Listed> entries;
                if (!tree::ListFolder(name, entries))
                    Fail(name + ": cannot read the folder: " + SystemError() +
                         "; nothing was written");
                for (const tree::Listed& entry : entries)
                    if (m_deleted.count(r.path + "/" + entry.name) == 0)
                        mismatches.push_back(Shown(r.path + "/" + entry.name) +
                                             ": expected nothing (its folder is removed), found " +
                                             "an entry the update does not remove");
            }
        }
        return mismatches;
    }

    // What Apply would do, a line each.
    void List() const {
        for (const Record& r : m_update.Records()) {
            std::string line = std::string(update::ActionName(r.action)) + " " +
                               update::KindName(r.kind) + " " + update::EscapeName(r.path);
            if (r.action == Action::kMode)
                line += " " + ModeText(r.oldMode) + " -> " + ModeText(r.newMode);
            std::printf("%s\n", line.c_str());
        }
    }

    void Apply() {
        std::vector<TreeStep> steps;
        std::vector<const Record*> built;  // the record of each file step
        // Folders first, parents before children (the records' order); a
        // folder that takes the place of a file or link, and every folder in
        // it, only once that is set aside.
        std::set<std::string> later;
        for (const Record& r : m_update.Records()) {
            if (r.action != Action::kAdd || r.kind != Kind::kFolder)
                continue;
            if (Replaced(r.path) || !LaterRoot(later, r.path).empty())
                later.insert(r.path);
            else
                steps.push_back(Step(What::kMakeFolder, r));
        }
        // What gives way to another kind of the same name.
        for (const Record& r : m_update.Records())
            if (r.action == Action::kDelete && Replaced(r.path) &&
                (r.kind == Kind::kFolder || later.count(r.path) != 0))
                steps.push_back(
                    Step(r.kind == Kind::kFolder ? What::kRemoveFolder : What::kRemove, r));
        for (const Record& r : m_update.Records())
            if (r.action == Action::kAdd && r.kind == Kind::kFolder && later.count(r.path) != 0)
                steps.push_back(Step(What::kMakeFolderLater, r));
        const std::size_t firstBuilt = steps.size();
        for (const Record& r : m_update.Records()) {
            const bool content = r.action == Action::kChange ||
                                 (r.action == Action::kAdd && r.kind != Kind::kFolder);
            if (!content)
                continue;
            TreeStep step = Step(r.kind == Kind::kLink ? What::kLink : What::kFile, r);
            step.replaces = r.action == Action::kChange ||
                            (m_deleted.count(r.path) != 0 && m_deletedFolders.count(r.path) == 0);
            step.linkTarget = r.linkTarget;
            if (step.replaces && r.kind == Kind::kFile) {
                const auto links = m_links.find(r.path);
                step.links = links == m_links.end() ? 0 : links->second;
            }
            const std::string root = LaterRoot(later, r.path);
            if (!root.empty())
                step.stageBeside = Name(root);
            steps.push_back(step);
            built.push_back(&r);
        }
        for (const Record& r : m_update.Records()) {
            if (r.action == Action::kMode) {
                TreeStep step = Step(What::kSetMode, r);
                step.oldMode = static_cast<unsigned>(r.oldMode);
                steps.push_back(step);
            } else if (r.action == Action::kAdd && r.kind == Kind::kFolder) {
                TreeStep step = Step(What::kSetMode, r);
                step.oldMode = 0700;
                steps.push_back(step);
            }
        }
        // Deletions last: a folder whole, with what is in it.
        for (const Record& r : m_update.Records()) {
            if (r.action != Action::kDelete || Replaced(r.path) || InDeletedFolder(r.path))
                continue;
            steps.push_back(Step(r.kind == Kind::kFolder ? What::kRemoveFolder : What::kRemove, r));
        }

        FileSetCommit commit(steps);
        for (std::size_t i = 0; i < built.size(); ++i)
            Build(*built[i], commit.Staged(firstBuilt + i));
        commit.Commit();
    }

  private:
    std::string Name(const std::string& path) const { return m_root + "/" + path; }
    std::string Shown(const std::string& path) const {
        return m_root + "/" + update::EscapeName(path);
    }
    TreeStep Step(What what, const Record& r) const {
        TreeStep step;
        step.what = what;
        step.path = Name(r.path);
        step.mode = r.newMode == update::kNoMode ? 0 : static_cast<unsigned>(r.newMode);
        return step;
    }
    // Deleted and added again as another kind.
    bool Replaced(const std::string& path) const { return m_replaced.count(path) != 0; }
    bool IsReplacingFolder(const std::string& path) const {
        return m_replaced.count(path) != 0 && m_addedFolders.count(path) != 0;
    }
    bool InReplacedFolder(const std::string& path) const {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            if (IsReplacingFolder(path.substr(0, slash)))
                return true;
        return false;
    }
    // The outermost folder of `later` that holds `path`; empty when none.
    static std::string LaterRoot(const std::set<std::string>& later, const std::string& path) {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            if (later.count(path.substr(0, slash)) != 0)
                return path.substr(0, slash);
        return std::string();
    }
    bool InDeletedFolder(const std::string& path) const {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            if (m_deletedFolders.count(path.substr(0, slash)) != 0)
                return true;
        return false;
    }

    // The folders that lead to `path` must be folders (never links), or be
    // made by the update; a mismatch in words, or empty.
    std::string CheckFolders(const std::string& path) {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            const std::string folder = path.substr(0, slash);
            // A folder that takes the place of a file or link is made whole
            // by the update: nothing below it is looked at.
            if (IsReplacingFolder(folder))
                return std::string();
            auto known = m_folders.find(folder);
            if (known == m_folders.end()) {
                EntryInfo info;
                if (!tree::LookUp(Name(folder), info))
                    Fail(Name(folder) + ": cannot look it up: " + SystemError() +
                         "; nothing was written");
                known = m_folders.emplace(folder, info.kind).first;
            }
            const bool added = m_addedFolders.count(folder) != 0;
            if (known->second == Kind::kLink)
                Fail(Shown(path) + ": refused: the path passes through the symbolic link " +
                     Shown(folder) +
                     ", and an update never writes through a link (it could lead out of " + m_root +
                     "); nothing was written");
            if (!added && known->second != Kind::kFolder)
                return Shown(path) + ": expected a folder " + Shown(folder) + ", found " +
                       Found(EntryInfo{known->second, 0, 0}, std::string());
        }
        return std::string();
    }

    // The SHA-256 of a file's bytes or a link's target; empty for anything else.
    std::string HashOf(const std::string& name, const EntryInfo& info) {
        if (info.kind == Kind::kLink) {
            std::string target;
            if (!tree::ReadLink(name, target))
                Fail(name + ": cannot read the link: " + SystemError() + "; nothing was written");
            return Sha256Hex(target);
        }
        if (info.kind != Kind::kFile)
            return std::string();
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        unsigned mode = 0;
        if (!tree::ReadFile(name, bytes, size, mode))
            Fail(name + ": cannot read: " + SystemError() + "; nothing was written");
        Sha256 hash;
        hash.Update(bytes.get(), size);
        return hash.HexDigest();
    }

    // Writes a file's new contents into its temporary and checks their hash.
    void Build(const Record& r, const std::string& staged) {
        const std::string name = Name(r.path);
        if (r.kind == Kind::kLink)
            return;  // made whole by the commit; its target came with the update
        const std::string_view body = m_update.BodyBytes(r);
        LineReader bodyLines(body.data(), body.size(), false, m_update.Name());
        Output out(staged, name, static_cast<unsigned>(r.newMode));
        Sha256 hash;
        if (r.body == Body::kUu) {
            unsigned char decoded[vek::bundle::kMaxDecodedBytes];
            const char* bytes = reinterpret_cast<const char*>(decoded);
            std::string_view line;
            while (bodyLines.Next(line)) {
                bool cutShort = false;
                const std::size_t n = vek::bundle::DecodeDataLine(line, decoded, cutShort);
                hash.Update(bytes, n);
                out.Write(bytes, n);
            }
        } else {
            const bool crlf = update::IsCrLf(r.body);
            std::unique_ptr<char[]> bytes;
            std::size_t size = 0;
            unsigned mode = 0;
            if (!tree::ReadFile(name, bytes, size, mode))
                Fail(name + ": cannot read: " + SystemError() + "; nothing was changed");
            const LineFile old =
                LinesOf(name, FileBytes::Adopt(std::move(bytes), size), crlf, true);
            std::vector<std::string_view> lines;
            bodyLines.ReadAll(lines);
            EdScript script;
            ScriptRefusal refusal;
            if (!script.Read(lines, refusal) ||
                !script.FitsFile(static_cast<long long>(old.lines.size()), refusal))
                Fail(Shown(r.path) + ": the update's edit script does not fit the file (line " +
                     std::to_string(refusal.line) + " of its script: " + refusal.reason +
                     "); nothing was changed");
            // Each line's end is written before the next line, so that the
            // last one can be left open.
            struct Sink {
                const std::vector<std::string_view>& from;
                std::size_t at;
                Output& out;
                Sha256& hash;
                std::string_view eol;
                bool first = true;
                void Put(std::string_view bytes) {
                    out.Write(bytes.data(), bytes.size());
                    hash.Update(bytes);
                }
                void Insert(std::string_view text) {
                    if (!first)
                        Put(eol);
                    first = false;
                    Put(text);
                }
                void Copy(long long count) {
                    const std::size_t end =
                        count < 0 ? from.size() : at + static_cast<std::size_t>(count);
                    for (; at < end && at < from.size(); ++at)
                        Insert(from[at]);
                }
                void Skip(long long count) { at += static_cast<std::size_t>(count); }
            } sink{old.lines, 0, out, hash, crlf ? "\r\n" : "\n"};
            ApplyScript(script, sink);
            if (!sink.first && !update::IsOpen(r.body))
                sink.Put(sink.eol);
        }
        const std::string made = hash.HexDigest();
        if (made != r.newHash)
            Fail(Shown(r.path) + ": the new file built from the update has SHA-256 " +
                 made.substr(0, 16) + "..., not the " + r.newHash.substr(0, 16) +
                 "... the update names (the file changed while it was read?); nothing was "
                 "changed");
        out.Commit();
    }

    std::string m_root;
    update::UpdateFile& m_update;
    std::set<std::string> m_addedFolders;
    std::set<std::string> m_deleted;
    std::set<std::string> m_deletedFolders;
    std::set<std::string> m_replaced;
    std::map<std::string, Kind> m_folders;
    std::map<std::string, unsigned long long> m_links;  // of the files changed or deleted
};

}  // namespace

int RunTreePatch(const Options& o) {
    if (o.operands.size() != 2)
        Fail("patch: give DIR and UPDATE with -r; see 'vek patch --help'");
    if (o.crlf || o.hasOutput)
        Fail(
            "patch -r: --crlf and -o are for single files; an update keeps each file's line "
            "ends, and changes DIR in place");
    const std::string& root = o.operands[0];
    const std::string& updateName = o.operands[1];
    platform::FileInfo info;
    if (!platform::Stat(root, info) || !info.directory)
        Fail("patch -r: " + root + ": " +
             (info.exists ? "is not a folder" : "cannot open: " + SystemError()) +
             "; give the folder to patch");
    update::UpdateFile update(updateName);
    TreePatch patch(root, update);
    const std::vector<std::string> mismatches = patch.Check();
    if (!mismatches.empty()) {
        for (const std::string& mismatch : mismatches)
            ReportTrouble(mismatch);
        Fail(root + ": " + std::to_string(mismatches.size()) + " path" +
                 (mismatches.size() == 1 ? " does" : "s do") +
                 " not match the update: the tree is not the one it was made from (or it was "
                 "applied already); nothing was written",
             1);
    }
    if (o.dryRun) {
        patch.List();
        return 0;
    }
    patch.Apply();
    return 0;
}

}  // namespace vekcli
