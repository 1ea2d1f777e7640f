// vek crc: the 16-bit checksum of line files, or of files as a bundle
// would hold them.
#include "commands/command.h"

#include <cstdio>

#include "commands/file_set.h"
#include "io/files.h"
#include "lines/buffers.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "system/platform.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

const char kHelp[] =
    "usage: vek crc [--crlf] FILE...\n"
    "       vek crc -t|-b FILE...\n"
    "       vek crc [-t] --tenth BIN FILE...\n"
    "\n"
    "Prints the 16-bit additive checksum (4 hex digits) and the name: of each\n"
    "line file as its lines (first form), or of the files as one bundle of\n"
    "type -t or -b would hold them (other forms; equal to 'vek crc' of that\n"
    "bundle). A file that cannot be read is reported and the others are done.\n"
    "\n"
    "  --crlf       the line files have CR LF line ends\n"
    "  -t, -b       the files as a text or binary bundle\n"
    "  --tenth BIN  a text set with the binary file BIN in the tenth place\n"
    "\n"
    "Exit status: 0 done, 2 trouble with any file.\n";

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
        const int rc = VekCrc(Engine(), 1, 16, &value);
        if (rc != RC_OK)
            Fail(DisplayName(name) + ": Crc failed with " + CodeText(rc));
        sum = static_cast<unsigned>(value);
    }
    std::printf("%04X  %s\n", sum, Escaped(DisplayName(name)).c_str());
}

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
        ShareRepeatedInputs(names);
        const SetInputs set(names);
        const char type = o.hasTenth ? 'T' : o.type;
        CheckTextFiles(set, type,
                       "checksum the files as a binary set with 'vek crc -b', or give the one "
                       "binary file with --tenth");
        // CrcFile sums the bundle as it is made and holds none of it, but it
        // takes a binary file it cannot open as an empty section; so every
        // binary file is first opened here as the library opens it. Should
        // one be taken from us after that, LoadFiles' status, which names
        // such a file, gives the checksum instead.
        int sum = 0;
        int rc = RC_FAILED;
        if (BinaryFilesOpen(set, type)) {
            std::vector<char> writable = Writable(set.List());
            rc = VekCrcFile(Engine(), type, writable.data(), 16, &sum);
        }
        if (rc != RC_OK) {
            LoadSet(set, type);
            rc = VekCrc(Engine(), 1, 16, &sum);
        }
        if (rc != RC_OK)
            FailForSet("Crc", rc, names);
        std::printf("%04X  %s\n", static_cast<unsigned>(sum), Escaped(JoinedNames(names)).c_str());
        return 0;
    }
    ShareRepeatedInputs(o.operands);
    return ForEachFile(o.operands,
                       [&](const std::string& name) { PrintLineFileCrc(name, o.crlf); });
}

}  // namespace

extern const Command kCrcCommand = {"crc", kHelp, "tbx", true, false, RunCrc};

}  // namespace vekcli
