// The sections of a bundle read back from a buffer, each judged both as
// text and as a uuencoded binary file, before unbundle writes anything.
#include "commands/bundle_scan.h"

#include <algorithm>

#include "commands/file_set.h"
#include "files/bundle_lines.h"
#include "io/files.h"
#include "lines/buffers.h"
#include "report/trouble.h"

namespace vekcli {

namespace {

using vek::bundle::kBinaryHeader;
using vek::bundle::kEndPrefix;
using vek::bundle::kHeaderPrefix;
using vek::bundle::kTerminator;

// The lines of a bundle as a buffer holds them: without the line feed.
constexpr std::string_view WithoutLineFeed(std::string_view line) {
    return line.substr(0, line.size() - 1);
}
constexpr std::string_view kOwnHeaderLine = WithoutLineFeed(kBinaryHeader);
constexpr std::string_view kTerminatorLine = WithoutLineFeed(kTerminator);

// A uuencoded line: a space, the length character, then four characters
// for every three bytes, every character from ' ' to '`'. The library
// decodes what it finds; a character out of that range, or a line shorter
// or longer than its length character says, is damage found before
// anything is written.
const char* DataLineFault(std::string_view line) {
    if (line.size() < 2)
        return "the uuencoded line has no length character";
    // The smallest and the largest character, without an early exit, so
    // that the check runs over many characters at a time: a bundle is
    // mostly data lines.
    const auto* chars = reinterpret_cast<const unsigned char*>(line.data());
    unsigned char lowest = 0xFF;
    unsigned char highest = 0;
    for (std::size_t i = 1; i < line.size(); ++i) {
        lowest = std::min(lowest, chars[i]);
        highest = std::max(highest, chars[i]);
    }
    if (lowest < ' ' || highest > '`')
        return "the uuencoded line holds a character outside the uuencode range";
    const std::size_t count = static_cast<std::size_t>((line[1] - 32) & 63);
    const std::size_t groups = (count + 2) / 3;
    const std::size_t last = count % 3 == 0 ? 4 : count % 3 + 1;  // characters of the last group
    const std::size_t needed = count == 0 ? 2 : 2 + 4 * (groups - 1) + last;
    if (line.size() < needed)
        return "the uuencoded line is shorter than its length character says";
    if (line.size() > 2 + 4 * groups)
        return "the uuencoded line is longer than its length character says";
    return nullptr;
}

// The library's own header or any " begin MODE NAME" with an octal mode.
bool IsBeginLine(std::string_view line) {
    if (!StartsWith(line, kHeaderPrefix) || line.size() <= kHeaderPrefix.size() ||
        line[kHeaderPrefix.size()] != ' ')
        return false;
    std::size_t i = kHeaderPrefix.size() + 1;
    const std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7')
        ++i;
    return i > digits && i + 1 < line.size() && line[i] == ' ';
}

}  // namespace

// The sections of the bundle in buffer 1, each judged both ways: as text
// and as a uuencoded binary file (as WriteFiles decodes one).
std::vector<Section> ScanBundle(const std::string& bundleName, bool crlf) {
    std::vector<Section> sections;
    BufferReader reader(1);
    std::string_view line;
    Section current;
    bool open = false;
    bool sawEnd = false;
    bool sawCr = false;
    const std::string bundle = DisplayName(bundleName);
    const char* crHint = crlf ? "" : "; its lines end in CR LF: give --crlf";
    while (reader.Next(line)) {
        const long number = reader.LineNumber();
        sawCr = sawCr || (!line.empty() && line.back() == '\r');
        if (!open) {
            current = Section{};
            current.firstLine = number;
            open = true;
            sawEnd = false;
        }
        auto fault = [&](const char* why) {
            if (current.binaryFault == 0) {
                current.binaryFault = number;
                current.binaryWhy = why;
            }
        };
        if (line == kTerminatorLine) {
            current.empty = number == current.firstLine;
            if (!current.empty && !sawEnd)
                fault("the section has no ' end' line before its 'E'");
            current.endsWithEnd = sawEnd;
            sections.push_back(current);
            open = false;
            continue;
        }
        if (line.empty() || line[0] != ' ')
            Fail(bundle + ":" + std::to_string(number) +
                 ": not a bundle line (bundle lines begin with a space or are the terminator "
                 "'E'); is this a bundle made by 'vek bundle'?" +
                 (sawCr && line == "E\r" ? crHint : ""));
        current.textBytes += static_cast<long long>(line.size() - 1) + 2;
        if (number == current.firstLine) {
            current.uuHeader = IsBeginLine(line);
            current.ownHeader = line == kOwnHeaderLine;
            if (!current.uuHeader)
                fault("it does not begin with a uuencode header");
        } else if (sawEnd) {
            fault("a line follows the ' end' line");
        } else if (line == kEndPrefix) {
            sawEnd = true;
        } else if (const char* why = DataLineFault(line)) {
            fault(why);
        } else {
            current.binaryBytes += (line[1] - 32) & 63;
        }
    }
    if (open)
        Fail(bundle + ":" + std::to_string(reader.Count()) +
             ": the bundle ends inside a file's section, without its 'E' line: it is cut short" +
             (sawCr ? crHint : ""));
    return sections;
}

char ChooseUnbundleType(const Options& o, const std::vector<Section>& sections,
                        const std::vector<std::string>& names, const std::string& bundleName) {
    const std::string bundle = DisplayName(bundleName);
    bool anyTextPlace = false;
    bool allOwnHeaders = true;
    long firstTextPlace = -1;
    long firstUndecodable = -1;
    long firstDamaged = -1;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].empty)
            continue;
        if (i < kBinaryPlace) {
            if (!anyTextPlace)
                firstTextPlace = static_cast<long>(i);
            anyTextPlace = true;
            allOwnHeaders = allOwnHeaders && sections[i].ownHeader;
            if (sections[i].DamagedBinary() && firstDamaged < 0)
                firstDamaged = static_cast<long>(i);
        }
        if (sections[i].binaryFault != 0 && firstUndecodable < 0)
            firstUndecodable = static_cast<long>(i);
    }
    const bool binaryBundle = anyTextPlace && allOwnHeaders;
    const bool tenthDecodes = sections.size() <= kBinaryPlace || sections[kBinaryPlace].empty ||
                              sections[kBinaryPlace].binaryFault == 0;
    const bool textFits = tenthDecodes && firstDamaged < 0;
    const bool binaryFits = firstUndecodable < 0;

    auto fileName = [&](std::size_t i) {
        return "file " + std::to_string(i + 1) + " (" + names[i] + ")";
    };
    // Reading as binary fails at file i.
    auto failDecode = [&](std::size_t i, const char* advice) {
        const Section& section = sections[i];
        if (!section.uuHeader && !section.endsWithEnd)
            Fail(bundle + ":" + std::to_string(section.firstLine) + ": " + fileName(i) +
                 " is text, not uuencoded; " + advice + "; nothing was written");
        Fail(bundle + ":" + std::to_string(section.binaryFault) + ": " + section.binaryWhy + " (" +
             fileName(i) + "): the bundle is damaged; nothing was written");
    };
    const char* tenthAdvice = "the tenth file of a set is always binary";
    if (o.type == 'T' || o.hasTenth) {
        if (binaryBundle)
            Fail(bundle + ":" +
                 std::to_string(sections[static_cast<std::size_t>(firstTextPlace)].firstLine) +
                 ": every file of the bundle is uuencoded as 'vek bundle -b' writes it: this "
                 "is a binary bundle; unbundle it with -b; nothing was written");
        if (!tenthDecodes)
            failDecode(kBinaryPlace, tenthAdvice);
        return 'T';
    }
    if (o.type == 'B') {
        if (!binaryFits)
            failDecode(static_cast<std::size_t>(firstUndecodable), "unbundle with -t");
        return 'B';
    }
    if (textFits && binaryFits) {
        if (!anyTextPlace)
            return 'T';  // both readings write the same files
        // As 'vek bundle -b' writes it; 'vek bundle' never writes a text
        // bundle that reads so.
        if (binaryBundle)
            return 'B';
        Fail(bundle + ": the bundle reads validly both as a text bundle and as a binary bundle: " +
             fileName(static_cast<std::size_t>(firstTextPlace)) +
             " may be text that looks like uuencoded data; give -t if the files were text, -b "
             "if they were binary; nothing was written");
    }
    if (textFits)
        return 'T';
    if (binaryFits)
        return 'B';
    if (firstDamaged >= 0)
        failDecode(static_cast<std::size_t>(firstDamaged), "unbundle with -t");
    failDecode(kBinaryPlace, tenthAdvice);
    return 'T';  // not reached
}

}  // namespace vekcli
