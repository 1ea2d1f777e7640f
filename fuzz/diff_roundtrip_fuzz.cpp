// Two buffers from random lines; the script Diff makes must turn the first
// into the second when applied with EdBuf. Lines the script format cannot
// carry (a text line starting with '.' ends an insertion) are left out.
// Diff may refuse only for its documented reasons. The whole-file
// difference of the same lines must rebuild the target too, exactly and
// with tiny search budgets that force its heuristic splits, and the
// DiffWhole export must give its script.
#include <set>
#include <string>
#include <vector>

#include "diff/whole_file.h"
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

std::vector<std::string> Texts(const std::vector<std::string>& held) {
    std::vector<std::string> texts;
    for (const std::string& line : held) {
        texts.push_back(line.substr(0, line.size() - 1));
    }
    return texts;
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

    // The texts without the line feed AddLine stored with them.
    const std::vector<std::string> sourceTexts = Texts(source);
    const std::vector<std::string> targetTexts = Texts(target);
    const std::vector<std::string_view> a(sourceTexts.begin(), sourceTexts.end());
    const std::vector<std::string_view> b(targetTexts.begin(), targetTexts.end());
    for (const std::int32_t budget : {-1, 1 + (mode & 3)}) {
        const vek::EditScript script =
            vek::DiffSequences(a.data(), a.size(), b.data(), b.size(), budget);
        Require(script.Empty() == (source == target),
                "whole-file script empty for unequal texts, or not for equal ones");
        Fill(3, std::vector<std::string>(script.Lines().begin(), script.Lines().end()), 1);
        Fill(1, sourceTexts, 1);
        Require(EdBuf(3, 1) == RC_OK, "EdBuf refused a whole-file script");
        Require(HeldLines(1) == target, "a whole-file script does not rebuild the target");
    }
    // The DiffWhole export: the script of the default budgets, stored line
    // by line as Diff stores its scripts.
    Fill(1, sourceTexts, 1);
    Require(DiffWhole(1, 2, 3) == RC_OK, "DiffWhole failed");
    Require(HeldLines(1) == source && HeldLines(2) == target, "DiffWhole changed its inputs");
    RequireConsistent(3, "after DiffWhole");
    const vek::EditScript script = vek::DiffSequences(a.data(), a.size(), b.data(), b.size());
    Require(Texts(HeldLines(3)) ==
                std::vector<std::string>(script.Lines().begin(), script.Lines().end()),
            "DiffWhole's script is not the whole-file difference's");
    Require(EdBuf(3, 1) == RC_OK && HeldLines(1) == target,
            "DiffWhole's script does not rebuild the target");
    Fill(1, sourceTexts, 1);
    InitBuf(3);

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
