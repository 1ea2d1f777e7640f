// vek bundle, unbundle, crc and type: file sets through the library's file
// exports, checked before and after the library reads or writes them.
#include "vek_commands.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include "common/failure.h"
#include "platform.h"
#include "platform/file.h"
#include "vek_buffers.h"
#include "vek_commit.h"
#include "vek_files.h"
#include "vek_line_crc.h"
#include "vek_trouble.h"
#include "vek_utf16.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

// Most files a set holds, and the place (from 0) of the one that a text set
// always keeps as binary: the tenth, the last.
constexpr std::size_t kMaxSetFiles = MAX_LIST_FILES;
constexpr std::size_t kBinaryPlace = BINARY_LIST_FILE - 1;

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

// The files of a set as the library reads them, each read once: a name
// that is not a plain file (a pipe, a device) is copied into a temporary
// file first, so that the type check, vek's own checks and the library all
// see the same bytes; an unused place before a tenth file gets an empty
// file of vek's own, since the library would end the list at an empty name.
class SetInputs {
  public:
    explicit SetInputs(const std::vector<std::string>& names) : m_names(names) {
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
    const std::vector<std::string>& Names() const { return m_names; }
    const std::vector<std::string>& Paths() const { return m_paths; }
    std::string List() const {
        std::string list;
        for (std::size_t i = 0; i < m_paths.size(); ++i)
            list += (i > 0 ? "," : "") + (m_paths[i].size() == 1 ? "./" + m_paths[i] : m_paths[i]);
        return list;
    }

    // LoadFiles' status names every place it handled: "E" for a file with
    // bytes is one the library could not open (a binary name's file is then
    // taken as empty), and a short status is a list read short.
    void CheckStatus(const char* status) const {
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

  private:
    std::string Copy(const std::string& name, const std::string& what) {
        m_temps.emplace_back(TemporaryFolder() + "x", what);
        const int fd = m_temps.back().TakeDescriptor();
        bool ok = true;
        if (!name.empty()) {
            Input in(name);
            std::vector<char> chunk(kChunkSize);
            while (ok) {
                const std::size_t got = in.Read(chunk.data(), chunk.size());
                if (got == 0)
                    break;
                ok = platform::WriteAll(fd, chunk.data(), got);
            }
        }
        const int error = errno;
        const bool closed = platform::CloseDescriptor(fd);
        if (!ok || !closed) {
            if (!ok)
                errno = error;
            Fail(name + ": cannot keep a copy of it in " + m_temps.back().Name() + ": " +
                 SystemError());
        }
        if (m_temps.back().Name().find(',') != std::string::npos)
            Fail(m_temps.back().Name() +
                 ": the temporary folder's name holds a comma, which a file list cannot carry; "
                 "set TMPDIR to another folder");
        return m_temps.back().Name();
    }

    std::vector<std::string> m_names;
    std::vector<std::string> m_paths;
    std::vector<Temporary> m_temps;
};

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
            if (CheckType(one.data(), &type) == RC_READ_FAILED)
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
    const int rc = CheckType(writable.data(), &type);
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
    const int rc = CheckType(writable.data(), &type);
    if (rc != RC_OK)
        FailForSet("CheckType", rc, set.Names(), set.Paths());
    return type;
}

bool HandledAsBinary(char type, std::size_t index) {
    return type == 'B' || index == 9;  // the tenth file of a set is always binary
}

// A text file with a NUL byte would lose the rest of that line in a text
// bundle (a line is handed out up to its first NUL); one without a line
// feed at its end comes back with one; and one with LF line ends comes back
// with CR LF unless unbundled with --lf (one with both never byte for byte).
// A bundle written in the CR LF form (`crlf`) ends at a byte 0x1A for every
// reader of that form, so a text file holding one is refused there.
void CheckTextFiles(const SetInputs& set, char type, bool warn, bool crlf) {
    if (type != 'T')
        return;
    const std::vector<std::string>& names = set.Names();
    std::string lfFiles;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (HandledAsBinary(type, i) || names[i].empty())
            continue;
        const TextScan scan = ScanTextFile(set.Paths()[i]);
        if (scan.nulLine != 0)
            Fail(names[i] + ":" + std::to_string(scan.nulLine) +
                 ": the line holds a NUL byte, which a text bundle cannot carry; bundle the "
                 "files with -b, or give the one binary file with --tenth");
        if (crlf && scan.eofLine != 0)
            Fail(names[i] + ":" + std::to_string(scan.eofLine) +
                 ": the line holds a byte 0x1A, which ends the data of a bundle in the CR LF "
                 "form: a reader of that form would find the bundle cut short there; nothing was "
                 "written: bundle without --crlf, or with -b");
        if (!warn)
            continue;
        if (scan.unterminated)
            Warn(names[i] + ":" + std::to_string(scan.lines) +
                 ": the last line has no line feed; the bundle keeps it as if it had one, and "
                 "the file comes back with one; bundle with -b to keep the file byte for byte");
        const long feeds = scan.lines - (scan.unterminated ? 1 : 0);
        if (scan.crlfLines > 0 && scan.crlfLines < feeds)
            Warn(names[i] +
                 ": the file mixes CR LF and LF line ends; it comes back with one kind only, "
                 "never byte for byte; bundle with -b to keep it as it is");
        else if (scan.crlfLines == 0 && feeds > 0)
            lfFiles += (lfFiles.empty() ? "" : ", ") + names[i];
    }
    if (!lfFiles.empty())
        Warn(lfFiles +
             ": LF line ends; 'vek unbundle' writes text files with CR LF line ends unless "
             "given --lf: unbundle with --lf to get these back byte for byte");
}

