#include "diff/equivalence.h"

#include <algorithm>
#include <cstring>
#include <limits>

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
void HashPair(LineRecord& first, LineRecord& second) noexcept {
    const std::string_view firstText = first.text;
    const std::string_view secondText = second.text;
    const std::size_t common = std::min(firstText.size(), secondText.size());
    std::uint32_t firstHash = 0;
    std::uint32_t secondHash = 0;
    std::size_t i = 0;
    for (; i < common; ++i) {
        const char firstByte = firstText[i];
        const char secondByte = secondText[i];
        if ((firstByte == '\n') | (secondByte == '\n')) {
            break;
        }
        firstHash = HashStep(firstHash, firstByte);
        secondHash = HashStep(secondHash, secondByte);
    }
    first.hash = HashFrom(firstText, i, firstHash);
    second.hash = HashFrom(secondText, i, secondHash);
}

// A hash of a whole text, eight bytes at a step (the line hash above takes
// one byte at a step and stops at a line feed, as the window tables need).
std::uint64_t Load64(const char* bytes) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

std::uint32_t SequenceHash(std::string_view text) noexcept {
    const char* at = text.data();
    const std::size_t size = text.size();
    std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ size;
    std::size_t left = size;
    for (; left > 8; at += 8, left -= 8) {
        hash = (hash ^ Load64(at)) * 0xBF58476D1CE4E5B9ULL;
    }
    // The last one to eight bytes: a word ending with them (overlapping
    // bytes hashed before) when the text has eight, else assembled.
    std::uint64_t last = 0;
    if (size >= 8) {
        last = Load64(text.data() + size - 8);
    } else {
        for (std::size_t i = 0; i < left; ++i) {
            last |= static_cast<std::uint64_t>(static_cast<unsigned char>(at[i])) << (8 * i);
        }
    }
    hash = (hash ^ last) * 0x94D049BB133111EBULL;
    // Every byte reaches the bits kept.
    hash ^= hash >> 31;
    hash *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<std::uint32_t>(hash >> 32);
}

}  // namespace

std::uint32_t LineHash(std::string_view text) noexcept {
    return HashFrom(text, 0, 0);
}

void BuildLineRecords(DiffSide& side, bool hashNow) {
    side.records.Allocate(static_cast<std::size_t>(side.WindowLines()));
    side.recordCount = std::max(side.prefixEnd - side.first + 1, 0);
    const VekBuf& buffer = *side.buffer;
    const std::int32_t end = std::min(side.middleEnd, buffer.LineCount());
    const std::int32_t firstMiddle = side.recordCount;
    for (std::int32_t i = side.prefixEnd; i < end; ++i) {
        side.records[side.recordCount++] = LineRecord{buffer.Line(i), i, 0};
    }
    if (!hashNow) {
        return;
    }
    std::int32_t j = firstMiddle;
    for (; j + 2 <= side.recordCount; j += 2) {
        HashPair(side.records[j], side.records[j + 1]);
    }
    if (j < side.recordCount) {
        side.records[j].hash = LineHash(side.records[j].text);
    }
}

ClassTable::ClassTable(std::int32_t sourceRecords, std::int32_t targetRecords) {
    const std::int32_t wanted = sourceRecords + targetRecords + 5;
    m_capacity = std::min(wanted, kClassTableMaxEntries);
    // A power of two at least as large as the records need, so that a
    // bucket is found with a mask rather than a division.
    const auto needed = static_cast<std::uint32_t>(std::min(wanted, kClassTableMaxBuckets));
    m_bucketCount = 1;
    while (m_bucketCount < needed) {
        m_bucketCount *= 2;
    }
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
    std::int32_t& head = m_buckets[record.hash & (m_bucketCount - 1)];
    for (std::int32_t klass = head; klass != 0; klass = m_entries[klass].link) {
        const ClassEntry& entry = m_entries[klass];
        if (entry.hash == record.hash && SameText(entry.text, record.text)) {
            return klass;
        }
    }
    if (m_classCount >= m_capacity) {
        throw Failure(kClassTableFullText);
    }
    const std::int32_t klass = m_classCount++;
    m_entries[klass] = ClassEntry{head, record.text, record.lineIndex, record.hash};
    head = klass;
    return klass;
}

