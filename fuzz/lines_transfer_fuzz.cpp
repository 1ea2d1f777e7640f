// AddLines runs and long lines, read back through GetLines and GetLine with
// random positions, counts and rooms, all checked against a plain model of
// the buffer (the texts as a host reads them).
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

namespace {

std::int32_t Entry(const std::vector<char>& block, int j) {
    std::int32_t value;
    std::memcpy(&value, block.data() + 4 * j, sizeof value);
    return value;
}

void CheckGetLines(const std::vector<std::string>& model, int first, int count) {
    std::vector<char> block(LINES_BLOCK_SIZE, '\x55');
    int delivered = -7;
    const int rc = GetLines(2, first, count, block.data(), &delivered);
    if (first < 1) {
        Require(rc == RC_BAD_LINE, "GetLines took a line below 1");
        return;
    }
    if (count < 1 || count > LINES_BLOCK_MAX_LINES) {
        Require(rc == RC_FAILED && delivered == -7, "GetLines took a bad count");
        return;
    }
    // What the block must hold: lines while they exist and fit.
    int expected = 0;
    int at = LINES_BLOCK_TEXT_START;
    int expectedRc = RC_OK;
    while (expected < count) {
        const std::size_t index = static_cast<std::size_t>(first - 1 + expected);
        if (index >= model.size()) {
            expectedRc = RC_FAILED;
            break;
        }
        const int need = static_cast<int>(model[index].size()) + 1;
        if (at + need > LINES_BLOCK_SIZE) {
            break;
        }
        at += need;
        ++expected;
    }
    Require(rc == expectedRc, "GetLines answered " + std::to_string(rc));
    Require(delivered == expected, "GetLines delivered " + std::to_string(delivered) +
                                       " lines, expected " + std::to_string(expected));
    Require(block[LINES_BLOCK_TEXT_START - 1] == '\0', "no empty text before the texts");
    for (int j = 0; j < LINES_BLOCK_MAX_LINES; ++j) {
        const std::int32_t offset = Entry(block, j);
        if (j >= delivered) {
            Require(offset == LINES_BLOCK_TEXT_START - 1,
                    "unused table entry not on the empty text");
            continue;
        }
        const std::string& text = model[static_cast<std::size_t>(first - 1 + j)];
        Require(offset >= LINES_BLOCK_TEXT_START &&
                    offset + static_cast<std::int64_t>(text.size()) < LINES_BLOCK_SIZE,
                "table entry outside the block");
        Require(std::memcmp(block.data() + offset, text.data(), text.size()) == 0 &&
                    block[static_cast<std::size_t>(offset) + text.size()] == '\0',
                "wrong text in the block");
    }
}

void CheckGetLine(const std::vector<std::string>& model, int line, int maxLen) {
    std::vector<char> room(static_cast<std::size_t>(maxLen) + 1, '\x55');
    int length = -7;
    const int rc = GetLine(2, line, maxLen, room.data(), &length);
    if (line < 1) {
        Require(rc == RC_BAD_LINE, "GetLine took a line below 1");
        return;
    }
    if (static_cast<std::size_t>(line) > model.size()) {
        Require(rc == RC_FAILED, "GetLine read past the end");
        return;
    }
    const std::string& text = model[static_cast<std::size_t>(line - 1)];
    Require(length == static_cast<int>(text.size()), "GetLine gave a wrong length");
    if (text.size() > static_cast<std::size_t>(maxLen)) {
        Require(rc == RC_NO_ROOM && room[0] == '\x55', "GetLine wrote a line that did not fit");
        return;
    }
    Require(rc == RC_OK && std::memcmp(room.data(), text.data(), text.size()) == 0 &&
                room[text.size()] == '\0',
            "GetLine delivered a wrong text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::vector<std::string> model;
    InitBuf(2);
    while (!in.Empty()) {
        switch (in.Byte() % 6) {
            case 0:
            case 1: {
                // A packed run: strings up to the first empty one.
                std::string run(in.Bytes(in.Byte()));
                run.append(2, '\0');
                Require(AddLines(2, run.data()) == RC_OK, "AddLines refused a run");
                for (const char* s = run.data(); *s != '\0'; s += std::strlen(s) + 1) {
                    model.emplace_back(s);
                }
                break;
            }
            case 2: {
                const int length = in.Int(70000);
                const std::string text(static_cast<std::size_t>(length),
                                       static_cast<char>('A' + length % 26));
                Require(AddLine(2, text.c_str()) == RC_OK, "AddLine refused a line");
                model.push_back(text);
                break;
            }
            case 3:
                CheckGetLines(model, in.Int(static_cast<int>(model.size()) + 3) - 1,
                              in.Int(103) - 1);
                break;
            case 4:
                CheckGetLine(model, in.Int(static_cast<int>(model.size()) + 3) - 1, in.Int(300));
                break;
            default:
                if (in.Byte() < 8) {
                    InitBuf(2);
                    model.clear();
                }
                break;
        }
        RequireConsistent(2, "lines transfer");
    }
    return 0;
}