struct Section {
    long firstLine = 0;
    bool empty = false;
    bool ownHeader = false;    // opens with the header LoadFiles writes for a binary file
    bool uuHeader = false;     // opens with a " begin MODE NAME" line
    bool endsWithEnd = false;  // its last line is " end"
    long binaryFault = 0;      // first line that keeps it from decoding, 0 when it decodes
    std::string binaryWhy;
    long long textBytes = 0;    // the file's size written as text (CR LF line ends)
    long long binaryBytes = 0;  // the file's size decoded
    // A section shaped like a uuencoded file (its header or its end line)
    // that does not decode: damage, not text.
    bool DamagedBinary() const { return (uuHeader || endsWithEnd) && binaryFault != 0; }
};

// A uuencoded line: a space, the length character, then four characters
// for every three bytes, every character from ' ' to '`'. The library
// decodes what it finds; a character out of that range, or a line shorter
// or longer than its length character says, is damage found before
// anything is written.
const char* DataLineFault(std::string_view line) {
    if (line.size() < 2)
        return "the uuencoded line has no length character";
    // The smallest and the largest character, without an early exit, so
    // that the check runs over many characters at a time: a bundle is
    // mostly data lines.
    const auto* chars = reinterpret_cast<const unsigned char*>(line.data());
    unsigned char lowest = 0xFF;
    unsigned char highest = 0;
    for (std::size_t i = 1; i < line.size(); ++i) {
        lowest = std::min(lowest, chars[i]);
        highest = std::max(highest, chars[i]);
    }
    if (lowest < ' ' || highest > '`')
        return "the uuencoded line holds a character outside the uuencode range";
    const std::size_t count = static_cast<std::size_t>((line[1] - 32) & 63);
    const std::size_t groups = (count + 2) / 3;
    const std::size_t last = count % 3 == 0 ? 4 : count % 3 + 1;  // characters of the last group
    const std::size_t needed = count == 0 ? 2 : 2 + 4 * (groups - 1) + last;
    if (line.size() < needed)
        return "the uuencoded line is shorter than its length character says";
    if (line.size() > 2 + 4 * groups)
        return "the uuencoded line is longer than its length character says";
    return nullptr;
}

// " begin 777 xxxx" or any " begin MODE NAME" with an octal mode.
bool IsBeginLine(std::string_view line) {
    if (!StartsWith(line, " begin "))
        return false;
    std::size_t i = 7;
    const std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7')
        ++i;
    return i > digits && i + 1 < line.size() && line[i] == ' ';
}

