#include "vek_commands.h"

#include <cstdio>
#include <string_view>

#include "vek_io.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

// The library holds three buffers; every command starts from empty ones.
void ResetBuffers() {
    for (int buf = 1; buf <= 3; ++buf) {
        const int rc = InitBuf(buf);
        if (rc != RC_OK)
            Fail("InitBuf(" + std::to_string(buf) + ") failed with " + CodeText(rc));
    }
}

void WarnUnterminated(const Input& in, const LoadInfo& info) {
    if (info.unterminated)
        std::fprintf(stderr,
                     "vek: %s:%ld: the last line has no line feed; it is taken as if it had one\n",
                     in.Name().c_str(), info.lines);
}

void LoadFile(int buf, const std::string& name, bool crlf, LoadInfo* infoOut = nullptr,
              std::FILE* copy = nullptr) {
    Input in(name);
    const LoadInfo info = LoadLines(buf, in, crlf, copy);
    WarnUnterminated(in, info);
    if (infoOut != nullptr)
        *infoOut = info;
}

void WriteBuffer(int buf, const std::string& name, bool crlf) {
    Output out(name);
    WriteLines(buf, out, crlf);
    out.Commit();
}

// Names of a file set, checked, and the comma-separated list the library
// takes. CheckType skips one-character names, so those get a "./" in front.
// Empty names stand only for the unused places before a tenth file.
std::string FileList(const std::vector<std::string>& names, bool mustExist) {
    if (names.empty())
        Fail("no files named; name one to ten files");
    if (names.size() > 10)
        Fail("more than ten files named (" + std::to_string(names.size()) +
             "); a bundle holds at most ten: split the set");
    const bool full = names.size() == 10 && !names[9].empty();
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (i > 0)
            list += ',';
        if (name.empty() && full && i < 9)
            continue;
        if (name.empty() || name == "-")
            Fail("'" + name + "' cannot name a file of a set; name a real file");
        if (name.find(',') != std::string::npos)
            Fail(name +
                 ": the name holds a comma, which a file list cannot carry; rename the file");
        if (mustExist && !IsRegularFile(name))
            Input probe(name);  // throws with the reason
        if (name.size() == 1)
            list += "./";
        list += name;
    }
    return list;
}

// The names of a set as given, with --tenth FILE put in the tenth place.
std::vector<std::string> SetNames(const Options& o, std::vector<std::string> names) {
    if (!o.hasTenth)
        return names;
    if (names.size() > 9)
        Fail("with --tenth, name at most nine other files");
    if (o.type == 'B')
        Fail("--tenth is for text sets (-t): in a binary set every file is binary already");
    names.resize(9);
    names.push_back(o.tenth);
    return names;
}

std::vector<char> Writable(const std::string& text) {
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names)
        if (!name.empty())
            joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

char TypeOf(const std::string& list) {
    std::vector<char> writable = Writable(list);
    char type = 0;
    const int rc = CheckType(writable.data(), &type);
    if (rc != RC_OK)
        Fail("CheckType failed with " + CodeText(rc) + "; check that every file can be read");
    return type;
}

// The set's type: -t or -b, text with --tenth, else what CheckType says.
char TypeOf(const Options& o, const std::string& list) {
    if (o.hasTenth)
        return 'T';
    if (o.type != 0)
        return o.type;
    return TypeOf(list);
}

bool HandledAsBinary(char type, std::size_t index) {
    return type == 'B' || index == 9;  // the tenth file of a set is always binary
}

// A text file with a NUL byte would lose the rest of that line in a text
// bundle (a line is handed out up to its first NUL).
void CheckTextFiles(const std::vector<std::string>& names, char type) {
    if (type != 'T')
        return;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (HandledAsBinary(type, i) || names[i].empty())
            continue;
        const long nul = FindNulLine(names[i]);
        if (nul != 0)
            Fail(names[i] + ":" + std::to_string(nul) +
                 ": the line holds a NUL byte, which a text bundle cannot carry; bundle the "
                 "files with -b, or give the one binary file with --tenth");
    }
}

std::string CommandLine(long first, long last, char letter) {
    std::string text = std::to_string(first);
    if (last != first)
        text += "," + std::to_string(last);
    return text + letter;
}

