// Edit scripts read by ed's rules, as 'diff -e' writes them, and applied in
// one pass over the file: the one applier behind 'vek patch' and behind the
// check that 'vek diff' makes before a script goes out.
//
// The grammar, and nothing looser:
//   command   N or N,M in decimal (no sign, no spaces, N <= M), then a, c or
//             d; only "a" takes N = 0 (insert before the first line)
//   text      after a or c, every line up to a line that is exactly "."
//   escape    a text line that is exactly "." is written as "..", the
//             closing ".", then "s/.//" (which makes the ".." line ".") and,
//             when more text follows, a bare "a" that goes on inserting
//             after it; "s/.//" and the bare "a" are taken only there
// Commands descend: each one touches only lines before those the one before
// it touched (two insertions after one line may follow each other: the
// later text goes first), so every address is a line number of the
// unchanged file and the script can be applied while the file streams
// through from its start.
// On a script of this grammar without escapes, the result is the one the
// library's EdBuf gives; EdBuf itself ends text at any line that begins
// with '.', so it cannot apply a script whose text holds such lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vekcli {

struct ScriptCommand {
    char letter = 0;      // 'a', 'c' or 'd'
    long long first = 0;  // a: the line the text goes after (0: before line 1)
    long long last = 0;   // c, d: the last line of the range; a: equals first
    long scriptLine = 0;  // 1-based line of the script that holds the command
    // The script lines of its text as 0-based indexes [textBegin, textEnd),
    // escapes included, the closing "." not.
    std::size_t textBegin = 0;
    std::size_t textEnd = 0;
};

// Why a script was refused, and where.
struct ScriptRefusal {
    long line = 0;  // 1-based line of the script; 0: the script was not refused
    std::string reason;
};

class EdScript {
  public:
    // Reads the lines of a script (without line feeds). False at the first
    // line that breaks the grammar or does not descend, with `refusal` set;
    // the commands before it are kept. `lines` must outlive the script.
    bool Read(const std::vector<std::string_view>& lines, ScriptRefusal& refusal);

    // Refuses a script whose first command (the one with the highest
    // addresses) names lines a file of `fileLines` lines does not have.
    bool FitsFile(long long fileLines, ScriptRefusal& refusal) const;

    const std::vector<ScriptCommand>& Commands() const noexcept { return m_commands; }
    // The lines a file must hold for the script to apply.
    long long LinesNeeded() const noexcept;

    // Calls insert(text) for every line the command inserts, escapes
    // undone.
    template <class Insert>
    void ForEachText(const ScriptCommand& command, Insert insert) const {
        const std::vector<std::string_view>& lines = *m_lines;
        for (std::size_t i = command.textBegin; i < command.textEnd; ++i) {
            // "..", ".", "s/.//" (and "a" when more text follows): a line ".".
            if (lines[i] == ".." && i + 1 < command.textEnd && lines[i + 1] == ".") {
                insert(std::string_view(lines[i].data(), 1));
                i += 2;
                if (i + 1 < command.textEnd)
                    ++i;
                continue;
            }
            insert(lines[i]);
        }
    }

  private:
    const std::vector<std::string_view>* m_lines = nullptr;
    std::vector<ScriptCommand> m_commands;  // in script order: descending
};

// Applies the script, from the first line of the file to its last, through
// a sink with three calls:
//   Copy(n)   the next n lines of the file go to the result
//   Skip(n)   the next n lines of the file are deleted
//   Insert(t) the line t goes to the result
// then Copy(-1): the rest of the file. The script must fit the file
// (EdScript::FitsFile).
template <class Sink>
void ApplyScript(const EdScript& script, Sink& sink) {
    const std::vector<ScriptCommand>& commands = script.Commands();
    long long done = 0;  // lines of the file handed on so far
    for (auto command = commands.rbegin(); command != commands.rend(); ++command) {
        const long long before = command->letter == 'a' ? command->first : command->first - 1;
        if (before > done)
            sink.Copy(before - done);
        done = before;
        if (command->letter != 'a') {
            sink.Skip(command->last - command->first + 1);
            done = command->last;
        }
        script.ForEachText(*command, [&sink](std::string_view text) { sink.Insert(text); });
    }
    sink.Copy(-1);
}

// Whether the line is a command of the grammar ("5,7c", "4a", "3d"),
// whatever its addresses name.
bool IsCommandLine(std::string_view line);

// What kind of diff output a line that is not an edit command begins, as
// words ("a unified diff (as 'diff -u' writes)"), or empty when none.
std::string ForeignDiffKind(std::string_view line);

}  // namespace vekcli
