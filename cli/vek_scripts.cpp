// vek diff and vek patch: edit scripts made, checked before they go out,
// and applied.
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "diff/whole_file.h"
#include "vek_buffers.h"
#include "vek_commands.h"
#include "vek_files.h"
#include "vek_lines.h"
#include "vek_trouble.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

// Two files that hold the same lines but differ in the line feed at the
// end are not the same; an edit script cannot carry that difference.
int FinalLineFeedStatus(const std::string& oldName, const LoadInfo& oldInfo,
                        const std::string& newName, const LoadInfo& newInfo, long scriptLines) {
    if (scriptLines != 0)
        return 1;
    if (oldInfo.unterminated == newInfo.unterminated)
        return 0;
    const std::string& open = newInfo.unterminated ? newName : oldName;
    const std::string& closed = newInfo.unterminated ? oldName : newName;
    std::fprintf(stderr,
                 "vek: %s and %s hold the same lines but differ at the end: the last line of %s "
                 "has a line feed, that of %s has none; an edit script cannot carry that, so "
                 "the script is empty; add the missing line feed, or compare the files with "
                 "cmp\n",
                 DisplayName(oldName).c_str(), DisplayName(newName).c_str(),
                 DisplayName(closed).c_str(), DisplayName(open).c_str());
    return 1;
}

std::string CommandLine(long first, long last, char letter) {
    std::string text = std::to_string(first);
    if (last != first)
        text += "," + std::to_string(last);
    return text + letter;
}

[[noreturn]] void ScriptDoesNotRebuild(const std::string& newName, const LoadInfo& newInfo,
                                       int applied, long difference) {
    if (newInfo.firstDotLine != 0)
        Fail(DisplayName(newName) + ":" + std::to_string(newInfo.firstDotLine) +
             ": the line begins with '.', which an edit script cannot carry as text, so no "
             "script rebuilds NEW; compare bundles instead: vek bundle -o old.vek OLD; vek "
             "bundle -o new.vek NEW; vek diff old.vek new.vek");
    if (applied == RC_BUFFER_FULL)
        Fail(
            "applied to OLD, the edit script would at one point hold more lines than a buffer "
            "holds (at most " +
            Grouped(kBufferLines) +
            "), so 'vek patch' could not apply it and it is not written; compare smaller parts "
            "of the files");
    std::string detail = applied != RC_OK ? "it was refused with " + CodeText(applied)
                                          : "first differing line " + std::to_string(difference);
    Fail("the edit script does not rebuild NEW (" + detail +
         "); this is a fault in the library: please report it with both files");
}

// Diff gave up (107): a script that replaces the whole text, applied to
// buffer 1 line by line so that it is checked like any other.
int WholeReplacement(const std::string& oldName, const std::string& newName,
                     const LoadInfo& newInfo, const std::string& outName, bool crlf) {
    std::fprintf(stderr,
                 "vek: a window of %s and %s holds more than 4,093 distinct lines, more than "
                 "the difference engine can class (Diff returned 107); the script replaces the "
                 "whole text instead of only the changed lines\n",
                 DisplayName(oldName).c_str(), DisplayName(newName).c_str());
    const long oldCount = BufferLineCount(1);
    const long newCount = BufferLineCount(2);
    std::string command;
    if (oldCount == 0)
        command = "0a";
    else
        command = CommandLine(1, oldCount, newCount == 0 ? 'd' : 'c');
    const bool inserts = newCount > 0;

    int rc = EdCmd(1, command.c_str());
    if (rc == RC_OK && inserts) {
        BufferReader reader(2);
        std::string_view line;
        std::string text;
        while (rc == RC_OK && reader.Next(line)) {
            text.assign(line);
            rc = EdCmd(1, text.c_str());
        }
        if (rc == RC_OK)
            rc = EdCmd(1, ".");
    }
    const long difference = rc == RC_OK ? FirstDifference(1, 2) : -1;
    if (rc != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newInfo, rc, difference);

    Output out(outName);
    out.WriteLine(command, crlf);
    if (inserts) {
        BufferReader reader(2);
        std::string_view line;
        while (reader.Next(line))
            out.WriteLine(line, crlf);
        out.WriteLine(".", crlf);
    }
    out.Commit();
    return 1;
}

