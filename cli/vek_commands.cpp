// vek bundle, unbundle, crc and type: file sets through the library's file
// exports, checked before and after the library reads or writes them.
#include "vek_commands.h"

#include <sys/stat.h>
#include <cstdio>
#include <string_view>

#include "platform.h"
#include "vek_buffers.h"
#include "vek_files.h"
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
        if (name.empty() || name == "-")
            Fail("'" + name + "' cannot name a file of a set; name a real file");
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
// where it can be found, else the whole set.
[[noreturn]] void FailForSet(const std::string& call, int rc,
                             const std::vector<std::string>& names) {
    if (rc == RC_READ_FAILED) {
        for (const std::string& name : names)
            if (!name.empty())
                Input probe(name);  // throws with the name and the system's reason
        // Every file opens for vek: the library's own open (which locks the
        // file) is refused for one of them.
        for (const std::string& name : names) {
            if (name.empty())
                continue;
            std::vector<char> one = Writable(FileList({name}, false));
            char type = 0;
            if (CheckType(one.data(), &type) == RC_READ_FAILED)
                Fail(name + ": the library cannot open or read it (" + CodeText(rc) +
                     "); another program may hold it open or locked: close that program and "
                     "try again");
        }
    }
    Fail(call + " failed with " + CodeText(rc) + " for " + JoinedNames(names) +
         "; check that every file can be read");
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
char TypeOf(const Options& o, const std::string& list, const std::vector<std::string>& names) {
    if (o.hasTenth)
        return 'T';
    if (o.type != 0)
        return o.type;
    return TypeOf(list, names);
}

bool HandledAsBinary(char type, std::size_t index) {
    return type == 'B' || index == 9;  // the tenth file of a set is always binary
}

// A text file with a NUL byte would lose the rest of that line in a text
// bundle (a line is handed out up to its first NUL); one without a line
// feed at its end comes back with one.
void CheckTextFiles(const std::vector<std::string>& names, char type) {
    if (type != 'T')
        return;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (HandledAsBinary(type, i) || names[i].empty())
            continue;
        const TextScan scan = ScanTextFile(names[i]);
        if (scan.nulLine != 0)
            Fail(names[i] + ":" + std::to_string(scan.nulLine) +
                 ": the line holds a NUL byte, which a text bundle cannot carry; bundle the "
                 "files with -b, or give the one binary file with --tenth");
        if (scan.unterminated)
            std::fprintf(stderr,
                         "vek: %s:%ld: the last line has no line feed; the bundle keeps it as if "
                         "it had one, and the file comes back with one; bundle with -b to keep "
                         "the file byte for byte\n",
                         names[i].c_str(), scan.lines);
    }
}

struct Section {
    long firstLine = 0;
    bool empty = false;
    bool ownHeader = false;  // opens with the header LoadFiles writes for a binary file
    bool uuHeader = false;   // opens with a " begin" line
    long binaryFault = 0;    // first line that keeps it from decoding, 0 when it decodes
    std::string binaryWhy;
    long long textBytes = 0;    // the file's size written as text (CR LF line ends)
    long long binaryBytes = 0;  // the file's size decoded
};

// A uuencoded line: a space, the length character, then four characters
// for every three bytes. The library decodes what it finds; a line that
// lacks characters its count needs is damage, found before anything is
// written.
bool DataLineComplete(std::string_view line) {
    if (line.size() < 2)
        return false;
    const std::size_t count = static_cast<std::size_t>((line[1] - 32) & 63);
    const std::size_t groups = (count + 2) / 3;
    const std::size_t last = count % 3 == 0 ? 4 : count % 3 + 1;  // characters of the last group
    const std::size_t needed = count == 0 ? 2 : 2 + 4 * (groups - 1) + last;
    return line.size() >= needed;
}

