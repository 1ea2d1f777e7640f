#include "diff/emission.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/failure.h"
#include "diff/diff_alloc.h"

namespace vek {

namespace {

// A window script is far below the line limit, so a refused line can only
// mean that memory ran out; a script with a line missing would be wrong, so
// the window fails instead.
void AppendScriptLine(VekBuf& script, std::string_view text) {
    if (script.AppendLine(text) != VEK_RC_OK) {
        throw OutOfMemory();
    }
}

std::size_t FormatRangeCommand(std::int32_t first, std::int32_t last, char letter,
                               char (&text)[kCommandTextSize]) {
    char range[kRangeTextSize];
    const std::size_t length = FormatRange(first, last, range);
    std::memcpy(text, range, length);
    text[length] = letter;
    text[length + 1] = '\n';
    return length + 2;
}

void AppendCommand(VekBuf& script, std::int32_t first, std::int32_t last, char letter) {
    char text[kCommandTextSize];
    AppendScriptLine(script, std::string_view(text, FormatRangeCommand(first, last, letter, text)));
}

void AppendTargetLines(VekBuf& script, const VekBuf& target, std::int32_t first,
                       std::int32_t last) {
    for (std::int32_t i = first; i <= last; ++i) {
        AppendScriptLine(script, target.Line(i));
    }
    AppendScriptLine(script, ".\n");
}

}  // namespace

ChangeList::~ChangeList() {
    while (m_head != nullptr) {
        Change* next = m_head->link;
        DiffRelease(m_head);
        m_head = next;
    }
}

Change& ChangeList::PushFront() {
    auto* change = static_cast<Change*>(DiffAlloc(sizeof(Change)));
    *change = Change{m_head, 0, 0, 0, 0};
    m_head = change;
    return *change;
}

void BuildChangeList(const DiffSidePair& sides, ChangeList& list) {
    // Both sides are walked together: unchanged lines pair up one to one, and
    // the guard byte after each side's last record ends its last run.
    const std::uint8_t* const sourceMarks = sides.source.changeMarks;
    const std::uint8_t* const targetMarks = sides.target.changeMarks;
    const std::int32_t sourceRecords = sides.source.recordCount;
    const std::int32_t targetRecords = sides.target.recordCount;
    std::int32_t sourceLine = 0;
    std::int32_t targetLine = 0;
    while (sourceLine < sourceRecords || targetLine < targetRecords) {
        if (sourceMarks[sourceLine] == 0 && targetMarks[targetLine] == 0) {
            ++sourceLine;
            ++targetLine;
            continue;
        }
        const std::int32_t sourceStart = sourceLine;
        const std::int32_t targetStart = targetLine;
        while (sourceMarks[sourceLine] != 0) {
            ++sourceLine;
        }
        while (targetMarks[targetLine] != 0) {
            ++targetLine;
        }
        Change& change = list.PushFront();
        change.line0 = sourceStart + sides.source.first - 1;
        change.line1 = targetStart + sides.target.first - 1;
        change.deleted = sourceLine - sourceStart;
        change.inserted = targetLine - targetStart;
        ++sourceLine;
        ++targetLine;
    }
}

std::size_t FormatRange(std::int32_t first, std::int32_t last, char (&out)[kRangeTextSize]) {
    const int written = last + 1 > first + 1
                            ? std::snprintf(out, sizeof out, "%d%c%d", first + 1, ',', last + 1)
                            : std::snprintf(out, sizeof out, "%d", last + 1);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t FormatCommand(const Change& change, char (&out)[kCommandTextSize]) {
    const char letter = change.inserted == 0 ? 'd' : change.deleted == 0 ? 'a' : 'c';
    return FormatRangeCommand(change.line0, change.line0 + change.deleted - 1, letter, out);
}

void EmitHunk(VekBuf& window, const Change& change, const VekBuf& target) {
    char command[kCommandTextSize];
    AppendScriptLine(window, std::string_view(command, FormatCommand(change, command)));
    if (change.inserted != 0) {
        AppendTargetLines(window, target, change.line1, change.line1 + change.inserted - 1);
    }
}

std::unique_ptr<VekBuf> EmitTailAppend(const DiffSidePair& sides) {
    auto tail = std::make_unique<VekBuf>();
    const std::int32_t sourceCount = sides.source.buffer->LineCount();
    AppendCommand(*tail, sourceCount - 1, sourceCount - 1, 'a');
    const VekBuf& target = *sides.target.buffer;
    AppendTargetLines(*tail, target, sides.target.first - 1, target.LineCount() - 1);
    return tail;
}

std::unique_ptr<VekBuf> EmitTailDelete(const DiffSidePair& sides) {
    auto tail = std::make_unique<VekBuf>();
    const std::int32_t sourceCount = sides.source.buffer->LineCount();
    AppendCommand(*tail, sides.source.first - 1, sourceCount - 1, 'd');
    return tail;
}

}  // namespace vek
