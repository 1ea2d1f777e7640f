// Random lines, well-formed commands and plain garbage, fed through EdCmd in
// whatever state the buffer is in. A small vector model of the editor,
// reading numbers with the C library's strtoll, says what each line must do;
// the buffer's lines and figures must agree with it after every call, and a
// refused line must leave the lines exactly as they were.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "edit/edit_test_helpers.h"

namespace {

using vektest::BufferLines;
using vektest::ExpectFiguresMatchLines;
using vektest::FillBuffer;
using vektest::Lines;

class EditorModel {
  public:
    explicit EditorModel(Lines lines) : m_lines(std::move(lines)) {}

    const Lines& lines() const { return m_lines; }
    bool inserting() const { return m_inserting; }

    // `text` as handed to EdCmd (no NUL inside); the editor sees text + LF.
    int Feed(const std::string& text) {
        const std::string line = text + "\n";
        return m_inserting ? Text(line) : Command(line);
    }

  private:
    int Text(const std::string& line) {
        if (line[0] == '.') {
            m_inserting = false;
            return 0;
        }
        const std::string stored = line.substr(0, line.size() - 1);
        const auto count = static_cast<long long>(m_lines.size());
        if (m_cur == -1) {
            m_lines.insert(m_lines.begin(), stored);
        } else if (count == 0) {
            return RC_BAD_LINE;
        } else if (m_cur >= 0 && m_cur < count) {
            m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(m_cur + 1), stored);
        } else {
            m_lines.push_back(stored);
        }
        m_cur = std::min<long long>(m_cur + 1, INT_MAX);
        return 0;
    }

    long long Address(const char* p) const {
        if (*p == ' ' || *p == '.') {
            return std::min<long long>(m_cur + 1, INT_MAX);
        }
        const long long value = std::strtoll(p, nullptr, 10);
        return std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value));
    }

    int Command(const std::string& line) {
        if (line.size() < 2) {
            return RC_BAD_LINE;
        }
        const char letter = line[line.size() - 2];
        const long long first = Address(line.c_str());
        const char* comma = std::strchr(line.c_str(), ',');
        const long long last = comma != nullptr ? Address(comma + 1) : first;
        if (last < first) {
            return RC_BAD_LINE;
        }
        if (letter == 'a') {
            if (first < 0) {
                return RC_BAD_LINE;
            }
            m_cur = first - 1;
            m_inserting = true;
            return 0;
        }
        if (letter != 'c' && letter != 'd') {
            return RC_BAD_LINE;
        }
        if (first < 1 || last > static_cast<long long>(m_lines.size())) {
            return RC_BAD_LINE;
        }
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(first - 1),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(last));
        if (letter == 'c') {
            m_cur = first - 2;
            m_inserting = true;
        } else {
            m_cur = first - 1 < static_cast<long long>(m_lines.size()) ? first - 1 : first - 2;
        }
        return 0;
    }

    Lines m_lines;
    long long m_cur = 0;
    bool m_inserting = false;
};

std::string Printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

class LineMaker {
  public:
    explicit LineMaker(unsigned seed) : m_rng(seed) {}

    std::string Next(const EditorModel& model) {
        const int count = static_cast<int>(model.lines().size());
        if (!model.inserting() && count > 80) {
            return "1," + std::to_string(Pick(1, 40)) + "d";
        }
        if (model.inserting() && ++m_textRun > 8) {
            m_textRun = 0;
            return Pick(0, 1) != 0 ? "." : ".end";
        }
        const int kind = Pick(0, 99);
        if (kind < 30) {
            return Command(count);
        }
        if (kind < 45) {
            return "text " + std::to_string(Pick(0, 999999)) + std::string(Pick(0, 30), 'w');
        }
        if (kind < 50) {
            return ".";
        }
        return Garbage();
    }

  private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_rng); }

    std::string Address(int count) {
        switch (Pick(0, 9)) {
            case 0:
                return ".";
            case 1:
                return " ";
            case 2:
                return std::to_string(Pick(-3, -1));
            case 3:
                return Pick(0, 1) != 0 ? "99999999999" : "-99999999999";
            default:
                return std::to_string(Pick(0, count + 2));
        }
    }

    std::string Command(int count) {
        std::string line = Address(count);
        if (Pick(0, 2) == 0) {
            line += "," + Address(count);
        }
        line.push_back("acd"[Pick(0, 2)]);
        return line;
    }

    std::string Garbage() {
        static const char kNear[] = "0123456789,.+- \t\r\n\v\facdxACD";
        std::string line;
        const int length = Pick(0, 14);
        for (int i = 0; i < length; ++i) {
            line.push_back(Pick(0, 1) != 0 ? kNear[Pick(0, sizeof kNear - 2)]
                                           : static_cast<char>(Pick(1, 255)));
        }
        return line;
    }

    std::mt19937 m_rng;
    int m_textRun = 0;
};

TEST(EdCmdRandom, AnyLineInAnyStateAgreesWithModelAndKeepsFigures) {
    constexpr int kBuf = 3;
    constexpr int kSteps = 4000;
    for (const unsigned seed : {1u, 77u, 2024u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Lines start;
        for (int i = 1; i <= 20; ++i) {
            start.push_back("line " + std::to_string(i));
        }
        FillBuffer(kBuf, start);
        EditorModel model(start);
        LineMaker maker(seed);
        int accepted = 0;
        for (int step = 0; step < kSteps; ++step) {
            const std::string text = maker.Next(model);
            const Lines before = BufferLines(kBuf);
            const int rc = EdCmd(kBuf, text.c_str());
            const int expected = model.Feed(text);
            ASSERT_EQ(rc, expected) << "step " << step << ": \"" << Printable(text) << "\"";
            const Lines after = BufferLines(kBuf);
            if (rc != RC_OK) {
                ASSERT_EQ(after, before) << "refused line changed the buffer at step " << step;
            } else {
                ++accepted;
            }
            ASSERT_EQ(after, model.lines()) << "step " << step << ": \"" << Printable(text) << "\"";
            ExpectFiguresMatchLines(kBuf, after);
            if (HasFailure()) {
                return;
            }
        }
        // Both outcomes must have been exercised for the run to mean much.
        EXPECT_GT(accepted, kSteps / 4);
        EXPECT_LT(accepted, kSteps);
    }
}

}  // namespace
