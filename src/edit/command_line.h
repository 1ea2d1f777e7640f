// Reading an edit command line by position.
//
// A command line is read the way the interpreter has always read it, not by
// a grammar: the command letter is the byte before the last one (the last is
// normally the line feed), the first comma anywhere in the line separates the
// two addresses, and each address is read from its first byte on. A leading
// space or full stop means the current line; anything else is read as a
// decimal number after optional white space and sign, clamped to 32 bits.
// Nothing here reads outside the bytes of the line, NUL bytes included.
#pragma once

#include <cstdint>
#include <string_view>

namespace vek {

struct CommandLine {
    char letter = 0;
    std::int32_t first = 0;
    std::int32_t last = 0;  // equals `first` when the line has no comma
    bool hasComma = false;
};

// Reads one address from the start of `text` (the bytes from the address's
// first byte to the end of the line). `currentNumber` is the 1-based number
// of the current line. No digits read as 0.
std::int32_t ReadAddress(std::string_view text, std::int32_t currentNumber);

// Splits a command line into letter and addresses. False when the line is
// shorter than two bytes and so has no command letter.
bool ParseCommandLine(std::string_view line, std::int32_t currentNumber, CommandLine* out);

}  // namespace vek