[[noreturn]] void ScriptDoesNotRebuild(const std::string& newName, const LoadInfo& newInfo,
                                       int applied, long difference) {
    if (newInfo.firstDotLine != 0)
        Fail(DisplayName(newName) + ":" + std::to_string(newInfo.firstDotLine) +
             ": the line begins with '.', which an edit script cannot carry as text, so no "
             "script rebuilds NEW; compare bundles instead: vek bundle -o old.vek OLD; vek "
             "bundle -o new.vek NEW; vek diff old.vek new.vek");
    std::string detail = applied != RC_OK ? "EdBuf refused it with " + CodeText(applied)
                                          : "first differing line " + std::to_string(difference);
    Fail("the edit script does not rebuild NEW (" + detail +
         "); this is a fault in the library: please report it with both files");
}

// Diff gave up (107): a script that replaces the whole text, applied to
// buffer 1 line by line so that it is checked like any other.
int WholeReplacement(const std::string& oldName, const std::string& newName,
                     const LoadInfo& newInfo, const std::string& outName, bool crlf) {
    std::fprintf(stderr,
                 "vek: a window of %s and %s holds more than 4,093 distinct lines, more than "
                 "the difference engine can class (Diff returned 107); the script replaces the "
                 "whole text instead of only the changed lines\n",
                 DisplayName(oldName).c_str(), DisplayName(newName).c_str());
    const long oldCount = BufferLineCount(1);
    const long newCount = BufferLineCount(2);
    std::string command;
    if (oldCount == 0)
        command = "0a";
    else
        command = CommandLine(1, oldCount, newCount == 0 ? 'd' : 'c');
    const bool inserts = newCount > 0;

    int rc = EdCmd(1, command.c_str());
    if (rc == RC_OK && inserts) {
        BufferReader reader(2);
        std::string_view line;
        std::string text;
        while (rc == RC_OK && reader.Next(line)) {
            text.assign(line);
            rc = EdCmd(1, text.c_str());
        }
        if (rc == RC_OK)
            rc = EdCmd(1, ".");
    }
    const long difference = rc == RC_OK ? FirstDifference(1, 2) : -1;
    if (rc != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newInfo, rc, difference);

    Output out(outName);
    const char* end = crlf ? "\r\n" : "\n";
    const std::size_t endSize = crlf ? 2 : 1;
    out.Write(command.data(), command.size());
    out.Write(end, endSize);
    if (inserts) {
        BufferReader reader(2);
        std::string_view line;
        while (reader.Next(line)) {
            out.Write(line.data(), line.size());
            out.Write(end, endSize);
        }
        out.Write(".", 1);
        out.Write(end, endSize);
    }
    out.Commit();
    return 1;
}

// Why the interpreter refused a script line, in words.
std::string RefusalReason(std::string_view line, bool crlf, long fileLines) {
    if (!crlf && !line.empty() && line.back() == '\r')
        return "the command ends in a carriage return: the script has CR LF line ends, so "
               "give --crlf";
    if (line.empty())
        return "an empty line is not an edit command";
    const char letter = line.back();
    if (line == "." || (line.find("s/") != std::string_view::npos && letter == '/'))
        return "the script escapes a text line that begins with '.' (GNU diff writes '..' and "
               "'s/.//' for it); edit scripts here cannot carry such lines: compare bundles "
               "instead";
    if (letter != 'a' && letter != 'c' && letter != 'd')
        return std::string("'") + letter + "' is not an edit command (a, c or d)";
    return "it addresses lines outside the " + std::to_string(fileLines) +
           " lines the file held at that point: the script was made for another version of "
           "the file";
}

