// vek bundle: up to ten files kept as one bundle of lines, written
// through LoadFiles and the buffer.
#include "commands/command.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/bundle_scan.h"
#include "commands/file_set.h"
#include "io/files.h"
#include "lines/buffers.h"
#include "report/trouble.h"

namespace vekcli {

namespace {

const char kHelp[] =
    "usage: vek bundle [-t|-b] [--crlf] [--tenth BIN] -o BUNDLE FILE...\n"
    "\n"
    "Keeps up to ten files as one bundle, a line file: text files line by line,\n"
    "binary files uuencoded, each file's section closed by a line 'E'. File\n"
    "names are not kept: 'vek unbundle' takes them again.\n"
    "\n"
    "  -t       text bundle (the tenth file is always binary)\n"
    "  -b       binary bundle: every file uuencoded\n"
    "           without -t or -b the bundle is text unless a file is binary (as the\n"
    "           library judges from its first 512 bytes) or cannot go as text (a NUL\n"
    "           byte, UTF-16, a first line 'begin MODE ...'): then it is binary and\n"
    "           vek names that file; 'vek unbundle' reads either back with no option\n"
    "  --tenth BIN  a text set (up to nine FILEs) with the binary file BIN in the\n"
    "           tenth place, the place of a text bundle that is always binary\n"
    "  --crlf   write the bundle with CR LF line ends\n"
    "  -o BUNDLE, --output=BUNDLE\n"
    "           the bundle to write ('-': standard output); not one of the FILEs\n"
    "\n"
    "Text files come back with CR LF line ends (see 'vek unbundle --lf'), and with\n"
    "a line feed at the end: vek warns of a text file without one.\n"
    "Exit status: 0 done, 2 trouble.\n";

// The file of the set that makes CheckType call it binary.
std::string FirstBinaryFile(const SetInputs& set) {
    for (std::size_t i = 0; i < set.Names().size(); ++i)
        if (!set.Names()[i].empty() &&
            TypeOf(FileList({set.Paths()[i]}, false), {set.Names()[i]}) == 'B')
            return set.Names()[i];
    return JoinedNames(set.Names());
}

// Whether the text file at `path` could read as uuencoded in a bundle: its
// first line begins with "begin ", or its last line is "end". Only then is
// the bundle scanned as unbundle would scan it.
bool MayLookUuencoded(const std::string& path) {
    OwnedFile file = OpenFile(path, "rb");
    if (!file)
        return true;
    char head[6] = {};
    if (std::fread(head, 1, sizeof head, file.get()) == sizeof head &&
        std::memcmp(head, "begin ", sizeof head) == 0)
        return true;
    char tail[6] = {};
    const long size = std::fseek(file.get(), -6L, SEEK_END) == 0 ? 6L : 0L;
    if (size == 0 && std::fseek(file.get(), 0L, SEEK_SET) != 0)
        return true;
    std::size_t got = std::fread(tail, 1, sizeof tail, file.get());
    while (got > 0 && (tail[got - 1] == '\n' || tail[got - 1] == '\r'))
        --got;
    return got >= 3 && std::memcmp(tail + got - 3, "end", 3) == 0;
}

// Why 'vek unbundle', given the options that made the text bundle in
// buffer 1, would not read it back as text; empty when it would.
std::string TextReadingTrouble(const Options& o, char readerType, const SetInputs& set) {
    bool candidate = false;
    for (std::size_t i = 0; i < set.Names().size() && i < kBinaryPlace; ++i)
        candidate = candidate || (!set.Names()[i].empty() && MayLookUuencoded(set.Paths()[i]));
    if (!candidate)
        return std::string();
    const std::vector<Section> sections = ScanBundle(o.output, false);
    for (std::size_t i = 0; i < sections.size() && i < kBinaryPlace; ++i) {
        const Section& section = sections[i];
        if (section.empty || !(section.uuHeader || section.endsWithEnd))
            continue;
        Options reader;
        reader.type = readerType;
        try {
            if (ChooseUnbundleType(reader, sections, set.Names(), o.output) == 'T')
                return std::string();
        } catch (const Trouble&) {
        }
        return DisplayName(set.Names()[i]) +
               (section.uuHeader ? ": its first line begins with 'begin ' and a mode, "
                                 : ": its last line is 'end', ") +
               "as a uuencoded file's does, so 'vek unbundle' could not tell it from a damaged "
               "or binary file";
    }
    return std::string();
}

void NoteBinary(const std::string& why) {
    Warn("bundle: " + why +
         "; the bundle is written as a binary bundle, every file uuencoded, which 'vek "
         "unbundle' gives back byte for byte");
}

int RunBundle(const Options& o) {
    if (!o.hasOutput)
        Fail("bundle: give the bundle's name with -o BUNDLE; see 'vek bundle --help'");
    const std::vector<std::string> names = SetNames(o, o.operands);
    RefuseOutputOverInput("bundle", o.output, names);
    ShareRepeatedInputs(names);
    const SetInputs set(names);
    char type = TypeOf(o, set);
    // Without -t or -b, the bundle takes the form in which 'vek unbundle',
    // given no option either, reads every file back; picking binary is said.
    const bool chosen = o.type == 0 && !o.hasTenth;
    if (chosen && type == 'B')
        NoteBinary(DisplayName(FirstBinaryFile(set)) +
                   " is binary (the library found a byte that text does not hold in its first "
                   "512 bytes)");
    TextSetScan scan = ScanTextSet(set, type, o.crlf);
    if (chosen && scan.refused >= 0) {
        NoteBinary(scan.why);
        type = 'B';
        scan = TextSetScan{};
    }
    if (scan.refused >= 0)
        Fail(scan.why +
             "; nothing was written: bundle the files with -b, or give the one binary file with "
             "--tenth");
    LoadSet(set, type);
    if (type == 'T' && !o.hasTenth) {
        const std::string trouble = TextReadingTrouble(o, 0, set);
        if (!trouble.empty() && chosen) {
            NoteBinary(trouble);
            type = 'B';
            scan = TextSetScan{};
            LoadSet(set, type);
        } else if (!trouble.empty()) {
            if (!TextReadingTrouble(o, 'T', set).empty())
                Fail(trouble +
                     ", even with -t; nothing was written: bundle the files without -t, or with "
                     "-b");
            Warn(trouble + "; give -t to 'vek unbundle' too");
        }
    }
    for (const std::string& warning : scan.warnings)
        Warn(warning);
    WriteBuffer(1, o.output, o.crlf);
    return 0;
}

}  // namespace

extern const Command kBundleCommand = {"bundle", kHelp, "tbox", true, false, RunBundle};

}  // namespace vekcli
