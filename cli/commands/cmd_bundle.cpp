// vek bundle: up to ten files kept as one bundle of lines, written
// through LoadFiles and the buffer.
#include "commands/command.h"

#include "commands/file_set.h"
#include "io/files.h"
#include "io/utf16.h"
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
    "           without -t or -b the library decides from the files' first 512 bytes\n"
    "  --tenth BIN  a text set (up to nine FILEs) with the binary file BIN in the\n"
    "           tenth place, the place of a text bundle that is always binary\n"
    "  --crlf   write the bundle with CR LF line ends\n"
    "  -o BUNDLE, --output=BUNDLE\n"
    "           the bundle to write ('-': standard output); not one of the FILEs\n"
    "\n"
    "Text files come back with CR LF line ends (see 'vek unbundle --lf'), and with\n"
    "a line feed at the end: vek warns of a text file without one.\n"
    "Exit status: 0 done, 2 trouble.\n";

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

}  // namespace

extern const Command kBundleCommand = {"bundle", kHelp, "tbox", true, false, RunBundle};

}  // namespace vekcli
