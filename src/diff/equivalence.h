// Line equivalence classes: every line of a window's middle becomes a small
// integer, equal exactly when the texts are equal, so that the search
// compares integers only.
//
// Class 0 is reserved for the lines of the common prefix; the others are
// numbered 1, 2, 3, ... in order of first appearance, the source side's
// middle first, then the target side's. A text on both sides has one class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "diff/diff_side.h"

namespace vek {

// Hash of a line's text up to its first line feed: rotate left by 7 bits and
// add the byte (unsigned), modulo 2^32.
std::uint32_t LineHash(std::string_view text) noexcept;

// Fills records and recordCount of one side from first, prefixEnd and
// middleEnd: the prefix positions are counted but left unfilled (their
// class is 0 and nothing reads them), then one record per middle line. The
// hashes are computed here when hashNow is set, else by the caller before a
// record is looked up.
void BuildLineRecords(DiffSide& side, bool hashNow);

// The most entries a class table may have, the reserved entry 0 included.
inline constexpr std::int32_t kClassTableMaxEntries = 4094;
// At most four bucket chains per entry: chains stay short without a bucket
// array far larger than the entries.
inline constexpr std::int32_t kClassTableMaxBuckets = 4 * kClassTableMaxEntries;
inline constexpr const char* kClassTableFullText = "Error occurred in FindEquivalence";

struct ClassEntry {
    std::int32_t link;  // next entry of the same bucket chain; 0 ends it
    std::string_view text;
    std::int32_t lineIndex;
    std::uint32_t hash;
};

// Chained hash table of the texts met so far in one window pair. Entry k is
// class k; entry 0 is never filled, so index 0 doubles as "no entry".
class ClassTable {
  public:
    ClassTable(std::int32_t sourceRecords, std::int32_t targetRecords);

    // The side FindEquivalence reads.
    void SetCurrentSide(const DiffSide& side) noexcept { m_side = &side; }
    // Class of record j of the current side. Raises a Failure with
    // kClassTableFullText when a new class is needed and the table is full.
    std::int32_t FindEquivalence(std::int32_t j);
    std::int32_t ClassCount() const noexcept { return m_classCount; }
    // The entry of class k (1 <= k < ClassCount()).
    const ClassEntry& Entry(std::int32_t k) const noexcept { return m_entries[k]; }

  private:
    DiffArray<ClassEntry> m_entries;
    DiffArray<std::int32_t> m_buckets;
    std::int32_t m_capacity;
    std::uint32_t m_bucketCount;  // a power of two
    std::int32_t m_classCount = 1;
    const DiffSide* m_side = nullptr;
};

// Builds the records of both sides, gives every record its class and stores
// the class count in both sides. The table is gone when this returns, also
// when it raises.
void AssignClasses(DiffSidePair& sides);

// The most lines two whole sequences may hold together: positions, classes
// and the search's frontier arrays (nx + ny + 3 entries) are indexed by
// int32, and ClassifySequences numbers target lines from 2^30.
inline constexpr std::size_t kMostSequenceLines = std::size_t{1} << 30;

// The classes of two whole sequences, numbered as AssignClasses numbers
// them, for sides whose lines the caller holds (lines[i] is 0-based line i;
// each side covers its lines first .. middleEnd, with no common prefix; the
// two sides hold at most kMostSequenceLines lines together).
// Sets recordCount, classes and classCount of both sides and builds no line
// records: a table of (hash, class) slots with open addressing and one
// representative line per class keep it at about 20 bytes per line, and it
// never fills.
void ClassifySequences(DiffSidePair& sides, const std::string_view* source,
                       const std::string_view* target);

}  // namespace vek
