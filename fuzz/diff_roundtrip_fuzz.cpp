// Two buffers from random lines; the script Diff makes must turn the first
// into the second when applied with EdBuf. Lines the script format cannot
// carry (a text line starting with '.' ends an insertion) are left out.
// Diff may refuse only for its documented reasons.
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

namespace {

std::vector<std::string> Carried(std::string_view bytes) {
    std::vector<std::string> lines;
    for (std::string line : Split(bytes, '\n')) {
        line.resize(std::min(line.size(), line.find('\0')));
        if (line.empty() || line[0] != '.') {
            lines.push_back(line);
        }
    }
    return lines;
}

void Fill(int buf, const std::vector<std::string>& lines, int copies) {
    InitBuf(buf);
    for (int c = 0; c < copies; ++c) {
        for (const std::string& line : lines) {
            AddLine(buf, line.c_str());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const std::string_view rest = in.Rest();
    const std::size_t cut = rest.find('\xFF');
    const std::vector<std::string> oldLines = Carried(rest.substr(0, cut));
    const std::vector<std::string> newLines =
        cut == std::string_view::npos ? std::vector<std::string>() : Carried(rest.substr(cut + 1));
    // Repeating the lines makes inputs that span several windows.
    const int oldCopies = 1 + (mode & 0x0F) * (mode & 0x0F) / 8;
    const int newCopies = 1 + (mode >> 4) * (mode >> 4) / 8;
    Fill(1, oldLines, oldCopies);
    Fill(2, newLines, newCopies);
    const std::vector<std::string> target = HeldLines(2);
    const std::vector<std::string> source = HeldLines(1);

    const int rc = Diff(1, 2, 3);
    Require(HeldLines(1) == source && HeldLines(2) == target, "Diff changed its inputs");
    RequireConsistent(3, "after Diff");
    if (rc == RC_DIFF_FAILED) {
        // Only a window pair with more distinct texts than the class table
        // holds can fail here.
        std::set<std::string> distinct(source.begin(), source.end());
        distinct.insert(target.begin(), target.end());
        Require(distinct.size() > 4093, "Diff failed on a small window pair");
        return 0;
    }
    Require(rc == RC_OK, "Diff answered " + std::to_string(rc));
    if (source == target) {
        Require(HeldLines(3).empty(), "a script for equal buffers");
    }
    const int applied = EdBuf(3, 1);
    Require(applied == RC_OK, "EdBuf refused the script: " + std::to_string(applied));
    Require(HeldLines(1) == target, "the script does not rebuild the target");
    RequireConsistent(1, "after EdBuf");
    return 0;
}
