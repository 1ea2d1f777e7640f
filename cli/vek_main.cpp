// vek: everyday jobs on line files and file sets through the VekWin32
// exports: differences as edit scripts, applying them, bundles, checksums.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform.h"
#include "vek_commands.h"
#include "vek_temps.h"
#include "vek_trouble.h"
#include "vekwin32.h"

namespace {

using vekcli::Options;

const char kProgramHelp[] =
    "usage: vek COMMAND [OPTION]... ARGUMENT...\n"
    "\n"
    "Line files and file sets through the VekWin32 library.\n"
    "\n"
    "commands:\n"
    "  diff [--windowed|--edbuf] [--crlf] [-o OUT] OLD NEW\n"
    "                             print the edit script that turns OLD into NEW\n"
    "  patch [--crlf] [-o OUT] FILE SCRIPT\n"
    "                             apply an edit script to FILE\n"
    "  bundle [-t|-b] [--crlf] [--tenth BIN] -o BUNDLE FILE...\n"
    "                             keep up to ten files as one bundle of lines\n"
    "  unbundle [-t|-b] [--crlf] [--lf] [--tenth BIN] BUNDLE FILE...\n"
    "                             write a bundle's files back under the given names\n"
    "  crc [--crlf] FILE...  |  crc -t|-b FILE...  |  crc [-t] --tenth BIN FILE...\n"
    "                             16-bit checksum of line files, or of files as a bundle\n"
    "  type FILE...               text or binary\n"
    "\n"
    "'-' names standard input or output where a line file is read or written;\n"
    "'--' ends the options: every argument after it is a name, even one that\n"
    "begins with '-'.\n"
    "--crlf reads and writes line files with CR LF line ends (the form WriteBuf saves).\n"
    "-o FILE, -oFILE, --output FILE and --output=FILE are the same.\n"
    "vek --version prints the version; -h or --help, alone or after a command, help.\n"
    "Exit status: 0 done (no differences), 1 differences found or script refused,\n"
    "2 trouble. 'vek COMMAND --help' describes each command; " VEK_MANUAL " has the rest.\n";

const char kDiffHelp[] =
    "usage: vek diff [--windowed|--edbuf] [--crlf] [-o OUT] OLD NEW\n"
    "\n"
    "Writes the edit script that turns the line file OLD into NEW (lines such as\n"
    "'5,7c', text lines and '.', last change first) to standard output or OUT,\n"
    "in ed's form, as 'diff -e' writes it: a text line that is exactly '.' is\n"
    "written as '..', '.', 's/.//' and, when more text follows, 'a'. Before it\n"
    "writes, vek applies the script to OLD as 'vek patch' does and compares the\n"
    "result with NEW.\n"
    "\n"
    "By default both files are compared whole: the script is as short as the\n"
    "changes allow (fewest deleted plus inserted lines, as 'diff --minimal' counts\n"
    "them, on all but large and very different files), wherever lines moved.\n"
    "The library's EdBuf ends inserted text at any line that begins with '.', so\n"
    "it cannot apply a script that inserts such a line: vek writes the script and\n"
    "names NEW's first such line on standard error.\n"
    "\n"
    "  --edbuf  refuse such a script instead (nothing is written): for scripts\n"
    "           that a host applies with EdBuf\n"
    "  --windowed  the script of the library's Diff call instead: the files are\n"
    "           compared in windows of 2,500 lines aligned by line number, so a\n"
    "           line inserted or deleted early shifts every later window and the\n"
    "           script grows; use it to get exactly what Diff gives other hosts;\n"
    "           checked through EdBuf, it refuses to insert lines that begin with '.'\n"
    "  --crlf   OLD, NEW and the script use CR LF line ends\n"
    "  -o OUT, --output=OUT\n"
    "           write the script to OUT (not OLD or NEW) instead of standard output\n"
    "\n"
    "Exit status: 0 no differences (empty script), 1 differences (also when the\n"
    "files differ only in the line feed at the end, which no script carries),\n"
    "2 trouble (also a script refused by --edbuf or --windowed).\n";

const char kPatchHelp[] =
    "usage: vek patch [--crlf] [-o OUT] FILE SCRIPT\n"
    "\n"
    "Applies the edit script SCRIPT, as 'vek diff' and 'diff -e' write it, to the\n"
    "line file FILE exactly as ed would, and writes the result to standard output\n"
    "or OUT (OUT may be FILE). The result is written straight out, not through the\n"
    "library's buffers, so FILE may hold any number of lines.\n"
    "\n"
    "SCRIPT is read strictly: a command is N or N,M in decimal, with no spaces,\n"
    "then a, c or d; after a or c every line up to one that is exactly '.' is\n"
    "text; 's/.//' and a bare 'a' are taken only right after an escaped '..'\n"
    "line and its closing '.'; commands go from the end of the file towards its\n"
    "start and must name lines FILE has. Anything else, a normal, unified or\n"
    "context diff included, is refused: vek names the line and the reason and\n"
    "writes nothing.\n"
    "\n"
    "  --crlf   FILE, SCRIPT and the result use CR LF line ends\n"
    "  -o OUT, --output=OUT\n"
    "           write the result to OUT instead of standard output; OUT may be\n"
    "           FILE (patched in place" VEK_IN_PLACE_KEEPS
    "), not SCRIPT\n"
    "\n"
    "Exit status: 0 applied, 1 script refused, 2 trouble.\n";

const char kBundleHelp[] =
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

const char kUnbundleHelp[] =
    "usage: vek unbundle [-t|-b] [--crlf] [--lf] [--tenth BIN] BUNDLE FILE...\n"
    "\n"
    "Writes the files of BUNDLE back under the names given, in order; there\n"
    "must be one name per file of the bundle.\n"
    "\n"
    "  -t, -b   the bundle's type; without them it is read from the bundle, and a\n"
    "           bundle that reads validly both ways is refused (so give -b for a\n"
    "           bundle made with 'vek bundle -b')\n"
    "  --crlf   the bundle has CR LF line ends\n"
    "  --lf     write text files with LF line ends (the library writes CR LF)\n"
    "  --tenth BIN  the bundle was made with --tenth: BIN names its tenth file\n"
    "\n"
    "All or nothing: every target must be a plain file or new (a symbolic link\n"
    "is followed and kept); the files are written under temporary names beside\n"
    "their targets and moved in place only when every one is complete; a\n"
    "failure, SIGINT, SIGTERM or SIGHUP leaves every target as it was.\n"
    "Exit status: 0 done, 2 trouble.\n";

const char kCrcHelp[] =
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

const char kTypeHelp[] =
    "usage: vek type FILE...\n"
    "\n"
    "Prints 'text' or 'binary' and the name of each file, as the library\n"
    "judges it from the first 512 bytes. A file that cannot be read is reported\n"
    "and the others are done.\n"
    "\n"
    "Exit status: 0 done, 2 trouble with any file.\n";

struct Command {
    const char* name;
    const char* help;
    // flags taken: "t", "b", "o", "x" (--tenth), "w" (--windowed), "e" (--edbuf)
    const char* flags;
    bool crlf;
    bool lf;
    int (*run)(const Options&);
};

const Command kCommands[] = {
    {"diff", kDiffHelp, "owe", true, false, vekcli::RunDiff},
    {"patch", kPatchHelp, "o", true, false, vekcli::RunPatch},
    {"bundle", kBundleHelp, "tbox", true, false, vekcli::RunBundle},
    {"unbundle", kUnbundleHelp, "tbx", true, true, vekcli::RunUnbundle},
    {"crc", kCrcHelp, "tbx", true, false, vekcli::RunCrc},
    {"type", kTypeHelp, "", false, false, vekcli::RunType},
};

[[noreturn]] void UsageError(const Command& command, const std::string& message) {
    vekcli::Fail(std::string(command.name) + ": " + message + "; see 'vek " + command.name +
                 " --help'");
}

bool Takes(const Command& command, char flag) {
    return std::strchr(command.flags, flag) != nullptr;
}

// Returns true when --help was asked for.
bool ParseOptions(const Command& command, int argc, char** argv, Options& options) {
    bool onlyOperands = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyOperands || arg == "-" || arg.empty() || arg[0] != '-') {
            options.operands.push_back(arg);
        } else if (arg == "--") {
            onlyOperands = true;
        } else if (arg == "--help" || arg == "-h") {
            return true;
        } else if (arg == "--crlf" && command.crlf) {
            options.crlf = true;
        } else if (arg == "--lf" && command.lf) {
            options.lf = true;
        } else if (arg == "--windowed" && Takes(command, 'w')) {
            options.windowed = true;
        } else if (arg == "--edbuf" && Takes(command, 'e')) {
            options.edbuf = true;
        } else if ((arg == "-t" || arg == "-b") && Takes(command, arg[1])) {
            const char type = arg == "-t" ? 'T' : 'B';
            if (options.type != 0 && options.type != type)
                UsageError(command, "give -t or -b, not both");
            options.type = type;
        } else if (arg == "--tenth" && Takes(command, 'x')) {
            if (options.hasTenth || i + 1 >= argc)
                UsageError(command, "--tenth needs one file name");
            options.tenth = argv[++i];
            options.hasTenth = true;
        } else if ((arg.rfind("-o", 0) == 0 || arg == "--output" ||
                    arg.rfind("--output=", 0) == 0) &&
                   Takes(command, 'o')) {
            if (options.hasOutput)
                UsageError(command, "-o given twice");
            if (arg.rfind("--output=", 0) == 0) {
                options.output = arg.substr(9);
            } else if (arg.size() > 2 && arg != "--output") {
                options.output = arg.substr(2);
            } else {
                if (i + 1 >= argc)
                    UsageError(command, "-o needs a file name");
                options.output = argv[++i];
            }
            if (options.output.empty())
                UsageError(command, "-o needs a file name");
            options.hasOutput = true;
        } else {
            UsageError(command, "unknown option '" + arg + "'");
        }
    }
    if (options.windowed && options.edbuf)
        UsageError(command,
                   "give --windowed or --edbuf, not both (--windowed scripts are always fit "
                   "for EdBuf)");
    return false;
}