// EdBuf stopped at a refused line but does not say which: apply the script
// again, line by line, to a fresh copy of the file to find it.
[[noreturn]] void ExplainRefusal(const Options& o, std::FILE* keptInput, int edRc) {
    const std::string& fileName = o.operands[0];
    const std::string& scriptName = o.operands[1];
    if (InitBuf(1) != RC_OK)
        Fail("InitBuf failed");
    if (keptInput != nullptr) {
        std::rewind(keptInput);
        Input in(keptInput, DisplayName(fileName));
        LoadLines(1, in, o.crlf);
    } else {
        Input in(fileName);
        LoadLines(1, in, o.crlf);
    }
    BufferReader script(2);
    std::string_view line;
    std::string text;
    bool inserting = false;
    std::string command;
    while (script.Next(line)) {
        text.assign(line);
        const long before = BufferLineCount(1);
        const int rc = EdCmd(1, text.c_str());
        if (rc != RC_OK && inserting)
            Fail(DisplayName(scriptName) + ":" + std::to_string(script.LineNumber()) +
                     ": the text line could not be placed: the command \"" + command +
                     "\" before it inserts after a line the file (then " + std::to_string(before) +
                     " lines) does not have; the script was made for another version of the "
                     "file; nothing was written",
                 1);
        if (rc != RC_OK)
            Fail(DisplayName(scriptName) + ":" + std::to_string(script.LineNumber()) +
                     ": the edit command \"" + text + "\" was refused: " +
                     RefusalReason(text, o.crlf, before) + "; nothing was written",
                 1);
        if (inserting) {
            inserting = text.empty() || text[0] != '.';
        } else if (!text.empty() && (text.back() == 'a' || text.back() == 'c')) {
            inserting = true;
            command = text;
        }
    }
    Fail("EdBuf refused the script with " + CodeText(edRc) +
         " but applying it line by line did not; this is a fault in the library");
}

// A script whose last insertion has no closing line would leave text out
// and the target in insert mode: refuse it before applying.
void CheckScriptEnd(const std::string& scriptName) {
    BufferReader script(2);
    std::string_view line;
    bool inserting = false;
    long start = 0;
    while (script.Next(line)) {
        if (inserting) {
            if (!line.empty() && line[0] == '.')
                inserting = false;
        } else if (!line.empty() && (line.back() == 'a' || line.back() == 'c')) {
            inserting = true;
            start = script.LineNumber();
        }
    }
    if (inserting)
        Fail(DisplayName(scriptName) + ":" + std::to_string(start) +
                 ": the insertion that begins here has no closing '.' line: the script is cut "
                 "short; get the whole script; nothing was written",
             1);
}

struct Section {
    long firstLine = 0;
    bool empty = false;
    bool binary = false;
    long shortLine = 0;  // first uuencoded line shorter than its count needs
};

// A uuencoded line: a space, the length character, then four characters
// for every three bytes. The library decodes what it finds; a line that
// lacks characters its count needs is damage, found before anything is
// written.
bool DataLineComplete(std::string_view line) {
    if (line.size() < 2)
        return false;
    const std::size_t count = static_cast<std::size_t>((line[1] - 32) & 63);
    const std::size_t groups = (count + 2) / 3;
    const std::size_t last = count % 3 == 0 ? 4 : count % 3 + 1;  // characters of the last group
    const std::size_t needed = count == 0 ? 2 : 2 + 4 * (groups - 1) + last;
    return line.size() >= needed;
}

std::vector<Section> ScanBundle(const std::string& bundleName) {
    std::vector<Section> sections;
    BufferReader reader(1);
    std::string_view line;
    Section current;
    bool open = false;
    bool firstIsBegin = false;  // the section opens with a uuencode header
    bool lastIsEnd = false;     // the line before the terminator is " end"
    while (reader.Next(line)) {
        if (!open) {
            current = Section{reader.LineNumber(), false, false, 0};
            open = true;
            firstIsBegin = line.substr(0, 7) == " begin ";
        }
        if (line == "E") {
            current.empty = reader.LineNumber() == current.firstLine;
            current.binary = !current.empty && firstIsBegin && lastIsEnd;
            sections.push_back(current);
            open = false;
            continue;
        }
        if (line.empty() || line[0] != ' ')
            Fail(DisplayName(bundleName) + ":" + std::to_string(reader.LineNumber()) +
                 ": not a bundle line (bundle lines begin with a space or are the terminator "
                 "'E'); is this a bundle made by 'vek bundle'?");
        lastIsEnd = line == " end";
        if (firstIsBegin && reader.LineNumber() != current.firstLine && !lastIsEnd &&
            current.shortLine == 0 && !DataLineComplete(line))
            current.shortLine = reader.LineNumber();
    }
    if (open)
        Fail(DisplayName(bundleName) + ":" + std::to_string(reader.Count()) +
             ": the bundle ends inside a file's section, without its 'E' line: it is cut short");
    return sections;
}

}  // namespace

