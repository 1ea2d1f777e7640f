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
    if (script.AppendLine(text) != 0) {
        throw OutOfMemory();
    }
}

std::size_t FormatRangeCommand(std::int32_t a, std::int32_t b, char letter,
                               char (&text)[kCommandTextSize]) {
    char range[kRangeTextSize];
    const std::size_t length = FormatRange(a, b, range);
    std::memcpy(text, range, length);
    text[length] = letter;
    text[length + 1] = '\n';
    return length + 2;
}

void AppendCommand(VekBuf& script, std::int32_t a, std::int32_t b, char letter) {
    char text[kCommandTextSize];
    AppendScriptLine(script, std::string_view(text, FormatRangeCommand(a, b, letter, text)));
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
    const std::uint8_t* const m0 = sides.source.changeMarks;
    const std::uint8_t* const m1 = sides.target.changeMarks;
    const std::int32_t len0 = sides.source.recordCount;
    const std::int32_t len1 = sides.target.recordCount;
    std::int32_t i0 = 0;
    std::int32_t i1 = 0;
    while (i0 < len0 || i1 < len1) {
        if (m0[i0] == 0 && m1[i1] == 0) {
            ++i0;
            ++i1;
            continue;
        }
        const std::int32_t s0 = i0;
        const std::int32_t s1 = i1;
        while (m0[i0] != 0) {
            ++i0;
        }
        while (m1[i1] != 0) {
            ++i1;
        }
        Change& change = list.PushFront();
        change.line0 = s0 + sides.source.first - 1;
        change.line1 = s1 + sides.target.first - 1;
        change.deleted = i0 - s0;
        change.inserted = i1 - s1;
        ++i0;
        ++i1;
    }
}

std::size_t FormatRange(std::int32_t a, std::int32_t b, char (&out)[kRangeTextSize]) {
    const int written = b + 1 > a + 1 ? std::snprintf(out, sizeof out, "%d%c%d", a + 1, ',', b + 1)
                                      : std::snprintf(out, sizeof out, "%d", b + 1);
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
    const std::int32_t n0 = sides.source.buffer->LineCount();
    AppendCommand(*tail, n0 - 1, n0 - 1, 'a');
    const VekBuf& target = *sides.target.buffer;
    AppendTargetLines(*tail, target, sides.target.first - 1, target.LineCount() - 1);
    return tail;
}

std::unique_ptr<VekBuf> EmitTailDelete(const DiffSidePair& sides) {
    auto tail = std::make_unique<VekBuf>();
    const std::int32_t n0 = sides.source.buffer->LineCount();
    AppendCommand(*tail, sides.source.first - 1, n0 - 1, 'd');
    return tail;
}

}  // namespace vek
