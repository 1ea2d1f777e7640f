// vek's script applier against EdBuf: the input is a file size and script
// lines. A script the applier takes that holds no text line beginning with
// '.' must be taken by EdBuf too, with the same result; the applier itself
// must never fail but by refusing, and a refusal names a line of the script.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "scripts/script_applier.h"
#include "vekwin32.h"

using namespace vekfuzz;

namespace {

struct Rebuilt {
    const std::vector<std::string>& file;
    std::size_t at = 0;
    std::vector<std::string> lines;
    void Copy(long long count) {
        const std::size_t end = count < 0 ? file.size() : at + static_cast<std::size_t>(count);
        Require(end <= file.size(), "the applier copied past the end of the file");
        lines.insert(lines.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                     file.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    void Skip(long long count) {
        at += static_cast<std::size_t>(count);
        Require(at <= file.size(), "the applier deleted past the end of the file");
    }
    void Insert(std::string_view text) { lines.emplace_back(text); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const int fileLines = in.Byte() % 40;
    std::vector<std::string> script = Split(in.Rest(), '\n');
    if (script.size() > 256)
        script.resize(256);
    for (std::string& line : script)
        line = line.c_str();  // AddLine takes a string up to its first NUL
    std::vector<std::string> file;
    for (int i = 0; i < fileLines; ++i)
        file.push_back("line " + std::to_string(i + 1));

    const std::vector<std::string_view> views(script.begin(), script.end());
    vekcli::EdScript applier;
    vekcli::ScriptRefusal refusal;
    if (!applier.Read(views, refusal) || !applier.FitsFile(fileLines, refusal)) {
        Require(refusal.line >= 1 && refusal.line <= static_cast<long>(script.size()) &&
                    !refusal.reason.empty(),
                "a refusal names no line of the script");
        return 0;
    }
    Rebuilt rebuilt{file, 0, {}};
    vekcli::ApplyScript(applier, rebuilt);
    bool dotText = false;  // EdBuf would end the text at such a line
    for (const vekcli::ScriptCommand& command : applier.Commands())
        applier.ForEachText(command, [&](std::string_view text) {
            dotText = dotText || (!text.empty() && text[0] == '.');
        });
    if (dotText)
        return 0;
    InitBuf(1);
    InitBuf(2);
    for (const std::string& line : file)
        AddLine(1, line.c_str());
    for (const std::string& line : script)
        AddLine(2, line.c_str());
    Require(EdBuf(2, 1) == RC_OK, "EdBuf refused a script the applier took");
    RequireConsistent(1, "after EdBuf");
    Require(HeldLines(1).size() == rebuilt.lines.size(), "EdBuf and the applier differ in length");
    std::vector<std::string> held = HeldLines(1);
    for (std::size_t i = 0; i < held.size(); ++i)
        Require(held[i] == rebuilt.lines[i] + "\n", "EdBuf and the applier differ");
    return 0;
}