int RunDiff(const Options& o) {
    if (o.operands.size() != 2)
        Fail("diff: give OLD and NEW; see 'vek diff --help'");
    const std::string& oldName = o.operands[0];
    const std::string& newName = o.operands[1];
    if (oldName == "-" && newName == "-")
        Fail("diff: only one of OLD and NEW can be standard input");
    ResetBuffers();
    LoadFile(1, oldName, o.crlf);
    LoadInfo newInfo;
    LoadFile(2, newName, o.crlf, &newInfo);
    const std::string outName = o.hasOutput ? o.output : "-";

    const int rc = Diff(1, 2, 3);
    if (rc == RC_DIFF_FAILED)
        return WholeReplacement(oldName, newName, newInfo, outName, o.crlf);
    if (rc == RC_BUFFER_FULL)
        Fail("the edit script from " + DisplayName(oldName) + " to " + DisplayName(newName) +
             " would take more lines than a buffer holds (at most " + Grouped(MAX_LINES + 1L) +
             "); the files differ too much for one script: keep the new file whole, or compare "
             "smaller parts");
    if (rc != RC_OK)
        Fail("Diff failed with " + CodeText(rc));

    // Check the script before it goes out: applied to OLD it must give NEW.
    // Buffer 1 (OLD) is not needed any more, so the script is applied there.
    const int applied = EdBuf(3, 1);
    const long difference = applied == RC_OK ? FirstDifference(1, 2) : -1;
    if (applied != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newInfo, applied, difference);
    const long scriptLines = BufferLineCount(3);
    WriteBuffer(3, outName, o.crlf);
    return scriptLines == 0 ? 0 : 1;
}

int RunPatch(const Options& o) {
    if (o.operands.size() != 2)
        Fail("patch: give FILE and SCRIPT; see 'vek patch --help'");
    const std::string& fileName = o.operands[0];
    const std::string& scriptName = o.operands[1];
    if (fileName == "-" && scriptName == "-")
        Fail("patch: only one of FILE and SCRIPT can be standard input");
    ResetBuffers();
    // Standard input cannot be read twice; keep a copy in case the script is
    // refused and the refused line has to be found.
    std::FILE* kept = fileName == "-" ? std::tmpfile() : nullptr;
    struct Closer {
        std::FILE* file;
        ~Closer() {
            if (file != nullptr)
                std::fclose(file);
        }
    } closer{kept};
    LoadFile(1, fileName, o.crlf, nullptr, kept);
    LoadFile(2, scriptName, o.crlf);
    CheckScriptEnd(scriptName);

    const int rc = EdBuf(2, 1);
    if (rc != RC_OK) {
        if (fileName == "-" && kept == nullptr)
            Fail(DisplayName(scriptName) + ": the script was refused (" + CodeText(rc) +
                     "): it does not fit the file; nothing was written",
                 1);
        ExplainRefusal(o, kept, rc);
    }
    WriteBuffer(1, o.hasOutput ? o.output : "-", o.crlf);
    return 0;
}

int RunBundle(const Options& o) {
    if (!o.hasOutput)
        Fail("bundle: give the bundle's name with -o BUNDLE; see 'vek bundle --help'");
    const std::vector<std::string> names = SetNames(o, o.operands);
    const std::string list = FileList(names, true);
    const char type = TypeOf(o, list);
    CheckTextFiles(names, type);
    ResetBuffers();
    std::vector<char> writable = Writable(list);
    char status[64] = {};
    const int rc = LoadFiles(1, type, writable.data(), status);
    if (rc == RC_BUFFER_FULL)
        Fail("the files make more lines than a buffer holds (at most " + Grouped(MAX_LINES + 1L) +
             "); bundle fewer or smaller files");
    if (rc != RC_OK)
        Fail("LoadFiles failed with " + CodeText(rc) + "; check that every file can be read");
    WriteBuffer(1, o.output, o.crlf);
    return 0;
}

