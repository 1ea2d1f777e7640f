// The file sets of bundle, unbundle, crc and type: names checked and
// listed as the library takes them, the files staged so that vek and the
// library read the same bytes, and the library's file-list exports called
// and their failures explained.
#include "commands/file_set.h"

#include <cerrno>
#include <cstdio>

#include "io/files.h"
#include "io/temps.h"
#include "io/utf16.h"
#include "lines/buffers.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "system/platform.h"
#include "vekwin32.h"

namespace vekcli {

// Names of a file set, checked, and the comma-separated list the library
// takes. CheckType skips one-character names, so those get a "./" in front.
// Empty names stand only for the unused places before a tenth file.
std::string FileList(const std::vector<std::string>& names, bool mustExist) {
    if (names.empty())
        Fail("no files named; name one to ten files");
    if (names.size() > kMaxSetFiles)
        Fail("more than ten files named (" + std::to_string(names.size()) +
             "); a bundle holds at most ten: split the set");
    const bool full = names.size() == kMaxSetFiles && !names[kBinaryPlace].empty();
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (i > 0)
            list += ',';
        if (name.empty() && full && i < kBinaryPlace)
            continue;
        if (name.empty())
            Fail("an empty name cannot name a file of a set (place " + std::to_string(i + 1) +
                 "); name a real file");
        if (name == "-")
            Fail("'-' cannot name a file of a set; name a real file");
        if (name.find(',') != std::string::npos)
            Fail(name +
                 ": the name holds a comma, which a file list cannot carry; rename the file");
        if (mustExist && !IsRegularFile(name))
            Input probe(name);  // throws with the reason
        if (name.size() == 1)
            list += "./";
        list += name;
    }
    return list;
}

// The names of a set as given, with --tenth FILE put in the tenth place.
std::vector<std::string> SetNames(const Options& o, std::vector<std::string> names) {
    if (!o.hasTenth)
        return names;
    if (names.size() > kBinaryPlace)
        Fail("with --tenth, name at most nine other files");
    if (o.type == 'B')
        Fail("--tenth is for text sets (-t): in a binary set every file is binary already");
    names.resize(kBinaryPlace);
    names.push_back(o.tenth);
    return names;
}

SetInputs::SetInputs(const std::vector<std::string>& names) : m_names(names) {
    FileList(names, false);  // every name checked; each opened below
    m_paths = names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) {
            m_paths[i] = Copy("", "an unused place");
            continue;
        }
        // Opened by vek first: a file this user cannot read is named here,
        // not taken by the library as an empty section. A pipe is opened
        // once only, to be copied.
        platform::FileInfo info;
        if (platform::Stat(names[i], info) && info.regular)
            Input probe(names[i]);
        else
            m_paths[i] = Copy(names[i], names[i]);
    }
}

std::string SetInputs::List() const {
    std::string list;
    for (std::size_t i = 0; i < m_paths.size(); ++i)
        list += (i > 0 ? "," : "") + (m_paths[i].size() == 1 ? "./" + m_paths[i] : m_paths[i]);
    return list;
}

void SetInputs::CheckStatus(const char* status) const {
    std::vector<std::string> entries(1);
    for (const char* p = status; *p != '\0'; ++p) {
        if (*p == ',')
            entries.emplace_back();
        else
            entries.back().push_back(*p);
    }
    if (entries.size() != m_names.size())
        Fail("LoadFiles handled " + std::to_string(entries.size()) + " of the " +
             std::to_string(m_names.size()) + " files named (status '" + status +
             "'); nothing was written");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        platform::FileInfo info;
        if (entries[i] == "E" && platform::Stat(m_paths[i], info) && info.size > 0)
            Fail(m_names[i] +
                 ": the library could not open it (another program may hold it open or "
                 "locked): its section would be empty; nothing was written: close that "
                 "program and try again");
    }
}

