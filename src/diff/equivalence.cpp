#include "diff/equivalence.h"

#include <algorithm>
#include <cstring>

#include "common/failure.h"

namespace vek {

namespace {

inline std::uint32_t HashStep(std::uint32_t hash, char c) noexcept {
    return ((hash << 7) | (hash >> 25)) + static_cast<unsigned char>(c);
}

// Continues a hash from byte `from` of the text up to its first line feed.
inline std::uint32_t HashFrom(std::string_view text, std::size_t from,
                              std::uint32_t hash) noexcept {
    for (std::size_t i = from; i < text.size() && text[i] != '\n'; ++i) {
        hash = HashStep(hash, text[i]);
    }
    return hash;
}

// Hashes of two records at once. Each hash is a chain of dependent steps,
// so two independent chains keep the processor busy where one would wait.
void HashPair(LineRecord& a, LineRecord& b) noexcept {
    const std::string_view ta = a.text;
    const std::string_view tb = b.text;
    const std::size_t common = std::min(ta.size(), tb.size());
    std::uint32_t ha = 0;
    std::uint32_t hb = 0;
    std::size_t i = 0;
    for (; i < common; ++i) {
        const char ca = ta[i];
        const char cb = tb[i];
        if ((ca == '\n') | (cb == '\n')) {
            break;
        }
        ha = HashStep(ha, ca);
        hb = HashStep(hb, cb);
    }
    a.hash = HashFrom(ta, i, ha);
    b.hash = HashFrom(tb, i, hb);
}

}  // namespace

std::uint32_t LineHash(std::string_view text) noexcept {
    return HashFrom(text, 0, 0);
}

namespace {

// Hashes records [from, recordCount) of a side, two at a time.
void HashRecords(DiffSide& side, std::int32_t from) noexcept {
    std::int32_t j = from;
    for (; j + 2 <= side.recordCount; j += 2) {
        HashPair(side.records[j], side.records[j + 1]);
    }
    if (j < side.recordCount) {
        side.records[j].hash = LineHash(side.records[j].text);
    }
}

}  // namespace

void BuildLineRecords(DiffSide& side, bool hashNow) {
    side.records.Allocate(static_cast<std::size_t>(side.WindowLines()));
    side.recordCount = std::max(side.prefixEnd - side.first + 1, 0);
    const VekBuf& buffer = *side.buffer;
    const std::int32_t end = std::min(side.middleEnd, buffer.LineCount());
    const std::int32_t firstMiddle = side.recordCount;
    for (std::int32_t i = side.prefixEnd; i < end; ++i) {
        side.records[side.recordCount++] = LineRecord{buffer.Line(i), i, 0};
    }
    if (hashNow) {
        HashRecords(side, firstMiddle);
    }
}

void BuildSequenceRecords(DiffSide& side, const std::string_view* lines, bool hashNow) {
    side.records.Allocate(static_cast<std::size_t>(side.WindowLines()));
    side.recordCount = 0;
    for (std::int32_t i = side.first - 1; i < side.middleEnd; ++i) {
        side.records[side.recordCount++] = LineRecord{lines[i], i, 0};
    }
    if (hashNow) {
        HashRecords(side, 0);
    }
}

ClassTable::ClassTable(std::int32_t sourceRecords, std::int32_t targetRecords, TableSize size) {
    const std::int32_t wanted = sourceRecords + targetRecords + 5;
    if (size == TableSize::kWindowCapped) {
        m_capacity = std::min(wanted, kClassTableMaxEntries);
        m_bucketCount = static_cast<std::uint32_t>(std::min(wanted, kClassTableMaxBuckets));
        m_held = m_capacity;
    } else {
        // Most texts of similar files are shared, so the entries start at a
        // quarter of what could be needed and grow on demand.
        m_capacity = wanted;
        m_bucketCount = static_cast<std::uint32_t>(wanted);
        m_held = std::min(wanted, std::max(wanted / 4, 1024));
    }
    m_entries.Allocate(static_cast<std::size_t>(m_held));
    m_buckets.Allocate(m_bucketCount);
    m_buckets.Clear();
}

void ClassTable::GrowEntries() {
    const std::int32_t held =
        m_held > m_capacity / 2 ? m_capacity : std::max(m_held * 2, m_held + 1);
    DiffArray<ClassEntry> larger;
    larger.Allocate(static_cast<std::size_t>(held));
    std::memcpy(static_cast<void*>(larger.Data()), m_entries.Data(),
                static_cast<std::size_t>(m_classCount) * sizeof(ClassEntry));
    m_entries = std::move(larger);
    m_held = held;
}

std::int32_t ClassTable::FindEquivalence(std::int32_t j) {
    const DiffSide& side = *m_side;
    if (j < side.prefixEnd - side.first + 1) {
        return 0;
    }
    const LineRecord& record = side.records[j];
    if (record.lineIndex >= side.middleEnd) {
        return 0;
    }
    std::int32_t& head = m_buckets[record.hash % m_bucketCount];
    for (std::int32_t k = head; k != 0; k = m_entries[k].link) {
        const ClassEntry& entry = m_entries[k];
        if (entry.hash == record.hash && SameText(entry.text, record.text)) {
            return k;
        }
    }
    if (m_classCount >= m_capacity) {
        throw Failure(kClassTableFullText);
    }
    if (m_classCount >= m_held) {
        GrowEntries();
    }
    const std::int32_t k = m_classCount++;
    m_entries[k] = ClassEntry{head, record.text, record.lineIndex, record.hash};
    head = k;
    return k;
}

void AssignClasses(DiffSidePair& sides) {
    BuildLineRecords(sides.source, true);
    BuildLineRecords(sides.target, false);
    ClassifyRecords(sides, TableSize::kWindowCapped);
}

void ClassifyRecords(DiffSidePair& sides, TableSize size) {
    DiffSide& source = sides.source;
    DiffSide& target = sides.target;
    ClassTable table(source.recordCount, target.recordCount, size);

    source.classes.Allocate(static_cast<std::size_t>(source.recordCount) + 5);
    table.SetCurrentSide(source);
    for (std::int32_t j = 0; j < source.recordCount; ++j) {
        source.classes[j] = table.FindEquivalence(j);
    }
    const std::int32_t sourceClasses = table.ClassCount();

    // Most target lines have an equal source line on the diagonal of the
    // last line found in the table; such a line takes that line's class
    // (the one the table would give) without being hashed or looked up.
    target.classes.Allocate(static_cast<std::size_t>(target.recordCount) + 5);
    table.SetCurrentSide(target);
    const std::int32_t targetPrefix = std::max(target.prefixEnd - target.first + 1, 0);
    const std::int32_t sourcePrefix = std::max(source.prefixEnd - source.first + 1, 0);
    std::int32_t diagonal = 0;  // source record index minus target record index
    bool onDiagonal = false;
    for (std::int32_t j = 0; j < target.recordCount; ++j) {
        if (j >= targetPrefix && onDiagonal) {
            const std::int32_t s = j + diagonal;
            if (s < source.recordCount &&
                SameText(source.records[s].text, target.records[j].text)) {
                target.classes[j] = source.classes[s];
                continue;
            }
        }
        if (j >= targetPrefix) {
            target.records[j].hash = LineHash(target.records[j].text);
        }
        const std::int32_t k = table.FindEquivalence(j);
        target.classes[j] = k;
        onDiagonal = false;
        if (k != 0 && k < sourceClasses) {
            const std::int32_t s = table.Entry(k).lineIndex - (source.first - 1);
            if (s >= sourcePrefix) {
                diagonal = s - j;
                onDiagonal = true;
            }
        }
    }
    source.classCount = target.classCount = table.ClassCount();
}

}  // namespace vek
