#include "diff/equivalence.h"

#include <algorithm>
#include <cstring>

#include "common/failure.h"

namespace vek {

std::uint32_t LineHash(std::string_view text) noexcept {
    std::uint32_t hash = 0;
    for (const char c : text) {
        if (c == '\n') {
            break;
        }
        hash = ((hash << 7) | (hash >> 25)) + static_cast<unsigned char>(c);
    }
    return hash;
}

void BuildLineRecords(DiffSide& side) {
    side.records.Allocate(static_cast<std::size_t>(side.WindowLines()));
    side.recordCount = std::max(side.prefixEnd - side.first + 1, 0);
    const VekBuf& buffer = *side.buffer;
    const std::int32_t end = std::min(side.middleEnd, buffer.LineCount());
    for (std::int32_t i = side.prefixEnd; i < end; ++i) {
        const std::string_view text = buffer.Line(i);
        side.records[side.recordCount++] = LineRecord{text, i, LineHash(text)};
    }
}

ClassTable::ClassTable(std::int32_t sourceRecords, std::int32_t targetRecords) {
    const std::int32_t wanted = sourceRecords + targetRecords + 5;
    m_capacity = std::min(wanted, kClassTableMaxEntries);
    m_bucketCount = static_cast<std::uint32_t>(std::min(wanted, kClassTableMaxBuckets));
    m_entries.Allocate(static_cast<std::size_t>(m_capacity));
    m_buckets.Allocate(m_bucketCount);
    m_buckets.Clear();
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
        if (entry.hash == record.hash && entry.text.size() == record.text.size() &&
            std::memcmp(entry.text.data(), record.text.data(), record.text.size()) == 0) {
            return k;
        }
    }
    if (m_classCount >= m_capacity) {
        throw Failure(kClassTableFullText);
    }
    const std::int32_t k = m_classCount++;
    m_entries[k] = ClassEntry{head, record.text, record.lineIndex, record.hash};
    head = k;
    return k;
}

void AssignClasses(DiffSidePair& sides) {
    BuildLineRecords(sides.source);
    BuildLineRecords(sides.target);
    ClassTable table(sides.source.recordCount, sides.target.recordCount);
    for (DiffSide* side : {&sides.source, &sides.target}) {
        table.SetCurrentSide(*side);
        side->classes.Allocate(static_cast<std::size_t>(side->recordCount) + 5);
        for (std::int32_t j = 0; j < side->recordCount; ++j) {
            side->classes[j] = table.FindEquivalence(j);
        }
    }
    sides.source.classCount = sides.target.classCount = table.ClassCount();
}

}  // namespace vek
