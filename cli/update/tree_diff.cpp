// vek diff -r: both trees walked side by side, in byte order of their
// names, and every path that differs written as a record of the update.
#include <cstring>
#include <string>
#include <vector>

#include "io/files.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "scripts/diff_scripts.h"
#include "system/platform.h"
#include "system/tree_files.h"
#include "update/tree_commands.h"
#include "update/tree_walk.h"
#include "update/update_format.h"

namespace vekcli {

namespace {

using tree::EntryInfo;
using tree::Kind;
using update::Action;
using update::Body;
using update::Record;

std::string Join(const std::string& root, const std::string& rel) {
    return rel.empty() ? root : root + "/" + rel;
}

// How a changed file's new contents travel best: vek diff's script where
// applying it gives the new bytes exactly, else the bytes. The script is of
// the files read with LF line ends (every other byte is text, a CR
// included), or read in the CR LF form where every line of the new file
// ends in CR LF; a new file whose last line has no line feed is noted as
// such. A NUL byte, or more lines than a buffer holds, leaves the bytes.
struct TextForm {
    bool script = false;
    bool crlf = false;
    bool open = false;
};

TextForm FormOf(const FileBytes& oldBytes, const FileBytes& newBytes) {
    TextForm form;
    const TextScan was = ScanText(oldBytes.Data(), oldBytes.Size());
    const TextScan is = ScanText(newBytes.Data(), newBytes.Size());
    if (was.nulLine != 0 || is.nulLine != 0 || is.lines > kBufferLines)
        return form;
    form.script = true;
    form.open = is.unterminated;
    const long ended = is.lines - (is.unterminated ? 1 : 0);
    // The CR LF form drops a CR before a line's end and ends the data at a
    // byte 0x1A: only where neither loses a byte.
    form.crlf = is.crlfLines > 0 && is.crlfLines == ended &&
                !(form.open && newBytes.Data()[newBytes.Size() - 1] == '\r') && was.eofLine == 0 &&
                is.eofLine == 0;
    return form;
}

class TreeDiff {
  public:
    TreeDiff(const std::string& oldRoot, const std::string& newRoot, update::UpdateWriter& writer)
        : m_old(oldRoot), m_new(newRoot), m_writer(writer) {}

    void Trees() {
        update::TreeWalk walk(m_old, m_new);
        m_walk = &walk;
        Folder(walk.Next(), "");
    }

    long Records() const { return m_records; }

  private:
    // An entry of a folder of one of the trees: the folder held open, the
    // entry's name in it, and its path under the tree.
    struct Entry {
        const tree::OpenFolder& folder;
        const std::string& root;
        const std::string& name;
        std::string path;
        std::string Shown() const { return Join(root, path); }
    };

    void Folder(const std::shared_ptr<const update::FolderPair>& pair, const std::string& rel) {
        if (!pair || pair->path != rel)
            Fail("diff -r: " + Join(m_old, rel) + ": the walk of the trees lost its place");
        if (!pair->fault.empty())
            Fail(pair->fault);
        for (const update::PairEntry& entry : pair->entries) {
            if (!entry.fault.empty())
                Fail(entry.fault);
            const std::string path = rel.empty() ? entry.name : rel + "/" + entry.name;
            const Entry was{pair->olds, m_old, entry.name, path};
            const Entry is{pair->news, m_new, entry.name, path};
            if (entry.is.kind == Kind::kNone)
                Deleted(was, entry.was);
            else if (entry.was.kind == Kind::kNone)
                Added(is, entry.is);
            else if (!entry.same)
                Both(was, is, entry.was, entry.is);
        }
    }