// The sections of the bundle in buffer 1, each judged both ways: as text
// and as a uuencoded binary file (as WriteFiles decodes one).
std::vector<Section> ScanBundle(const std::string& bundleName, bool crlf) {
    std::vector<Section> sections;
    BufferReader reader(1);
    std::string_view line;
    Section current;
    bool open = false;
    bool sawEnd = false;
    bool sawCr = false;
    const std::string bundle = DisplayName(bundleName);
    const char* crHint = crlf ? "" : "; its lines end in CR LF: give --crlf";
    while (reader.Next(line)) {
        const long number = reader.LineNumber();
        sawCr = sawCr || (!line.empty() && line.back() == '\r');
        if (!open) {
            current = Section{};
            current.firstLine = number;
            open = true;
            sawEnd = false;
        }
        auto fault = [&](const char* why) {
            if (current.binaryFault == 0) {
                current.binaryFault = number;
                current.binaryWhy = why;
            }
        };
        if (line == "E") {
            current.empty = number == current.firstLine;
            if (!current.empty && !sawEnd)
                fault("the section has no ' end' line before its 'E'");
            current.endsWithEnd = sawEnd;
            sections.push_back(current);
            open = false;
            continue;
        }
        if (line.empty() || line[0] != ' ')
            Fail(bundle + ":" + std::to_string(number) +
                 ": not a bundle line (bundle lines begin with a space or are the terminator "
                 "'E'); is this a bundle made by 'vek bundle'?" +
                 (sawCr && line == "E\r" ? crHint : ""));
        current.textBytes += static_cast<long long>(line.size() - 1) + 2;
        if (number == current.firstLine) {
            current.uuHeader = IsBeginLine(line);
            current.ownHeader = line == " begin 777 xxxx";
            if (!current.uuHeader)
                fault("it does not begin with a uuencode header");
        } else if (sawEnd) {
            fault("a line follows the ' end' line");
        } else if (line == " end") {
            sawEnd = true;
        } else if (const char* why = DataLineFault(line)) {
            fault(why);
        } else {
            current.binaryBytes += (line[1] - 32) & 63;
        }
    }
    if (open)
        Fail(bundle + ":" + std::to_string(reader.Count()) +
             ": the bundle ends inside a file's section, without its 'E' line: it is cut short" +
             (sawCr ? crHint : ""));
    return sections;
}

// The type to unbundle with. Read as binary, a bundle is wrong when a file
// does not decode; read as text, when its tenth file does not decode, or a
// file in a text place is shaped like a uuencoded file but damaged. -t, -b
// and --tenth are checked against that; without them the one fitting
// reading is taken, and a bundle that fits both is refused.
char ChooseUnbundleType(const Options& o, const std::vector<Section>& sections,
                        const std::vector<std::string>& names, const std::string& bundleName) {
    const std::string bundle = DisplayName(bundleName);
    bool anyTextPlace = false;
    bool allOwnHeaders = true;
    long firstTextPlace = -1;
    long firstUndecodable = -1;
    long firstDamaged = -1;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].empty)
            continue;
        if (i < kBinaryPlace) {
            if (!anyTextPlace)
                firstTextPlace = static_cast<long>(i);
            anyTextPlace = true;
            allOwnHeaders = allOwnHeaders && sections[i].ownHeader;
            if (sections[i].DamagedBinary() && firstDamaged < 0)
                firstDamaged = static_cast<long>(i);
        }
        if (sections[i].binaryFault != 0 && firstUndecodable < 0)
            firstUndecodable = static_cast<long>(i);
    }
    const bool binaryBundle = anyTextPlace && allOwnHeaders;
    const bool tenthDecodes = sections.size() <= kBinaryPlace || sections[kBinaryPlace].empty ||
                              sections[kBinaryPlace].binaryFault == 0;
    const bool textFits = tenthDecodes && firstDamaged < 0;
    const bool binaryFits = firstUndecodable < 0;

    auto fileName = [&](std::size_t i) {
        return "file " + std::to_string(i + 1) + " (" + names[i] + ")";
    };
    // Reading as binary fails at file i.
    auto failDecode = [&](std::size_t i, const char* advice) {
        const Section& section = sections[i];
        if (!section.uuHeader && !section.endsWithEnd)
            Fail(bundle + ":" + std::to_string(section.firstLine) + ": " + fileName(i) +
                 " is text, not uuencoded; " + advice + "; nothing was written");
        Fail(bundle + ":" + std::to_string(section.binaryFault) + ": " + section.binaryWhy + " (" +
             fileName(i) + "): the bundle is damaged; nothing was written");
    };
    const char* tenthAdvice = "the tenth file of a set is always binary";
    if (o.type == 'T' || o.hasTenth) {
        if (binaryBundle)
            Fail(bundle + ":" +
                 std::to_string(sections[static_cast<std::size_t>(firstTextPlace)].firstLine) +
                 ": every file of the bundle is uuencoded as 'vek bundle -b' writes it: this "
                 "is a binary bundle; unbundle it with -b; nothing was written");
        if (!tenthDecodes)
            failDecode(kBinaryPlace, tenthAdvice);
        return 'T';
    }
    if (o.type == 'B') {
        if (!binaryFits)
            failDecode(static_cast<std::size_t>(firstUndecodable), "unbundle with -t");
        return 'B';
    }
    if (textFits && binaryFits) {
        if (!anyTextPlace)
            return 'T';  // both readings write the same files
        Fail(bundle + ": the bundle reads validly both as a text bundle and as a binary bundle" +
             (binaryBundle
                  ? ": every file is uuencoded as 'vek bundle -b' writes it, but a text file "
                    "may look the same; give -b if it was made with -b, -t if the files were "
                    "text"
                  : ": " + fileName(static_cast<std::size_t>(firstTextPlace)) +
                        " may be text that looks like uuencoded data; give -t if the files were "
                        "text, -b if they were binary") +
             "; nothing was written");
    }
    if (textFits)
        return 'T';
    if (binaryFits)
        return 'B';
    if (firstDamaged >= 0)
        failDecode(static_cast<std::size_t>(firstDamaged), "unbundle with -t");
    failDecode(kBinaryPlace, tenthAdvice);
    return 'T';  // not reached
}