// Why the interpreter refused a script line, in words.
std::string RefusalReason(std::string_view line, int rc, bool crlf, long fileLines) {
    if (rc == RC_BUFFER_FULL)
        return "the file would grow past the " + Grouped(kBufferLines) + " lines a buffer holds";
    if (!crlf && !line.empty() && line.back() == '\r')
        return "the command ends in a carriage return: the script has CR LF line ends, so "
               "give --crlf";
    if (line.empty())
        return "an empty line is not an edit command";
    const char letter = line.back();
    if (line == "." || (line.find("s/") != std::string_view::npos && letter == '/'))
        return "the script escapes a text line that begins with '.' (GNU diff writes '..' and "
               "'s/.//' for it); edit scripts here cannot carry such lines: compare bundles "
               "instead";
    if (letter != 'a' && letter != 'c' && letter != 'd')
        return std::string("'") + letter + "' is not an edit command (a, c or d)";
    return "it addresses lines outside the " + std::to_string(fileLines) +
           " lines the file held at that point: the script was made for another version of "
           "the file";
}

struct LineByLine {
    int rc = RC_OK;
    long refused = 0;  // 1-based script line EdCmd refused, 0 when none
};

// Applies the script to buffer 1 one line at a time through EdCmd, up to
// the first refused line (a refused line changes nothing).
LineByLine ApplyLineByLine(const std::vector<std::string_view>& script) {
    std::string text;
    long number = 0;
    for (const std::string_view line : script) {
        ++number;
        text.assign(line);
        const int rc = EdCmd(1, text.c_str());
        if (rc != RC_OK)
            return {rc, number};
    }
    return {};
}

// Applies the script to buffer 1 line by line. A refused line ends the
// command (exit 1) with the line and the reason.
void ApplyExplained(const std::vector<std::string_view>& script, const std::string& scriptName,
                    bool crlf) {
    const LineByLine applied = ApplyLineByLine(script);
    if (applied.rc == RC_OK)
        return;
    // Whether the refused line is inserted text, and the command inserting it.
    bool inserting = false;
    std::string_view command;
    for (long i = 0; i + 1 < applied.refused; ++i) {
        const std::string_view line = script[static_cast<std::size_t>(i)];
        if (inserting) {
            inserting = line.empty() || line[0] != '.';
        } else if (!line.empty() && (line.back() == 'a' || line.back() == 'c')) {
            inserting = true;
            command = line;
        }
    }
    const std::string text(script[static_cast<std::size_t>(applied.refused - 1)]);
    const long held = BufferLineCount(1);
    const int rc = applied.rc;
    if (inserting)
        Fail(DisplayName(scriptName) + ":" + std::to_string(applied.refused) +
                 ": the text line could not be placed: " +
                 (rc == RC_BUFFER_FULL
                      ? RefusalReason(text, rc, crlf, held)
                      : "the command \"" + std::string(command) +
                            "\" before it inserts after a line the file (then " +
                            std::to_string(held) +
                            " lines) does not have; the script was made for another version of "
                            "the file") +
                 "; nothing was written",
             1);
    Fail(DisplayName(scriptName) + ":" + std::to_string(applied.refused) + ": the edit command \"" +
             text + "\" was refused: " + RefusalReason(text, rc, crlf, held) +
             "; nothing was written",
         1);
}

// EdBuf stopped at a refused line but does not say which: apply the script
// again, line by line, to a fresh copy of the file to find it.
[[noreturn]] void ExplainRefusal(const Options& o, std::FILE* keptInput, int edRc,
                                 const std::vector<std::string_view>& script) {
    const std::string& fileName = o.operands[0];
    if (InitBuf(1) != RC_OK)
        Fail("InitBuf failed");
    if (keptInput != nullptr) {
        std::rewind(keptInput);
        Input in(keptInput, DisplayName(fileName));
        LineLoader(1, in, o.crlf).Load();
    } else {
        Input in(fileName);
        LineLoader(1, in, o.crlf).Load();
    }
    ApplyExplained(script, o.operands[1], o.crlf);
    Fail("EdBuf refused the script with " + CodeText(edRc) +
         " but applying it line by line did not; this is a fault in the library");
}

