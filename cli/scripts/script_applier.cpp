#include "scripts/script_applier.h"

#include <string>

namespace vekcli {

namespace {

// Addresses past this are refused as past the end of any file (no file of
// this many lines fits in memory), so that reading them never overflows.
constexpr long long kAddressCeiling = 1LL << 40;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads decimal digits from `at`; -1 when there are none.
long long ReadNumber(std::string_view line, std::size_t& at) {
    if (at >= line.size() || !IsDigit(line[at]))
        return -1;
    long long value = 0;
    for (; at < line.size() && IsDigit(line[at]); ++at)
        if (value < kAddressCeiling)
            value = value * 10 + (line[at] - '0');
    return value;
}

// Reads "N" or "N,M" and the letter a, c or d after it, from `at` on;
// the letter, or 0 when the text there is not of that form.
char ReadAddressesAndLetter(std::string_view line, std::size_t& at) {
    if (ReadNumber(line, at) < 0)
        return 0;
    if (at < line.size() && line[at] == ',' && ReadNumber(line, ++at) < 0)
        return 0;
    if (at >= line.size() || (line[at] != 'a' && line[at] != 'c' && line[at] != 'd'))
        return 0;
    return line[at++];
}

// "49a50", "5,7c5,8", "3d2": the command of a normal diff.
bool NormalDiffCommand(std::string_view line) {
    std::size_t at = 0;
    if (ReadAddressesAndLetter(line, at) == 0 || ReadNumber(line, at) < 0)
        return false;
    if (at < line.size() && line[at] == ',' && ReadNumber(line, ++at) < 0)
        return false;
    return at == line.size();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The command's place in half lines, for the order of commands: a range
// covers [2 first, 2 last], an insertion after line N sits at 2N + 1.
long long HighKey(const ScriptCommand& c) {
    return c.letter == 'a' ? 2LL * c.first + 1 : 2LL * c.last;
}
long long LowKey(const ScriptCommand& c) {
    return c.letter == 'a' ? 2LL * c.first + 1 : 2LL * c.first;
}

// Whether `c` may follow `previous`. Two insertions after the same line may
// follow each other, as the Diff export writes them where one window ends
// and the next begins: ed puts the later one's text before the earlier one's.
bool ComesBefore(const ScriptCommand& c, const ScriptCommand& previous) {
    if (c.letter == 'a' && previous.letter == 'a' && c.first == previous.first)
        return true;
    return HighKey(c) < LowKey(previous);
}

std::string Address(const ScriptCommand& c) {
    std::string text = std::to_string(c.first);
    if (c.letter != 'a' && c.last != c.first)
        text += "," + std::to_string(c.last);
    return text + c.letter;
}

// Why `line`, met where a command belongs, is not one.
std::string NotACommand(std::string_view line) {
    if (line.empty())
        return "an empty line is not an edit command";
    if (line == ".")
        return "a '.' line closes inserted text, but no text is being inserted here";
    if (line == "s/.//")
        return "'s/.//' is taken only right after an escaped '..' text line and its closing "
               "'.', where 'diff -e' writes it";
    if (line == "a")
        return "an 'a' without a line number is taken only right after such an 's/.//', "
               "where 'diff -e' writes it";
    const std::string kind = ForeignDiffKind(line);
    if (!kind.empty())
        return "this is " + kind +
               ", not an edit script; vek patch applies edit scripts as 'vek diff' and "
               "'diff -e' write them: apply this one with patch(1), or make an edit script "
               "with 'vek diff'";
    if (line.back() == '\r')
        return "the line ends in a carriage return: the script has CR LF line ends, so give "
               "--crlf";
    std::size_t at = 0;
    if (ReadNumber(line, at) < 0)
        return "an edit command begins with a line number in decimal (N or N,M), with no "
               "spaces before it";
    if (at < line.size() && line[at] == ',') {
        ++at;
        if (ReadNumber(line, at) < 0)
            return "after the comma comes the last line number of the range, with no spaces";
    }
    if (at == line.size())
        return "the line numbers are not followed by a command (a, c or d)";
    const char letter = line[at];
    if (letter == ',')
        return "a range is two line numbers, N,M, not more";
    if (letter != 'a' && letter != 'c' && letter != 'd')
        return std::string("'") + letter + "' is not an edit command (a, c or d)";
    return "nothing may follow the command letter '" + std::string(1, letter) + "'";
}

}  // namespace

bool IsCommandLine(std::string_view line) {
    std::size_t at = 0;
    return ReadAddressesAndLetter(line, at) != 0 && at == line.size();
}

std::string ForeignDiffKind(std::string_view line) {
    if (NormalDiffCommand(line))
        return "a normal diff (as 'diff' writes without -e)";
    for (const char* prefix : {"--- ", "+++ ", "@@ -"})
        if (StartsWith(line, prefix))
            return "a unified diff (as 'diff -u' writes)";
    for (const char* prefix : {"*** ", "***************"})
        if (StartsWith(line, prefix))
            return "a context diff (as 'diff -c' writes)";
    for (const char* prefix : {"diff ", "Index: ", "index "})
        if (StartsWith(line, prefix))
            return "the header of a diff for patch(1)";
    return {};
}

bool EdScript::Read(const std::vector<std::string_view>& lines, ScriptRefusal& refusal) {
    enum class State { kCommand, kText, kAfterEscape, kAfterSubstitute };
    m_lines = &lines;
    m_commands.clear();
    State state = State::kCommand;
    std::size_t runStart = 0;  // index of the first line of the current run of text
    long runLine = 0;          // the script line that began that run
    long number = 0;
    auto refuse = [&](std::string reason) {
        refusal.line = number;
        refusal.reason = std::move(reason);
        return false;
    };
    for (const std::string_view line : lines) {
        const auto index = static_cast<std::size_t>(number++);
        if (state == State::kText) {
            if (line != ".")
                continue;
            m_commands.back().textEnd = index;
            const bool escaped = index > runStart && lines[index - 1] == "..";
            state = escaped ? State::kAfterEscape : State::kCommand;
            continue;
        }
        if (state == State::kAfterEscape && line == "s/.//") {
            m_commands.back().textEnd = index + 1;
            state = State::kAfterSubstitute;
            continue;
        }
        if (state == State::kAfterSubstitute && line == "a") {
            state = State::kText;
            runStart = index + 1;
            runLine = number;
            continue;
        }
        state = State::kCommand;

        // N or N,M, then a, c or d.
        std::size_t at = 0;
        ScriptCommand command;
        const long long first = ReadNumber(line, at);
        long long last = first;
        const bool range = first >= 0 && at < line.size() && line[at] == ',';
        if (range) {
            ++at;
            last = ReadNumber(line, at);
        }
        if (first < 0 || last < 0 || at + 1 != line.size() ||
            (line[at] != 'a' && line[at] != 'c' && line[at] != 'd'))
            return refuse(NotACommand(line));
        command.letter = line[at];
        if (command.letter == 'a' && range)
            return refuse("'a' takes one line number, the line the text goes after");
        if (first >= kAddressCeiling || last >= kAddressCeiling)
            return refuse("line " + std::string(line.substr(0, at)) +
                          " is past the end of any file");
        command.first = first;
        command.last = last;
        command.scriptLine = number;
        if (command.letter != 'a' && command.first == 0)
            return refuse("there is no line 0: only 'a' takes 0, to insert before line 1");
        if (command.last < command.first)
            return refuse("the range " + std::to_string(first) + "," + std::to_string(last) +
                          " runs backwards");
        if (!m_commands.empty() && !ComesBefore(command, m_commands.back()))
            return refuse("the command '" + Address(command) + "' does not come before the '" +
                          Address(m_commands.back()) + "' of line " +
                          std::to_string(m_commands.back().scriptLine) +
                          ": commands go from the end of the file towards its start, as 'diff "
                          "-e' writes them");
        command.textBegin = command.textEnd = index + 1;
        m_commands.push_back(command);
        if (command.letter != 'd') {
            state = State::kText;
            runStart = index + 1;
            runLine = number;
        }
    }
    if (state == State::kText) {
        number = runLine;
        return refuse(
            "the text inserted from here on has no closing '.' line: the script is cut short; "
            "get the whole script");
    }
    return true;
}

long long EdScript::LinesNeeded() const noexcept {
    if (m_commands.empty())
        return 0;
    const ScriptCommand& top = m_commands.front();
    return top.letter == 'a' ? top.first : top.last;
}

bool EdScript::FitsFile(long long fileLines, ScriptRefusal& refusal) const {
    const long long needed = LinesNeeded();
    if (needed <= fileLines)
        return true;
    refusal.line = m_commands.front().scriptLine;
    refusal.reason = "it addresses line " + std::to_string(needed) +
                     ", past the end of the file (" + std::to_string(fileLines) +
                     " lines): the script was made for another version of the file";
    return false;
}

}  // namespace vekcli