// After WriteFiles: every staged file must have its full size; the first
// that has not is the one the library failed on.
void CheckWritten(const FileSetCommit& files, const std::vector<long long>& sizes, int rc) {
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string& written = files.Staged(i);
        if (written.empty())
            continue;
        const long long size = FileSize(written);
        if (size == sizes[i])
            continue;
        const std::string why = WriteProbe(written);
        if (rc == RC_OK && why.empty())
            Fail(files.Target(i) + ": the library wrote " + Grouped(size) +
                 " bytes where the bundle holds " + Grouped(sizes[i]) +
                 "; a file may have been changed while it was read, or this is a fault in the "
                 "library (please report it with the bundle); nothing was changed");
        Fail(files.Target(i) + ": could not be written in full (" + Grouped(size < 0 ? 0 : size) +
             " of " + Grouped(sizes[i]) + " bytes; " + (why.empty() ? CodeText(rc) : why) +
             "); nothing was changed: free some room on the disk or write the files to "
             "another folder, then try again");
    }
    if (rc != RC_OK)
        Fail("WriteFiles failed with " + CodeText(rc) + "; nothing was changed");
}

// LoadFiles refused with RC_BUFFER_FULL: the line limit, or memory.
[[noreturn]] void FailBufferFull(const SetInputs& set, char type) {
    const std::vector<std::string>& names = set.Names();
    const long stored = BufferLineCount(1);
    if (stored < MAX_LINES)
        Fail("the buffer took no more while the library loaded " + JoinedNames(names) + " (" +
             Grouped(stored) +
             " lines so far): memory ran out, or a line is longer than a buffer takes (2 GiB); "
             "free some memory or bundle fewer or smaller files");
    std::string binaries;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (HandledAsBinary(type, i) && !names[i].empty())
            binaries += (binaries.empty() ? "" : ", ") + names[i] + " " +
                        Grouped(FileSize(set.Paths()[i])) + " bytes";
    const long long binaryRoom = static_cast<long long>(MAX_LINES) * 45;
    Fail("the files make more lines than a buffer holds (at most " + Grouped(kBufferLines) + ")" +
         (binaries.empty()
              ? std::string()
              : "; a binary file takes a line per 45 bytes, so a bundle holds at most about " +
                    Grouped(binaryRoom / 1000000) + " MB (" + Grouped(binaryRoom) +
                    " bytes) of binary files (here: " + binaries + ")") +
         ": bundle fewer or smaller files");
}

