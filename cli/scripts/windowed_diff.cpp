// vek diff --windowed: the Diff export's script, applied through EdBuf
// and compared with NEW before it goes out.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "io/files.h"
#include "lines/buffers.h"
#include "report/trouble.h"
#include "scripts/diff_scripts.h"
#include "scripts/script_applier.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

std::string CommandLine(long first, long last, char letter) {
    std::string text = std::to_string(first);
    if (last != first)
        text += "," + std::to_string(last);
    return text + letter;
}

// The script of the Diff export cannot rebuild NEW. `dotLine`: NEW's first
// line that the script inserts and that begins with '.' (with `inserted`),
// else NEW's first line that begins with '.'; 0 when none.
[[noreturn]] void ScriptDoesNotRebuild(const std::string& newName, long dotLine, bool inserted,
                                       int applied, long difference) {
    if (dotLine != 0)
        Fail(DisplayName(newName) + ":" + std::to_string(dotLine) +
             (inserted ? ": the script would insert this line, which begins with '.'"
                       : ": the line begins with '.'") +
             "; EdBuf ends inserted "
             "text at such a line, so no script of the Diff call rebuilds NEW; leave out "
             "--windowed for a script in ed's form, which 'vek patch' and ed apply, or compare "
             "bundles: vek bundle -o old.vek OLD; vek bundle -o new.vek NEW; vek diff old.vek "
             "new.vek");
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

    int rc = VekEdCmd(Engine(), 1, command.c_str());
    if (rc == RC_OK && inserts) {
        BufferReader reader(2);
        std::string_view line;
        std::string text;
        while (rc == RC_OK && reader.Next(line)) {
            text.assign(line);
            rc = VekEdCmd(Engine(), 1, text.c_str());
        }
        if (rc == RC_OK)
            rc = VekEdCmd(Engine(), 1, ".");
    }
    const long difference = rc == RC_OK ? FirstDifference(1, 2) : -1;
    if (rc != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newInfo.firstDotLine, true, rc, difference);

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

std::vector<std::string> BufferCopy(int buf) {
    std::vector<std::string> lines;
    BufferReader reader(buf);
    std::string_view line;
    while (reader.Next(line))
        lines.emplace_back(line);
    return lines;
}

// NEW's (buffer `target`) first line that the Diff export's script in
// buffer `buf` inserts and that begins with '.', 0 when none or when the
// script cannot be read. Diff writes every text line as it is, so a text
// line "." is told from the closing one by what follows it; the reading is
// checked against NEW.
long InsertedDotLine(int buf, int target) {
    const std::vector<std::string> script = BufferCopy(buf);
    struct Command {
        long before;  // lines of the old file before the text
        long deleted;
        std::vector<std::size_t> texts;
    };
    std::vector<Command> commands;
    for (std::size_t i = 0; i < script.size(); ++i) {
        const std::string& line = script[i];
        if (!IsCommandLine(line))
            return 0;
        const char letter = line.back();
        const long first = std::atol(line.c_str());
        const std::size_t comma = line.find(',');
        const long last = comma == std::string::npos ? first : std::atol(line.c_str() + comma + 1);
        Command command{
            letter == 'a' ? first : first - 1, letter == 'a' ? 0 : last - first + 1, {}};
        if (letter != 'd') {
            for (++i; i < script.size(); ++i) {
                if (script[i] == "." && (i + 1 == script.size() || IsCommandLine(script[i + 1])))
                    break;
                command.texts.push_back(i);
            }
        }
        commands.push_back(std::move(command));
    }
    const std::vector<std::string> newLines = BufferCopy(target);
    long found = 0;
    long shift = 0;  // lines the commands below have added
    for (auto c = commands.rbegin(); c != commands.rend(); ++c) {
        for (std::size_t k = 0; k < c->texts.size(); ++k) {
            const long number = c->before + shift + static_cast<long>(k) + 1;
            const std::string& text = script[c->texts[k]];
            if (number < 1 || number > static_cast<long>(newLines.size()) ||
                newLines[static_cast<std::size_t>(number - 1)] != text)
                return 0;
            if (found == 0 && StartsWith(text, "."))
                found = number;
        }
        shift += static_cast<long>(c->texts.size()) - c->deleted;
    }
    return found;
}

// The Diff export's script: windows of 2,500 lines aligned by line number.
}  // namespace

int WindowedDiff(const Options& o, const std::string& oldName, const std::string& newName,
                 const std::string& outName) {
    ResetBuffers();
    LoadInfo oldInfo;
    LoadFile(1, oldName, o.crlf, &oldInfo);
    LoadInfo newInfo;
    LoadFile(2, newName, o.crlf, &newInfo);

    const int rc = VekDiff(Engine(), 1, 2, 3);
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
    const int applied = VekEdBuf(Engine(), 3, 1);
    const long difference = applied == RC_OK ? FirstDifference(1, 2) : -1;
    if (applied != RC_OK || difference != 0) {
        const long inserted = newInfo.firstDotLine != 0 ? InsertedDotLine(3, 2) : 0;
        ScriptDoesNotRebuild(newName, inserted != 0 ? inserted : newInfo.firstDotLine,
                             inserted != 0, applied, difference);
    }
    const long scriptLines = BufferLineCount(3);
    WriteBuffer(3, outName, o.crlf);
    return FinalLineFeedStatus(oldName, oldInfo, newName, newInfo, scriptLines);
}

}  // namespace vekcli