std::string SetInputs::Copy(const std::string& name, const std::string& what) {
    m_temps.emplace_back(TemporaryFolder() + "x", what);
    if (!CopyInto(name, m_temps.back()))
        Fail(name + ": cannot keep a copy of it in " + m_temps.back().Name() + ": " +
             SystemError());
    if (m_temps.back().Name().find(',') != std::string::npos)
        Fail(m_temps.back().Name() +
             ": the temporary folder's name holds a comma, which a file list cannot carry; "
             "set TMPDIR to another folder");
    return m_temps.back().Name();
}

std::vector<char> Writable(const std::string& text) {
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names)
        if (!name.empty())
            joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

// A file-list export failed: names the file the library could not read
// where it can be found, else the whole set. `paths` are the names the
// library was given, `names` the ones to report.
[[noreturn]] void FailForSet(const std::string& call, int rc, const std::vector<std::string>& names,
                             const std::vector<std::string>& paths) {
    if (rc == RC_READ_FAILED) {
        for (std::size_t i = 0; i < paths.size(); ++i)
            if (!paths[i].empty()) {
                try {
                    Input probe(paths[i]);
                } catch (const Trouble&) {
                    Fail(names[i] + ": cannot open: " + SystemError() +
                         "; check the name and permissions");
                }
            }
        // Every file opens for vek: the library's own open (which locks the
        // file) is refused for one of them.
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (paths[i].empty())
                continue;
            std::vector<char> one = Writable(FileList({paths[i]}, false));
            char type = 0;
            if (VekCheckType(Engine(), one.data(), &type) == RC_READ_FAILED)
                Fail(names[i] + ": the library cannot open or read it (" + CodeText(rc) +
                     "); another program may hold it open or locked: close that program and "
                     "try again");
        }
        Fail(call + " failed with " + CodeText(rc) + " for " + JoinedNames(names) +
             ": the library cannot open one of them; another program may hold it open or "
             "locked: close that program and try again");
    }
    Fail(call + " failed with " + CodeText(rc) + " for " + JoinedNames(names) +
         "; check that every file can be read");
}

[[noreturn]] void FailForSet(const std::string& call, int rc,
                             const std::vector<std::string>& names) {
    FailForSet(call, rc, names, names);
}

char TypeOf(const std::string& list, const std::vector<std::string>& names) {
    std::vector<char> writable = Writable(list);
    char type = 0;
    const int rc = VekCheckType(Engine(), writable.data(), &type);
    if (rc != RC_OK)
        FailForSet("CheckType", rc, names);
    return type;
}

// The set's type: -t or -b, text with --tenth, else what CheckType says.
char TypeOf(const Options& o, const SetInputs& set) {
    if (o.hasTenth)
        return 'T';
    if (o.type != 0)
        return o.type;
    std::vector<char> writable = Writable(set.List());
    char type = 0;
    const int rc = VekCheckType(Engine(), writable.data(), &type);
    if (rc != RC_OK)
        FailForSet("CheckType", rc, set.Names(), set.Paths());
    return type;
}

bool HandledAsBinary(char type, std::size_t index) {
    return type == 'B' || index == kBinaryPlace;  // the tenth file of a set is always binary
}