// Loads the set into buffer 1 as a bundle, checked against LoadFiles'
// status.
void LoadSet(const SetInputs& set, char type) {
    ResetBuffers();
    std::vector<char> writable = Writable(set.List());
    char status[64] = {};
    const int rc = LoadFiles(1, type, writable.data(), status);
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
        try {
            vek::platform::File file;
            file.Open(paths[i].c_str(), vek::platform::OpenMode::kReadExclusive);
        } catch (const vek::Failure&) {
            return false;
        }
    }
    return true;
}

}  // namespace

int RunBundle(const Options& o) {
    if (!o.hasOutput)
        Fail("bundle: give the bundle's name with -o BUNDLE; see 'vek bundle --help'");
    const std::vector<std::string> names = SetNames(o, o.operands);
    RefuseOutputOverInput("bundle", o.output, names);
    const SetInputs set(names);
    const char type = TypeOf(o, set);
    RefuseUtf16Text(set.Names(), set.Paths(), type);
    CheckTextFiles(set, type, true, o.crlf);
    LoadSet(set, type);
    WriteBuffer(1, o.output, o.crlf);
    return 0;
}

int RunUnbundle(const Options& o) {
    if (o.operands.size() < (o.hasTenth ? 1u : 2u))
        Fail("unbundle: give BUNDLE and the names of its files; see 'vek unbundle --help'");
    const std::string& bundleName = o.operands[0];
    const std::vector<std::string> names =
        SetNames(o, std::vector<std::string>(o.operands.begin() + 1, o.operands.end()));
    FileList(names, false);
    ResetBuffers();
    LoadFile(1, bundleName, o.crlf);
    const std::vector<Section> sections = ScanBundle(bundleName, o.crlf);
    if (sections.size() != names.size()) {
        std::string hint;
        if (!o.hasTenth && sections.size() == kMaxSetFiles && !sections[kBinaryPlace].empty)
            hint =
                "; the bundle has a file in the tenth place: if it was made with --tenth, give "
                "--tenth BIN and the other names";
        else if (o.hasTenth)
            hint = "; with --tenth the bundle must hold ten places (it was made with --tenth)";
        Fail(DisplayName(bundleName) + ": the bundle holds " + std::to_string(sections.size()) +
             " file(s) but " + std::to_string(names.size()) +
             " name(s) were given; name every file of the bundle, in order" + hint +
             "; nothing was written");
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].empty() && !sections[i].empty)
            Fail(DisplayName(bundleName) + ":" + std::to_string(sections[i].firstLine) + ": file " +
                 std::to_string(i + 1) +
                 " of the bundle is not empty but was given no name; name every file of the "
                 "bundle, in order; nothing was written");
    const char type = ChooseUnbundleType(o, sections, names, bundleName);
    if (o.lf && type == 'B')
        Fail(
            "unbundle: --lf changes text files only, and this bundle is read as binary: every "
            "file comes back byte for byte; leave out --lf; nothing was written");

    // Every target is checked and given a temporary before the library
    // writes anything.
    FileSetCommit files("unbundle", names, {bundleName});
    std::vector<long long> sizes(names.size());
    std::string list;
    // The library would end the list at an empty name: an unused place
    // gets a file of vek's own, which its empty section leaves alone.
    Temporary unused;
    if (std::find(names.begin(), names.end(), std::string()) != names.end()) {
        unused = Temporary(TemporaryFolder() + "x", "an unused place");
        platform::CloseDescriptor(unused.TakeDescriptor());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Section& section = sections[i];
        sizes[i] = section.empty              ? 0
                   : HandledAsBinary(type, i) ? section.binaryBytes
                                              : section.textBytes;
        const std::string& staged = files.Staged(i);
        if (staged.find(',') != std::string::npos)
            Fail(names[i] + ": its path " + staged +
                 " holds a comma, which a file list cannot carry; name it another way");
        list += (i > 0 ? "," : "") + (names[i].empty() ? unused.Name() : staged);
    }
    std::vector<char> writable = Writable(list);
    NoteWork("writing the files of " + DisplayName(bundleName));
    CheckWritten(files, sizes, WriteFiles(1, type, writable.data()));
    if (o.lf)
        for (std::size_t i = 0; i < names.size(); ++i)
            if (!names[i].empty() && !HandledAsBinary(type, i) && !sections[i].empty)
                try {
                    ConvertCrLfToLf(files.Staged(i));
                } catch (const Trouble& trouble) {
                    Fail(names[i] + ": cannot give the new file LF line ends (" + trouble.message +
                         "); nothing was changed");
                }
    files.Commit();
    return 0;
}

