// vek diff: the edit script that turns OLD into NEW.
#include "commands/command.h"

#include <string>

#include "io/files.h"
#include "report/trouble.h"
#include "scripts/diff_scripts.h"
#include "update/tree_commands.h"

namespace vekcli {

namespace {

const char kHelp[] =
    "usage: vek diff [--windowed|--edbuf] [--crlf] [-o OUT] OLD NEW\n"
    "       vek diff -r [-o UPDATE] OLD_DIR NEW_DIR\n"
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
    "With -r (--recursive), compares two trees and writes one update file that\n"
    "'vek patch -r' applies: for every path that differs, its name, kind (file,\n"
    "folder, symbolic link, never followed), mode and the SHA-256 of its old and\n"
    "new contents; a changed text file as this command's script of it, a binary\n"
    "or added file uuencoded; each file's line ends kept byte for byte. The last\n"
    "line is the SHA-256 of the rest. docs/update-format.md describes it.\n"
    "\n"
    "Exit status: 0 no differences (empty script), 1 differences (also when the\n"
    "files differ only in the line feed at the end, which no script carries),\n"
    "2 trouble (also a script refused by --edbuf or --windowed).\n";

int RunDiff(const Options& o) {
    if (o.recursive)
        return RunTreeDiff(o);
    if (o.operands.size() != 2)
        Fail("diff: give OLD and NEW; see 'vek diff --help'");
    const std::string& oldName = o.operands[0];
    const std::string& newName = o.operands[1];
    const std::string outName = o.hasOutput ? o.output : "-";
    RefuseOutputOverInput("diff", outName, {oldName, newName});
    ShareRepeatedInputs({oldName, newName});
    if (o.windowed)
        return WindowedDiff(o, oldName, newName, outName);
    return WholeFileDiff(o, oldName, newName, outName);
}

}  // namespace

extern const Command kDiffCommand = {"diff", kHelp, "ower", true, false, RunDiff};

}  // namespace vekcli