void AssignClasses(DiffSidePair& sides) {
    DiffSide& source = sides.source;
    DiffSide& target = sides.target;
    // The table buckets texts by a hash of the whole text taken eight bytes
    // at a step, not by the line hash, which takes a byte at a step: equal
    // texts have equal hashes either way, so the classes are the same.
    BuildLineRecords(source, false);
    BuildLineRecords(target, false);
    for (std::int32_t j = std::max(source.prefixEnd - source.first + 1, 0); j < source.recordCount;
         ++j) {
        source.records[j].hash = SequenceHash(source.records[j].text);
    }
    ClassTable table(source.recordCount, target.recordCount);

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
            const std::int32_t partner = j + diagonal;
            if (partner < source.recordCount &&
                SameText(source.records[partner].text, target.records[j].text)) {
                target.classes[j] = source.classes[partner];
                continue;
            }
        }
        if (j >= targetPrefix) {
            target.records[j].hash = SequenceHash(target.records[j].text);
        }
        const std::int32_t klass = table.FindEquivalence(j);
        target.classes[j] = klass;
        onDiagonal = false;
        if (klass != 0 && klass < sourceClasses) {
            const std::int32_t first = table.Entry(klass).lineIndex - (source.first - 1);
            if (first >= sourcePrefix) {
                diagonal = first - j;
                onDiagonal = true;
            }
        }
    }
    source.classCount = target.classCount = table.ClassCount();
}

namespace {

inline void Prefetch(const void* address) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

// Classes of the lines of two sequences. A slot holds a hash and a class
// (class 0: empty slot); the table has a power-of-two number of slots and
// is kept at most half full, so a probe ends within a few slots of one
// cache line. Each class remembers one line that has its text.
class SequenceClasses {
  public:
    // source[i] and target[j] are the lines the table numbers i and
    // j + kTargetLine.
    SequenceClasses(const std::string_view* source, const std::string_view* target,
                    std::int32_t expected)
        : m_source(source), m_target(target) {
        // Half the lines of similar texts are repeats, so a table with a
        // slot per expected line starts about a quarter full.
        std::size_t slots = 1024;
        while (slots < static_cast<std::size_t>(expected)) {
            slots *= 2;
        }
        AllocateSlots(slots);
        m_line.Allocate(slots / 2 + 1);
        m_sourceOnce.Allocate(slots / 2 + 1);
    }

    // Where the slot of `hash` would be probed first.
    const void* Home(std::uint32_t hash) const noexcept { return &m_slots[hash & m_mask]; }

    // The class of a text; `line` names it if it starts a new class (a
    // source index, or a target index + kTargetLine). fromSource: the text
    // is a source line (a second one ends the class's OnlySourceLine).
    std::int32_t Find(std::string_view text, std::uint32_t hash, std::int32_t line,
                      bool fromSource) {
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.klass == 0) {
                return Add(slot, hash, line, fromSource);
            }
            if (slot.hash == hash && SameText(Text(m_line[slot.klass]), text)) {
                if (fromSource) {
                    m_sourceOnce[slot.klass] = 0;
                }
                return slot.klass;
            }
        }
    }

    std::int32_t ClassCount() const noexcept { return m_count; }
    // The line that started class `klass`, if it is a source line that no
    // other source line shares; else -1.
    std::int32_t OnlySourceLine(std::int32_t klass) const noexcept {
        return m_sourceOnce[klass] != 0 ? m_line[klass] : -1;
    }

    // Source lines are numbered below it and target lines from it on; both
    // sides together hold at most kMostSequenceLines lines.
    static constexpr std::int32_t kTargetLine = std::int32_t{1} << 30;
    static_assert(kMostSequenceLines <= static_cast<std::size_t>(kTargetLine) &&
                      kMostSequenceLines - 1 <=
                          static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() -
                                                   kTargetLine),
                  "every source line number lies below kTargetLine, every target line number "
                  "fits an int32");

  private:
    struct Slot {
        std::uint32_t hash;
        std::int32_t klass;
    };

    std::string_view Text(std::int32_t line) const noexcept {
        return line >= kTargetLine ? m_target[line - kTargetLine] : m_source[line];
    }

    void AllocateSlots(std::size_t slots) {
        m_slots.Allocate(slots);
        m_slots.Clear();
        m_mask = slots - 1;
    }

    std::int32_t Add(Slot& slot, std::uint32_t hash, std::int32_t line, bool fromSource) {
        const std::int32_t klass = m_count++;
        if (static_cast<std::size_t>(klass) >= m_line.Count()) {
            Grow(m_line, m_line.Count() * 2);
            Grow(m_sourceOnce, m_line.Count());
        }
        m_line[klass] = line;
        m_sourceOnce[klass] = fromSource ? 1 : 0;
        slot = Slot{hash, klass};
        if (2 * static_cast<std::size_t>(m_count) > m_mask + 1) {
            Rehash();
        }
        return klass;
    }

    template <class T>
    static void Grow(DiffArray<T>& array, std::size_t count) {
        DiffArray<T> larger;
        larger.Allocate(count);
        std::memcpy(static_cast<void*>(larger.Data()), array.Data(), array.Count() * sizeof(T));
        array = std::move(larger);
    }

    void Rehash() {
        DiffArray<Slot> old = std::move(m_slots);
        AllocateSlots(old.Count() * 2);
        for (std::size_t j = 0; j < old.Count(); ++j) {
            if (old[j].klass != 0) {
                std::size_t i = old[j].hash & m_mask;
                while (m_slots[i].klass != 0) {
                    i = (i + 1) & m_mask;
                }
                m_slots[i] = old[j];
            }
        }
    }

    const std::string_view* m_source;
    const std::string_view* m_target;
    DiffArray<Slot> m_slots;
    std::size_t m_mask = 0;
    DiffArray<std::int32_t> m_line;        // per class: the line that started it
    DiffArray<std::uint8_t> m_sourceOnce;  // per class: 1 while one source line has it
    std::int32_t m_count = 1;              // class 0 stays reserved
};

}  // namespace