// Lines that begin the other forms of diff output: unified ("--- ",
// "+++ ", "@@ "), context ("*** ", "***************") and their headers.
bool ForeignDiffLine(std::string_view line) {
    for (const char* prefix :
         {"--- ", "+++ ", "@@ -", "*** ", "***************", "diff ", "Index: ", "index "})
        if (StartsWith(line, prefix))
            return true;
    return false;
}

// Refused before applying: a unified or context diff, which would be read
// as commands and text; a script whose last insertion has no closing line,
// which would leave text out and the target in insert mode.
void CheckScriptForm(const std::string& scriptName, const std::vector<std::string_view>& script) {
    bool inserting = false;
    long start = 0;
    long number = 0;
    for (const std::string_view line : script) {
        ++number;
        if (!inserting && ForeignDiffLine(line)) {
            const bool context = StartsWith(line, "*** ") || StartsWith(line, "***************");
            Fail(DisplayName(scriptName) + ":" + std::to_string(number) + ": this is a " +
                     (context ? "context" : "unified") + " diff (as 'diff " +
                     (context ? "-c" : "-u") +
                     "' writes), not an edit script; vek patch applies edit scripts as 'vek "
                     "diff' and 'diff -e' write them: apply this one with patch(1), or make an "
                     "edit script with 'vek diff'; nothing was written",
                 1);
        }
        if (inserting) {
            if (!line.empty() && line[0] == '.')
                inserting = false;
        } else if (!line.empty() && (line.back() == 'a' || line.back() == 'c')) {
            inserting = true;
            start = number;
        }
    }
    if (inserting)
        Fail(DisplayName(scriptName) + ":" + std::to_string(start) +
                 ": the insertion that begins here has no closing '.' line: the script is cut "
                 "short; get the whole script; nothing was written",
             1);
}

// The Diff export's script: windows of 2,500 lines aligned by line number.
int WindowedDiff(const Options& o, const std::string& oldName, const std::string& newName,
                 const std::string& outName) {
    ResetBuffers();
    LoadInfo oldInfo;
    LoadFile(1, oldName, o.crlf, &oldInfo);
    LoadInfo newInfo;
    LoadFile(2, newName, o.crlf, &newInfo);

    const int rc = Diff(1, 2, 3);
    if (rc == RC_DIFF_FAILED)
        return WholeReplacement(oldName, newName, newInfo, outName, o.crlf);
    if (rc == RC_BUFFER_FULL)
        Fail("the edit script from " + DisplayName(oldName) + " to " + DisplayName(newName) +
             " would take more lines than a buffer holds (at most " + Grouped(kBufferLines) +
             "); the files differ too much for one script: keep the new file whole, or compare "
             "smaller parts");
    if (rc != RC_OK)
        Fail("Diff failed with " + CodeText(rc));

    // Check the script before it goes out: applied to OLD it must give NEW.
    // Buffer 1 (OLD) is not needed any more, so the script is applied there.
    const int applied = EdBuf(3, 1);
    const long difference = applied == RC_OK ? FirstDifference(1, 2) : -1;
    if (applied != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newInfo, applied, difference);
    const long scriptLines = BufferLineCount(3);
    WriteBuffer(3, outName, o.crlf);
    return FinalLineFeedStatus(oldName, oldInfo, newName, newInfo, scriptLines);
}

[[noreturn]] void NoMemoryToCompare(const std::string& oldName, const std::string& newName) {
    Fail("not enough memory to compare " + DisplayName(oldName) + " and " + DisplayName(newName) +
         "; close other programs, or compare smaller parts");
}

