#include "edit/command_line.h"

#include <cstddef>
#include <limits>

namespace vek {

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();

// White space as the C locale knows it.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::int32_t ReadAddress(std::string_view text, std::int32_t currentNumber) {
    if (text.empty()) {
        return 0;
    }
    if (text[0] == ' ' || text[0] == '.') {
        return currentNumber;
    }
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // The magnitude stops growing once it is past the 32-bit range; the
    // remaining digits are still consumed, as they would be by strtol.
    std::int64_t magnitude = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        if (magnitude <= kMax + 1) {
            magnitude = magnitude * 10 + (text[pos] - '0');
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < kMin) {
        return static_cast<std::int32_t>(kMin);
    }
    if (value > kMax) {
        return static_cast<std::int32_t>(kMax);
    }
    return static_cast<std::int32_t>(value);
}

bool ParseCommandLine(std::string_view line, std::int32_t currentNumber, CommandLine* out) {
    if (line.size() < 2) {
        return false;
    }
    out->letter = line[line.size() - 2];
    out->first = ReadAddress(line, currentNumber);
    const std::size_t comma = line.find(',');
    out->hasComma = comma != std::string_view::npos;
    out->last = out->hasComma ? ReadAddress(line.substr(comma + 1), currentNumber) : out->first;
    return true;
}

}  // namespace vek