int RunUnbundle(const Options& o) {
    if (o.operands.size() < 2)
        Fail("unbundle: give BUNDLE and the names of its files; see 'vek unbundle --help'");
    const std::string& bundleName = o.operands[0];
    const std::vector<std::string> names =
        SetNames(o, std::vector<std::string>(o.operands.begin() + 1, o.operands.end()));
    const std::string list = FileList(names, false);
    ResetBuffers();
    LoadFile(1, bundleName, o.crlf);
    const std::vector<Section> sections = ScanBundle(bundleName);
    if (sections.size() != names.size())
        Fail(DisplayName(bundleName) + ": the bundle holds " + std::to_string(sections.size()) +
             " file(s) but " + std::to_string(names.size()) +
             " name(s) were given; name every file of the bundle, in order");

    char type = o.hasTenth ? 'T' : o.type;
    if (type == 0) {
        type = 'B';
        for (const Section& section : sections)
            if (!section.empty && !section.binary)
                type = 'T';
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& section = sections[i];
        if (HandledAsBinary(type, i) && section.binary && section.shortLine != 0)
            Fail(DisplayName(bundleName) + ":" + std::to_string(section.shortLine) +
                 ": the uuencoded line is shorter than its length character says: the bundle is "
                 "damaged; nothing was written");
        if (HandledAsBinary(type, i) && !section.empty && !section.binary)
            Fail(DisplayName(bundleName) + ":" + std::to_string(section.firstLine) + ": file " +
                 std::to_string(i + 1) + " (" + names[i] + ") is text, not uuencoded" +
                 (type == 'B' ? std::string("; unbundle with -t")
                              : std::string("; the tenth file of a set is always binary")));
    }
    std::vector<char> writable = Writable(list);
    const int rc = WriteFiles(1, type, writable.data());
    if (rc == RC_WRITE_FAILED)
        Fail("WriteFiles failed with " + CodeText(rc) +
             ": check that the folders exist and the files can be written");
    if (rc != RC_OK)
        Fail("WriteFiles failed with " + CodeText(rc) + "; is the bundle damaged?");
    for (std::size_t i = 0; i < sections.size(); ++i) {
        // The library leaves a file of an empty section untouched; vek
        // bundles only files that exist, so such a file was empty.
        if (names[i].empty())
            continue;  // an unused place before a tenth file
        if (sections[i].empty)
            CreateEmptyFile(names[i]);
        else if (o.lf && !HandledAsBinary(type, i))
            ConvertCrLfToLf(names[i]);
    }
    return 0;
}

int RunCrc(const Options& o) {
    if (o.operands.empty())
        Fail("crc: name at least one file; see 'vek crc --help'");
    char line[128];
    if (o.type != 0 || o.hasTenth) {
        const std::vector<std::string> names = SetNames(o, o.operands);
        const std::string list = FileList(names, true);
        CheckTextFiles(names, o.hasTenth ? 'T' : o.type);
        std::vector<char> writable = Writable(list);
        int sum = 0;
        const int rc = CrcFile(o.hasTenth ? 'T' : o.type, writable.data(), 16, &sum);
        if (rc != RC_OK)
            Fail("CrcFile failed with " + CodeText(rc) + "; check that every file can be read");
        std::snprintf(line, sizeof line, "%04X  ", static_cast<unsigned>(sum));
        std::printf("%s%s\n", line, JoinedNames(SetNames(o, o.operands)).c_str());
        return 0;
    }
    for (const std::string& name : o.operands) {
        ResetBuffers();
        LoadFile(1, name, o.crlf);
        int sum = 0;
        const int rc = Crc(1, 16, &sum);
        if (rc != RC_OK)
            Fail("Crc failed with " + CodeText(rc));
        std::printf("%04X  %s\n", static_cast<unsigned>(sum), DisplayName(name).c_str());
    }
    return 0;
}

int RunType(const Options& o) {
    if (o.operands.empty())
        Fail("type: name at least one file; see 'vek type --help'");
    for (const std::string& name : o.operands) {
        const std::string list = FileList({name}, true);
        const char type = TypeOf(list);
        std::printf("%-6s  %s\n", type == 'B' ? "binary" : "text", name.c_str());
    }
    return 0;
}

}  // namespace vekcli