// The whole-file script: both files compared at once by the engine's
// whole-file difference, then checked through the exports like any other.
int WholeFileDiff(const Options& o, const std::string& oldName, const std::string& newName,
                  const std::string& outName) {
    LineFile oldFile;
    LineFile newFile;
    ReadLineFiles(oldName, newName, o.crlf, oldFile, newFile);
    vek::EditScript script;
    try {
        script = vek::DiffSequences(oldFile.lines.data(), oldFile.lines.size(),
                                    newFile.lines.data(), newFile.lines.size());
    } catch (const std::bad_alloc&) {
        NoMemoryToCompare(oldName, newName);
    } catch (const vek::OutOfMemory&) {
        NoMemoryToCompare(oldName, newName);
    }
    const std::vector<std::string_view>& lines = script.Lines();

    // Check the script before it goes out: applied to OLD through the
    // library, as 'vek patch' applies it, it must give NEW.
    ResetBuffers();
    if (oldName != "-" && IsRegularFile(oldName)) {
        // Read again rather than copied from memory, so that vek never holds
        // OLD twice: its own copy is given back first.
        oldFile.Release();
        Input in(oldName);
        LineLoader(1, in, o.crlf).Load();
    } else {
        AppendLines(1, oldFile.lines, DisplayName(oldName));
        oldFile.Release();
    }
    int applied = RC_OK;
    if (static_cast<long>(lines.size()) <= kBufferLines) {
        AppendLines(3, lines, "the edit script");
        applied = EdBuf(3, 1);
        InitBuf(3);
    } else {
        applied = ApplyLineByLine(lines).rc;
    }
    const long difference = applied == RC_OK ? FirstDifferenceFrom(1, newFile.lines) : -1;
    if (applied != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newFile.info, applied, difference);

    Output out(outName);
    for (const std::string_view line : lines)
        out.WriteLine(line, o.crlf);
    out.Commit();
    return FinalLineFeedStatus(oldName, oldFile.info, newName, newFile.info,
                               static_cast<long>(lines.size()));
}

}  // namespace

int RunDiff(const Options& o) {
    if (o.operands.size() != 2)
        Fail("diff: give OLD and NEW; see 'vek diff --help'");
    const std::string& oldName = o.operands[0];
    const std::string& newName = o.operands[1];
    if (oldName == "-" && newName == "-")
        Fail("diff: only one of OLD and NEW can be standard input");
    const std::string outName = o.hasOutput ? o.output : "-";
    RefuseOutputOverInput("diff", outName, {oldName, newName});
    if (o.windowed)
        return WindowedDiff(o, oldName, newName, outName);
    return WholeFileDiff(o, oldName, newName, outName);
}

int RunPatch(const Options& o) {
    if (o.operands.size() != 2)
        Fail("patch: give FILE and SCRIPT; see 'vek patch --help'");
    const std::string& fileName = o.operands[0];
    const std::string& scriptName = o.operands[1];
    if (fileName == "-" && scriptName == "-")
        Fail("patch: only one of FILE and SCRIPT can be standard input");
    // -o FILE patches in place (the result replaces FILE whole); the script
    // is still needed when it is read again to explain a refusal.
    RefuseOutputOverInput("patch", o.hasOutput ? o.output : "-", {scriptName});
    ResetBuffers();
    // Standard input cannot be read twice; keep a copy in case the script is
    // refused and the refused line has to be found.
    const OwnedFile kept(fileName == "-" ? std::tmpfile() : nullptr);
    LoadFile(1, fileName, o.crlf, nullptr, kept.get());
    const LineFile script = ReadLineFile(scriptName, o.crlf, true);
    WarnAboutReading(script);
    CheckScriptForm(scriptName, script.lines);

    if (static_cast<long>(script.lines.size()) > kBufferLines) {
        // More lines than a buffer holds: fed to the file line by line.
        ApplyExplained(script.lines, scriptName, o.crlf);
    } else {
        AppendLines(2, script.lines, DisplayName(scriptName));
        const int rc = EdBuf(2, 1);
        if (rc != RC_OK) {
            if (fileName == "-" && !kept)
                Fail(DisplayName(scriptName) + ": the script was refused (" + CodeText(rc) +
                         "): it does not fit the file; nothing was written",
                     1);
            ExplainRefusal(o, kept.get(), rc, script.lines);
        }
    }
    WriteBuffer(1, o.hasOutput ? o.output : "-", o.crlf);
    return 0;
}

}  // namespace vekcli