// The sections of the bundle in buffer 1, each judged both ways: as text
// and as a uuencoded binary file (as WriteFiles decodes one).
std::vector<Section> ScanBundle(const std::string& bundleName) {
    std::vector<Section> sections;
    BufferReader reader(1);
    std::string_view line;
    Section current;
    bool open = false;
    bool sawEnd = false;
    while (reader.Next(line)) {
        const long number = reader.LineNumber();
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
            sections.push_back(current);
            open = false;
            continue;
        }
        if (line.empty() || line[0] != ' ')
            Fail(DisplayName(bundleName) + ":" + std::to_string(number) +
                 ": not a bundle line (bundle lines begin with a space or are the terminator "
                 "'E'); is this a bundle made by 'vek bundle'?");
        current.textBytes += static_cast<long long>(line.size() - 1) + 2;
        if (number == current.firstLine) {
            current.uuHeader = StartsWith(line, " begin");
            current.ownHeader = line == " begin 777 xxxx";
            if (!current.uuHeader)
                fault("it does not begin with a uuencode header");
        } else if (sawEnd) {
            fault("a line follows the ' end' line");
        } else if (StartsWith(line, " end")) {
            if (line == " end")
                sawEnd = true;
            else
                fault("the line begins with ' end' but is not the end line");
        } else if (!DataLineComplete(line)) {
            fault("the uuencoded line is shorter than its length character says");
        } else {
            current.binaryBytes += (line[1] - 32) & 63;
        }
    }
    if (open)
        Fail(DisplayName(bundleName) + ":" + std::to_string(reader.Count()) +
             ": the bundle ends inside a file's section, without its 'E' line: it is cut short");
    return sections;
}

// The type to unbundle with. Read as text, a bundle is wrong when every
// file in the text places carries the header LoadFiles writes for binary
// files (that is a binary bundle), or when its tenth file does not decode;
// read as binary, when a file does not decode. -t, -b and --tenth are
// checked against that; without them the one fitting reading is taken, and
// a bundle that fits both is refused.
char ChooseUnbundleType(const Options& o, const std::vector<Section>& sections,
                        const std::vector<std::string>& names, const std::string& bundleName) {
    const std::string bundle = DisplayName(bundleName);
    bool anyTextPlace = false;
    bool allOwnHeaders = true;
    long firstTextPlace = -1;
    long firstUndecodable = -1;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].empty)
            continue;
        if (i < kBinaryPlace) {
            if (!anyTextPlace)
                firstTextPlace = static_cast<long>(i);
            anyTextPlace = true;
            allOwnHeaders = allOwnHeaders && sections[i].ownHeader;
        }
        if (sections[i].binaryFault != 0 && firstUndecodable < 0)
            firstUndecodable = static_cast<long>(i);
    }
    const bool binaryBundle = anyTextPlace && allOwnHeaders;
    const bool tenthDecodes = sections.size() <= kBinaryPlace || sections[kBinaryPlace].empty ||
                              sections[kBinaryPlace].binaryFault == 0;
    const bool textFits = !binaryBundle && tenthDecodes;
    const bool binaryFits = firstUndecodable < 0;

    auto fileName = [&](std::size_t i) {
        return "file " + std::to_string(i + 1) + " (" + names[i] + ")";
    };
    // Reading as binary fails at file i.
    auto failDecode = [&](std::size_t i, const char* advice) {
        const Section& section = sections[i];
        if (!section.uuHeader)
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
        Fail(bundle +
             ": the bundle reads validly both as a text bundle and as a binary "
             "bundle: " +
             fileName(static_cast<std::size_t>(firstTextPlace)) +
             " may be text that looks like uuencoded data; give -t if the files were text, -b "
             "if they were binary; nothing was written");
    }
    if (textFits)
        return 'T';
    if (binaryFits)
        return 'B';
    if (binaryBundle)
        failDecode(static_cast<std::size_t>(firstUndecodable), "unbundle with -t");
    failDecode(kBinaryPlace, tenthAdvice);
    return 'T';  // not reached
}

// A name given twice, or the bundle among the names, would have one file
// written over another: refused before anything is written.
void RefuseRepeatedNames(const std::vector<std::string>& names, const std::string& bundleName) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            continue;
        RefuseOutputOverInput("unbundle", names[i], {bundleName});
        for (std::size_t j = 0; j < i; ++j)
            if (!names[j].empty() &&
                (names[i] == names[j] || platform::SameFile(names[i], names[j])))
                Fail("unbundle: " + names[j] + " and " + names[i] + " name the same file (places " +
                     std::to_string(j + 1) + " and " + std::to_string(i + 1) +
                     "); give each file of the bundle its own name");
    }
}