void ClassifySequences(DiffSidePair& sides, const std::string_view* source,
                       const std::string_view* target) {
    DiffSide& sourceSide = sides.source;
    DiffSide& targetSide = sides.target;
    sourceSide.recordCount = sourceSide.WindowLines();
    targetSide.recordCount = targetSide.WindowLines();
    const std::string_view* const sourceLines = source + (sourceSide.first - 1);
    const std::string_view* const targetLines = target + (targetSide.first - 1);
    const std::int32_t sourceCount = sourceSide.recordCount;
    const std::int32_t targetCount = targetSide.recordCount;
    sourceSide.classes.Allocate(static_cast<std::size_t>(sourceCount) + 5);
    targetSide.classes.Allocate(static_cast<std::size_t>(targetCount) + 5);
    SequenceClasses table(sourceLines, targetLines, sourceCount);

    // Source lines: hashed in one pass, then looked up with the slots of
    // the lines a little ahead already on their way into the cache.
    constexpr std::int32_t kAhead = 16;
    {
        DiffArray<std::uint32_t> hashes;
        hashes.Allocate(static_cast<std::size_t>(sourceCount) + 1);
        for (std::int32_t i = 0; i < sourceCount; ++i) {
            hashes[i] = SequenceHash(sourceLines[i]);
        }
        for (std::int32_t i = 0; i < sourceCount; ++i) {
            if (i + kAhead < sourceCount) {
                Prefetch(table.Home(hashes[i + kAhead]));
            }
            sourceSide.classes[i] = table.Find(sourceLines[i], hashes[i], i, true);
        }
    }

    // Target lines: most equal the source line on the diagonal of the last
    // line matched to a source line of its own, and take its class without
    // a lookup.
    std::int32_t diagonal = 0;  // source index minus target index
    for (std::int32_t j = 0; j < targetCount; ++j) {
        const std::int32_t partner = j + diagonal;
        if (partner >= 0 && partner < sourceCount &&
            SameText(sourceLines[partner], targetLines[j])) {
            targetSide.classes[j] = sourceSide.classes[partner];
            continue;
        }
        const std::string_view text = targetLines[j];
        const std::int32_t klass =
            table.Find(text, SequenceHash(text), j + SequenceClasses::kTargetLine, false);
        targetSide.classes[j] = klass;
        const std::int32_t only = table.OnlySourceLine(klass);
        if (only >= 0) {
            diagonal = only - j;
        }
    }
    sourceSide.classCount = targetSide.classCount = table.ClassCount();
}

}  // namespace vek
