// What goes wrong and how vek says it: the Trouble a command ends with, and
// the words its messages are made of.
#pragma once

#include <string>
#include <string_view>

namespace vekcli {

// Thrown for anything a command cannot do; main prints "vek: <message>"
// and exits with `status`.
struct Trouble {
    int status;
    std::string message;
};
[[noreturn]] void Fail(const std::string& message, int status = 2);

// Prints "vek: <message>" on standard error, after what standard output
// holds so far; the message is Escaped, so raw names and lines reach the
// terminal as one harmless line.
void ReportTrouble(const std::string& message);
// The same for a warning: vek goes on.
void Warn(const std::string& message);
// `text` with control bytes shown as \n, \r, \t or \xHH, and, when that is
// longer than `limit` characters, its middle left out (with the count).
std::string Escaped(std::string_view text, std::size_t limit = 800);

// What the command is busy with ("reading big.bin"), for the message when
// memory runs out.
void NoteWork(const std::string& what);
std::string CurrentWork();

// The system's words for the last failure (errno).
std::string SystemError();
// "code 104 (a file could not be opened or read)".
std::string CodeText(int rc);
// "standard input" for "-", else the name itself.
std::string DisplayName(const std::string& name);
// Decimal with thousands separators: 524,289.
std::string Grouped(long long value);

inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace vekcli