int Main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kProgramHelp, stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        if (name == "help" && argc > 2) {
            for (const Command& command : kCommands)
                if (argv[2] == std::string(command.name)) {
                    std::fputs(command.help, stdout);
                    return 0;
                }
        }
        std::fputs(kProgramHelp, stdout);
        return 0;
    }
    if (name == "--version") {
        std::puts("vek " VEKWIN32_VERSION_STRING " (VekWin32 library)");
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name != command.name)
            continue;
        Options options;
        if (ParseOptions(command, argc - 2, argv + 2, options)) {
            std::fputs(command.help, stdout);
            return 0;
        }
        return command.run(options);
    }
    vekcli::Fail("unknown command '" + name + "'; see 'vek --help'");
}

}  // namespace

int main(int argc, char** argv) {
    // A closed standard stream is held by the null device, so that no file
    // vek opens becomes standard input or output.
    vekcli::platform::GuardStandardStreams();
    vekcli::InstallTemporaryCleanup();
    // Line files and reports go out byte for byte, LF stays LF.
    vekcli::platform::SetBinary(stdout);
    try {
        const int status = Main(argc, argv);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            vekcli::Fail("standard output: write error; is the disk full?");
        return status;
    } catch (const vekcli::Trouble& trouble) {
        vekcli::ReportTrouble(trouble.message);
        return trouble.status;
    } catch (const std::bad_alloc&) {
        const std::string work = vekcli::CurrentWork();
        vekcli::ReportTrouble("memory ran out" + (work.empty() ? std::string() : " while " + work) +
                              "; free some memory or give smaller files; no file was changed");
        return 2;
    } catch (const std::exception& failure) {
        vekcli::ReportTrouble(failure.what());
        return 2;
    }
}