    // The entries of a folder in one tree only, each as its listing names it.
    template <class EachEntry>
    void Inside(const Entry& entry, const std::string& root, EachEntry each) {
        tree::OpenFolder folder;
        update::OpenOrFail(entry.folder, entry.name, entry.Shown(), folder);
        std::vector<tree::Listed> entries;
        update::ListOrFail(folder, entry.Shown(), entries);
        for (const tree::Listed& listed : entries) {
            const Entry inside{folder, root, listed.name, entry.path + "/" + listed.name};
            each(inside, update::LookAt(folder, listed.name, inside.Shown(), listed.kind));
        }
    }
    std::string Target(const Entry& entry) {
        std::string target;
        if (!entry.folder.ReadLink(entry.name, target))
            Fail(entry.Shown() + ": cannot read the link: " + SystemError());
        return target;
    }
    // A file's bytes, and its mode into `info`.
    FileBytes Read(const Entry& entry, EntryInfo& info) {
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
        if (!entry.folder.ReadFile(entry.name, data, size, info.mode))
            Fail(entry.Shown() + ": cannot read: " + SystemError());
        return FileBytes::Adopt(std::move(data), size);
    }
    void Write(const Record& record) {
        m_writer.Add(record);
        ++m_records;
    }

    static Record Start(Action action, const std::string& path, Kind kind) {
        Record r;
        r.action = action;
        r.kind = kind;
        r.path = path;
        return r;
    }

    // A record whose body is a link's new target.
    void WriteLink(Record& r, const std::string& target) {
        r.newHash = Sha256Hex(target);
        r.body = Body::kLink;
        r.count = 1;
        Write(r);
        m_writer.Line(update::EscapeName(target));
    }

    void Deleted(const Entry& entry, EntryInfo info) {
        Record r = Start(Action::kDelete, entry.path, info.kind);
        if (info.kind == Kind::kLink) {
            r.oldHash = Sha256Hex(Target(entry));
        } else if (info.kind == Kind::kFile) {
            const FileBytes bytes = Read(entry, info);
            r.oldHash = Sha256Hex(std::string_view(bytes.Data(), bytes.Size()));
        }
        if (info.kind != Kind::kLink)
            r.oldMode = static_cast<int>(info.mode);
        Write(r);
        if (info.kind == Kind::kFolder)
            Inside(entry, m_old,
                   [this](const Entry& inside, EntryInfo kinded) { Deleted(inside, kinded); });
    }

    void Added(const Entry& entry, EntryInfo info) {
        Record r = Start(Action::kAdd, entry.path, info.kind);
        if (info.kind == Kind::kLink) {
            WriteLink(r, Target(entry));
            return;
        }
        if (info.kind == Kind::kFolder) {
            r.newMode = static_cast<int>(info.mode);
            Write(r);
            Inside(entry, m_new,
                   [this](const Entry& inside, EntryInfo kinded) { Added(inside, kinded); });
            return;
        }
        const FileBytes bytes = Read(entry, info);
        r.newMode = static_cast<int>(info.mode);
        r.newHash = Sha256Hex(std::string_view(bytes.Data(), bytes.Size()));
        r.body = Body::kUu;
        r.count = update::UpdateWriter::UuLines(bytes.Size());
        Write(r);
        m_writer.Uuencode(bytes.Data(), bytes.Size());
    }

    void Both(const Entry& was, const Entry& is, EntryInfo wasInfo, EntryInfo isInfo) {
        if (wasInfo.kind != isInfo.kind) {
            Deleted(was, wasInfo);
            Added(is, isInfo);
            return;
        }
        Record r;
        r.kind = wasInfo.kind;
        r.path = was.path;
        if (wasInfo.kind == Kind::kFolder) {
            if (wasInfo.mode != isInfo.mode) {
                r.action = Action::kMode;
                r.oldMode = static_cast<int>(wasInfo.mode);
                r.newMode = static_cast<int>(isInfo.mode);
                Write(r);
            }
            Folder(m_walk->Next(), was.path);
            return;
        }
        if (wasInfo.kind == Kind::kLink) {
            const std::string oldTarget = Target(was);
            const std::string newTarget = Target(is);
            if (oldTarget == newTarget)
                return;
            r.action = Action::kChange;
            r.oldHash = Sha256Hex(oldTarget);
            WriteLink(r, newTarget);
            return;
        }
        ChangedFile(was, is);
    }