namespace {

// One file's checksum as a line file; a Trouble names the file. In the LF
// form the file streams past; in the CR LF form it is loaded and Crc asked.
void PrintLineFileCrc(const std::string& name, bool crlf) {
    unsigned sum = 0;
    if (!crlf) {
        sum = StreamLineFileChecksum(name);
    } else {
        ResetBuffers();
        LoadFile(1, name, crlf);
        int value = 0;
        const int rc = Crc(1, 16, &value);
        if (rc != RC_OK)
            Fail(DisplayName(name) + ": Crc failed with " + CodeText(rc));
        sum = static_cast<unsigned>(value);
    }
    std::printf("%04X  %s\n", sum, Escaped(DisplayName(name)).c_str());
}

// Runs `each` for every operand, as cksum and file do: a file that fails
// is reported and the rest still done; status 2 when any failed.
template <class Each>
int ForEachFile(const std::vector<std::string>& names, Each each) {
    bool failed = false;
    for (const std::string& name : names) {
        try {
            each(name);
        } catch (const Trouble& trouble) {
            ReportTrouble(trouble.message);
            failed = true;
        }
    }
    return failed ? 2 : 0;
}

}  // namespace

int RunCrc(const Options& o) {
    if (o.operands.empty())
        Fail("crc: name at least one file; see 'vek crc --help'");
    if (platform::StreamWasClosed(1))
        Fail("crc: standard output is closed; there is nowhere to print the checksums");
    if (o.type != 0 || o.hasTenth) {
        if (o.crlf)
            Fail(
                "crc: --crlf is for line files; with -t, -b or --tenth the files are read as "
                "a bundle holds them, whatever their line ends: leave out --crlf");
        const std::vector<std::string> names = SetNames(o, o.operands);
        const SetInputs set(names);
        const char type = o.hasTenth ? 'T' : o.type;
        CheckTextFiles(set, type, false, false);
        // CrcFile sums the bundle as it is made and holds none of it, but it
        // takes a binary file it cannot open as an empty section; so every
        // binary file is first opened here as the library opens it. Should
        // one be taken from us after that, LoadFiles' status, which names
        // such a file, gives the checksum instead.
        int sum = 0;
        int rc = RC_FAILED;
        if (BinaryFilesOpen(set, type)) {
            std::vector<char> writable = Writable(set.List());
            rc = CrcFile(type, writable.data(), 16, &sum);
        }
        if (rc != RC_OK) {
            LoadSet(set, type);
            rc = Crc(1, 16, &sum);
        }
        if (rc != RC_OK)
            FailForSet("Crc", rc, names);
        std::printf("%04X  %s\n", static_cast<unsigned>(sum), Escaped(JoinedNames(names)).c_str());
        return 0;
    }
    return ForEachFile(o.operands,
                       [&](const std::string& name) { PrintLineFileCrc(name, o.crlf); });
}

int RunType(const Options& o) {
    if (o.operands.empty())
        Fail("type: name at least one file; see 'vek type --help'");
    if (platform::StreamWasClosed(1))
        Fail("type: standard output is closed; there is nowhere to print the types");
    return ForEachFile(o.operands, [](const std::string& name) {
        if (name == "-")
            Fail(
                "type: '-' cannot be typed: the library looks at files by name, not at "
                "standard input; name a real file");
        const char type = TypeOf(FileList({name}, true), {name});
        std::printf("%-6s  %s\n", type == 'B' ? "binary" : "text", Escaped(name).c_str());
    });
}

}  // namespace vekcli
