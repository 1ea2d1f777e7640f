// vek --help: the commands in brief; each command's own help stands in its
// file.
#include "commands/command.h"

namespace vekcli {

extern const char kProgramHelp[] =
    "usage: vek COMMAND [OPTION]... ARGUMENT...\n"
    "\n"
    "Line files and file sets through the VekWin32 library.\n"
    "\n"
    "commands:\n"
    "  diff [--windowed|--edbuf] [--crlf] [-o OUT] OLD NEW\n"
    "                             print the edit script that turns OLD into NEW\n"
    "  diff -r [-o UPDATE] OLD_DIR NEW_DIR\n"
    "                             write the update that turns one tree into another\n"
    "  patch [--crlf] [-o OUT] FILE SCRIPT\n"
    "                             apply an edit script to FILE\n"
    "  patch -r [--dry-run] DIR UPDATE\n"
    "                             apply an update to the tree DIR, all or nothing\n"
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

}  // namespace vekcli
