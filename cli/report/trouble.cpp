#include "report/trouble.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#if defined(VEK_CLI_THREADS)
#include <mutex>
#endif

#include "vekwin32.h"

namespace vekcli {

void Fail(const std::string& message, int status) {
    throw Trouble{status, message};
}

void ReportTrouble(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "vek: %s\n", Escaped(message).c_str());
}

void Warn(const std::string& message) {
    ReportTrouble(message);
}

namespace {

// One byte as it is shown: itself, or \n, \r, \t, \xHH for a control byte.
void AppendShown(char c, std::string& out) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
        out += "\\n";
    } else if (c == '\r') {
        out += "\\r";
    } else if (c == '\t') {
        out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        out += hex;
    } else {
        out.push_back(c);
    }
}

}  // namespace

std::string Escaped(std::string_view text, std::size_t limit) {
    std::string out;
    std::size_t i = 0;
    for (; i < text.size() && out.size() < limit; ++i)
        AppendShown(text[i], out);
    if (i == text.size())
        return out;
    // Too long to show whole: its end (where a message says what to do)
    // follows the count of the bytes left out.
    std::string tail;
    std::size_t j = text.size();
    while (j > i && tail.size() < limit / 2) {
        std::string one;
        AppendShown(text[--j], one);
        tail.insert(0, one);
    }
    if (j > i)
        out += " [... " + Grouped(static_cast<long long>(j - i)) + " bytes left out ...] ";
    return out + tail;
}

namespace {
std::string g_work;
#if defined(VEK_CLI_THREADS)
std::mutex g_workLock;  // two files may be read at once
#endif
}  // namespace

void NoteWork(const std::string& what) {
#if defined(VEK_CLI_THREADS)
    const std::lock_guard<std::mutex> hold(g_workLock);
#endif
    g_work = what;
}

std::string CurrentWork() {
#if defined(VEK_CLI_THREADS)
    const std::lock_guard<std::mutex> hold(g_workLock);
#endif
    return g_work;
}

std::string SystemError() {
    return std::strerror(errno);
}

std::string CodeText(int rc) {
    const char* meaning = "an unknown code";
    switch (rc) {
        case RC_FAILED:
            meaning = "a failure inside the library";
            break;
        case RC_BUFFER_FULL:
            meaning = "a buffer is full";
            break;
        case RC_BAD_LINE:
            meaning = "a bad line number or edit command";
            break;
        case RC_BAD_BUFFER:
            meaning = "a bad buffer number";
            break;
        case RC_READ_FAILED:
            meaning = "a file could not be opened or read";
            break;
        case RC_WRITE_FAILED:
            meaning = "a file could not be written, or a malformed binary section";
            break;
        case RC_DIFF_FAILED:
            meaning = "a failure inside the difference computation";
            break;
        case RC_TOO_MANY_FILES:
            meaning = "more than ten files";
            break;
        case RC_BAD_WIDTH:
            meaning = "a bad checksum width";
            break;
        case RC_STATS_FAILED:
            meaning = "a failure while figures were computed";
            break;
        case RC_BAD_TYPE:
            meaning = "a bad type letter";
            break;
        case RC_NO_ROOM:
            meaning = "a line longer than the room given";
            break;
        default:
            break;
    }
    return "code " + std::to_string(rc) + " (" + meaning + ")";
}

std::string DisplayName(const std::string& name) {
    return name == "-" ? std::string("standard input") : name;
}

std::string Grouped(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    int count = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (count > 0 && count % 3 == 0)
            out.push_back(',');
        out.push_back(*it);
        ++count;
    }
    if (value < 0)
        out.push_back('-');
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace vekcli