// The files of a bundle are written under temporary names beside their
// targets and moved in place only when every one is complete and on the
// disk; until then a failure removes the temporaries and leaves every
// target as it was. A device or pipe is written to as it is.
class StagedFiles {
  public:
    struct File {
        std::string target;
        std::string written;  // the name handed to WriteFiles
        long long size = 0;   // the size it must reach
        bool staged = false;  // written under a temporary name
    };

    StagedFiles(const std::vector<std::string>& names, const std::vector<Section>& sections,
                char type) {
        try {
            for (std::size_t i = 0; i < names.size(); ++i) {
                m_files.emplace_back();
                File& file = m_files.back();
                file.target = names[i];
                if (names[i].empty())
                    continue;
                const Section& section = sections[i];
                file.size = section.empty              ? 0
                            : HandledAsBinary(type, i) ? section.binaryBytes
                                                       : section.textBytes;
                Stage(file);
            }
        } catch (...) {
            // The destructor of an object not yet built does not run.
            RemoveTemporaries();
            throw;
        }
    }
    ~StagedFiles() {
        if (!m_moved)
            RemoveTemporaries();
    }
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    const std::vector<File>& Files() const { return m_files; }
    std::string List() const {
        std::string list;
        for (std::size_t i = 0; i < m_files.size(); ++i)
            list += (i > 0 ? "," : "") + m_files[i].written;
        return list;
    }

    // After WriteFiles: every staged file must have its full size; the
    // first that has not is the one the library failed on.
    void Check(int rc) const {
        for (const File& file : m_files) {
            if (!file.staged)
                continue;
            const long long size = FileSize(file.written);
            if (size == file.size)
                continue;
            const std::string why = WriteProbe(file.written);
            if (rc == RC_OK && why.empty())
                Fail(file.target + ": the library wrote " + Grouped(size) +
                     " bytes where the "
                     "bundle holds " +
                     Grouped(file.size) +
                     "; this is a fault in the library: "
                     "please report it with the bundle; nothing was changed");
            Fail(file.target + ": could not be written in full (" + Grouped(size < 0 ? 0 : size) +
                 " of " + Grouped(file.size) + " bytes; " + (why.empty() ? CodeText(rc) : why) +
                 "); nothing was changed: free some room on the disk or write the files to "
                 "another folder, then try again");
        }
        if (rc != RC_OK)
            Fail("WriteFiles failed with " + CodeText(rc) + "; nothing was changed");
    }

    // Puts every staged file in place of its target.
    void Commit() {
        for (const File& file : m_files) {
            if (!file.staged)
                continue;
            platform::KeepModeOf(file.target, file.written);
            SyncToDisk(file.written);
        }
        m_moved = true;
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            if (!m_files[i].staged)
                continue;
            try {
                platform::MoveIntoPlace(m_files[i].written, m_files[i].target);
            } catch (const Trouble&) {
                for (std::size_t j = i + 1; j < m_files.size(); ++j)
                    if (m_files[j].staged)
                        std::remove(m_files[j].written.c_str());
                throw;
            }
        }
    }

  private:
    void RemoveTemporaries() const {
        for (const File& file : m_files)
            if (file.staged)
                std::remove(file.written.c_str());
    }

    void Stage(File& file) {
        // A symbolic link stays: the file it points to is replaced.
        const std::string place = platform::ResolveLink(file.target);
        struct stat info {};
        if (stat(place.c_str(), &info) == 0) {
            if ((info.st_mode & S_IFMT) == S_IFDIR)
                Fail(file.target + ": is a folder; name a file; nothing was written");
            if ((info.st_mode & S_IFMT) != S_IFREG) {
                file.written = place;  // a device or pipe
                return;
            }
        }
        file.written = place + ".vek-part";
        if (file.written.find(',') != std::string::npos)
            Fail(file.target + ": its path " + place +
                 " holds a comma, which a file list cannot carry; name it another way");
        if (!CreateEmptyFile(file.written))
            Fail(file.target + ": cannot create " + file.written + ": " + SystemError() +
                 "; check that the folder exists and is writable; nothing was written");
        file.staged = true;
    }

    std::vector<File> m_files;
    bool m_moved = false;
};

}  // namespace