// A text file with a NUL byte would lose the rest of that line in a text
// bundle (a line is handed out up to its first NUL), and one that starts
// with a UTF-16 mark would get single-byte line ends inside its text; a
// bundle written in the CR LF form (`crlf`) ends at a byte 0x1A for every
// reader of that form. One without a line feed at its end comes back with
// one, and one that mixes CR LF and LF with one kind only.
TextSetScan ScanTextSet(const SetInputs& set, char type, bool crlf) {
    TextSetScan result;
    if (type != 'T')
        return result;
    const std::vector<std::string>& names = set.Names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (HandledAsBinary(type, i) || names[i].empty())
            continue;
        const std::string shown = DisplayName(names[i]);
        auto refuse = [&](long line, const std::string& why) {
            result.refused = static_cast<long>(i);
            result.why =
                shown + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + why;
        };
        if (StartsWithUtf16Mark(set.Paths()[i])) {
            refuse(0,
                   "starts with a UTF-16 byte-order mark; a text bundle would put single-byte line "
                   "ends inside its text and corrupt it");
            return result;
        }
        const TextScan scan = ScanTextFile(set.Paths()[i]);
        if (scan.nulLine != 0) {
            refuse(scan.nulLine, "the line holds a NUL byte, which a text bundle cannot carry");
            return result;
        }
        if (crlf && scan.eofLine != 0) {
            refuse(scan.eofLine,
                   "the line holds a byte 0x1A, which ends the data of a bundle in the CR LF form: "
                   "a reader of that form would find the bundle cut short there");
            return result;
        }
        if (scan.unterminated)
            result.warnings.push_back(
                shown + ":" + std::to_string(scan.lines) +
                ": the last line has no line feed; the bundle keeps it as if it had one, and the "
                "file comes back with one; bundle with -b to keep the file byte for byte");
        const long feeds = scan.lines - (scan.unterminated ? 1 : 0);
        if (scan.crlfLines > 0 && scan.crlfLines < feeds)
            result.warnings.push_back(
                shown +
                ": the file mixes CR LF and LF line ends; it comes back with one kind only, never "
                "byte for byte; bundle with -b to keep it as it is");
    }
    return result;
}

void CheckTextFiles(const SetInputs& set, char type, const std::string& advice) {
    const TextSetScan scan = ScanTextSet(set, type, false);
    if (scan.refused >= 0)
        Fail(scan.why + "; " + advice);
}

namespace {
// LoadFiles refused with RC_BUFFER_FULL: the line limit, or memory.
[[noreturn]] void FailBufferFull(const SetInputs& set, char type) {
    const std::vector<std::string>& names = set.Names();
    const long stored = BufferLineCount(1);
    if (stored < MAX_LINES)
        Fail("the buffer took no more while the library loaded " + JoinedNames(names) + " (" +
             Grouped(stored) +
             " lines so far): memory ran out, or a line is longer than a buffer takes "
             "(2 GiB); "
             "free some memory or bundle fewer or smaller files");
    std::string binaries;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (HandledAsBinary(type, i) && !names[i].empty())
            binaries += (binaries.empty() ? "" : ", ") + names[i] + " " +
                        Grouped(FileSize(set.Paths()[i])) + " bytes";
    const long long binaryRoom = static_cast<long long>(MAX_LINES) * 45;
    Fail("the files make more lines than a buffer holds (at most " + Grouped(kBufferLines) + ")" +
         (binaries.empty() ? std::string()
                           : "; a binary file takes a line per 45 bytes, so a bundle holds at most "
                             "about " +
                                 Grouped(binaryRoom / 1000000) + " MB (" + Grouped(binaryRoom) +
                                 " bytes) of binary files (here: " + binaries + ")") +
         ": bundle fewer or smaller files");
}

}  // namespace

// Loads the set into buffer 1 as a bundle, checked against LoadFiles'
// status.
void LoadSet(const SetInputs& set, char type) {
    ResetBuffers();
    std::vector<char> writable = Writable(set.List());
    char status[64] = {};
    const int rc = VekLoadFiles(Engine(), 1, type, writable.data(), status);
    if (rc == RC_BUFFER_FULL)
        FailBufferFull(set, type);
    if (rc != RC_OK)
        FailForSet("LoadFiles", rc, set.Names(), set.Paths());
    set.CheckStatus(status);
}

// Whether each binary file of the set opens as the library opens it (no
// other program holding it), so that CrcFile will not take it as empty.
bool BinaryFilesOpen(const SetInputs& set, char type) {
    const std::vector<std::string>& paths = set.Paths();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (type != 'B' && i != kBinaryPlace)
            continue;
        if (!platform::OpensAsLibraryDoes(paths[i]))
            return false;
    }
    return true;
}

}  // namespace vekcli