    void ChangedFile(const Entry& wasEntry, const Entry& isEntry) {
        const std::string& path = wasEntry.path;
        const std::string oldName = wasEntry.Shown(), newName = isEntry.Shown();
        EntryInfo was, is;
        FileBytes oldBytes = Read(wasEntry, was);
        FileBytes newBytes = Read(isEntry, is);
        const bool same = oldBytes.Size() == newBytes.Size() &&
                          std::memcmp(oldBytes.Data(), newBytes.Data(), oldBytes.Size()) == 0;
        if (same && was.mode == is.mode)
            return;
        Record r;
        r.kind = Kind::kFile;
        r.path = path;
        r.oldMode = static_cast<int>(was.mode);
        r.newMode = static_cast<int>(is.mode);
        r.oldHash = Sha256Hex(std::string_view(oldBytes.Data(), oldBytes.Size()));
        if (same) {
            r.action = Action::kMode;
            r.newHash = r.oldHash;
            Write(r);
            return;
        }
        r.action = Action::kChange;
        r.newHash = Sha256Hex(std::string_view(newBytes.Data(), newBytes.Size()));
        const TextForm form = FormOf(oldBytes, newBytes);
        if (form.script) {
            const LineFile oldFile = LinesOf(oldName, std::move(oldBytes), form.crlf, true);
            const LineFile newFile = LinesOf(newName, std::move(newBytes), form.crlf, true);
            const ScriptOfFiles script = MakeScript(oldFile, newFile);
            std::size_t bytes = 0;
            for (const std::string_view line : script.lines)
                bytes += line.size() + 1;
            // Contents where they are shorter than the script.
            const std::size_t size = newFile.bytes.Size();
            if (bytes <= size / 45 * 62 + 62) {
                r.body = update::ScriptBody(form.crlf, form.open);
                r.count = static_cast<long long>(script.lines.size());
                Write(r);
                for (const std::string_view line : script.lines)
                    m_writer.Line(line);
                return;
            }
            r.body = Body::kUu;
            r.count = update::UpdateWriter::UuLines(size);
            Write(r);
            m_writer.Uuencode(newFile.bytes.Data(), size);
            return;
        }
        r.body = Body::kUu;
        r.count = update::UpdateWriter::UuLines(newBytes.Size());
        Write(r);
        m_writer.Uuencode(newBytes.Data(), newBytes.Size());
    }

    std::string m_old;
    std::string m_new;
    update::UpdateWriter& m_writer;
    update::TreeWalk* m_walk = nullptr;
    long m_records = 0;
};

// A tree given on the command line: a folder (a link to one is followed).
void RefuseNonFolder(const std::string& name) {
    platform::FileInfo info;
    if (!platform::Stat(name, info) || !info.directory)
        Fail("diff -r: " + name + ": " +
             (info.exists ? "is not a folder" : "cannot open: " + SystemError()) +
             "; give two folders");
}

// An update written into one of the trees would be read as part of it.
void RefuseOutputInTree(const std::string& output, const std::vector<std::string>& roots) {
    if (output == "-")
        return;
    std::string folder = FolderOf(platform::ResolveLink(output));
    folder = folder.empty() ? "." : folder;
    for (int up = 0; up < 256; ++up, folder += "/..") {
        for (const std::string& root : roots)
            if (platform::SameFile(folder, root))
                Fail("diff -r: the update " + output + " would be written inside the tree " + root +
                     "; write it elsewhere");
        if (platform::SameFile(folder, folder + "/.."))
            return;
    }
}

}  // namespace

int RunTreeDiff(const Options& o) {
    if (o.operands.size() != 2)
        Fail("diff: give OLD_DIR and NEW_DIR with -r; see 'vek diff --help'");
    if (o.crlf || o.windowed || o.edbuf)
        Fail(
            "diff -r: --crlf, --windowed and --edbuf are for single files; an update keeps "
            "each file's line ends as they are");
    const std::string& oldRoot = o.operands[0];
    const std::string& newRoot = o.operands[1];
    RefuseNonFolder(oldRoot);
    RefuseNonFolder(newRoot);
    const std::string outName = o.hasOutput ? o.output : "-";
    RefuseOutputInTree(outName, {oldRoot, newRoot});
    Output out(outName, Output::kSmallBuffer);
    update::UpdateWriter writer(out);
    TreeDiff walk(oldRoot, newRoot, writer);
    walk.Trees();
    writer.Finish();
    out.Commit();
    return walk.Records() == 0 ? 0 : 1;
}

}  // namespace vekcli