int RunBundle(const Options& o) {
    if (!o.hasOutput)
        Fail("bundle: give the bundle's name with -o BUNDLE; see 'vek bundle --help'");
    const std::vector<std::string> names = SetNames(o, o.operands);
    RefuseOutputOverInput("bundle", o.output, names);
    const std::string list = FileList(names, true);
    const char type = TypeOf(o, list, names);
    RefuseUtf16Text(names, type);
    CheckTextFiles(names, type);
    ResetBuffers();
    std::vector<char> writable = Writable(list);
    char status[64] = {};
    const int rc = LoadFiles(1, type, writable.data(), status);
    if (rc == RC_BUFFER_FULL)
        Fail("the files make more lines than a buffer holds (at most " + Grouped(kBufferLines) +
             "); bundle fewer or smaller files");
    if (rc != RC_OK)
        FailForSet("LoadFiles", rc, names);
    WriteBuffer(1, o.output, o.crlf);
    return 0;
}

int RunUnbundle(const Options& o) {
    if (o.operands.size() < 2)
        Fail("unbundle: give BUNDLE and the names of its files; see 'vek unbundle --help'");
    const std::string& bundleName = o.operands[0];
    const std::vector<std::string> names =
        SetNames(o, std::vector<std::string>(o.operands.begin() + 1, o.operands.end()));
    FileList(names, false);
    RefuseRepeatedNames(names, bundleName);
    ResetBuffers();
    LoadFile(1, bundleName, o.crlf);
    const std::vector<Section> sections = ScanBundle(bundleName);
    if (sections.size() != names.size())
        Fail(DisplayName(bundleName) + ": the bundle holds " + std::to_string(sections.size()) +
             " file(s) but " + std::to_string(names.size()) +
             " name(s) were given; name every file of the bundle, in order");
    const char type = ChooseUnbundleType(o, sections, names, bundleName);

    StagedFiles staged(names, sections, type);
    std::vector<char> writable = Writable(staged.List());
    staged.Check(WriteFiles(1, type, writable.data()));
    for (std::size_t i = 0; i < staged.Files().size(); ++i) {
        const StagedFiles::File& file = staged.Files()[i];
        if (file.target.empty())
            continue;  // an unused place before a tenth file
        // The library leaves the file of an empty section untouched: a
        // staged one was created empty, anything else is emptied here.
        if (sections[i].empty && !file.staged) {
            if (!CreateEmptyFile(file.written))
                Fail(file.written + ": cannot create: " + SystemError());
        } else if (o.lf && !HandledAsBinary(type, i) && !sections[i].empty) {
            ConvertCrLfToLf(file.written);
        }
    }
    staged.Commit();
    return 0;
}

namespace {

// One file's checksum as a line file; a Trouble names the file.
void PrintLineFileCrc(const std::string& name, bool crlf) {
    ResetBuffers();
    LoadFile(1, name, crlf);
    int sum = 0;
    const int rc = Crc(1, 16, &sum);
    if (rc != RC_OK)
        Fail(DisplayName(name) + ": Crc failed with " + CodeText(rc));
    std::printf("%04X  %s\n", static_cast<unsigned>(sum), DisplayName(name).c_str());
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
    char line[128];
    if (o.type != 0 || o.hasTenth) {
        const std::vector<std::string> names = SetNames(o, o.operands);
        const std::string list = FileList(names, true);
        CheckTextFiles(names, o.hasTenth ? 'T' : o.type);
        std::vector<char> writable = Writable(list);
        int sum = 0;
        const int rc = CrcFile(o.hasTenth ? 'T' : o.type, writable.data(), 16, &sum);
        if (rc != RC_OK)
            FailForSet("CrcFile", rc, names);
        std::snprintf(line, sizeof line, "%04X  ", static_cast<unsigned>(sum));
        std::printf("%s%s\n", line, JoinedNames(SetNames(o, o.operands)).c_str());
        return 0;
    }
    return ForEachFile(o.operands,
                       [&](const std::string& name) { PrintLineFileCrc(name, o.crlf); });
}

int RunType(const Options& o) {
    if (o.operands.empty())
        Fail("type: name at least one file; see 'vek type --help'");
    return ForEachFile(o.operands, [](const std::string& name) {
        const char type = TypeOf(FileList({name}, true), {name});
        std::printf("%-6s  %s\n", type == 'B' ? "binary" : "text", name.c_str());
    });
}

}  // namespace vekcli
