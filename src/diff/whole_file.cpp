#include "diff/whole_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/failure.h"
#include "diff/diff_side.h"
#include "diff/emission.h"
#include "diff/equivalence.h"
#include "diff/search.h"

namespace vek {

namespace {

// Whole sequences may be of any length, so the backward frontier's sentinel
// is the largest position there is rather than the window's.
constexpr std::int32_t kWholeFileSentinel = std::numeric_limits<std::int32_t>::max();
static_assert(kMostSequenceLines < static_cast<std::size_t>(kWholeFileSentinel),
              "the sentinel lies above every position of the sequences");
static_assert(kMostSequenceLines + 3 <=
                  static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()),
              "the frontier arrays' nx + ny + 3 entries are indexed by int32");
constexpr std::int32_t kMinimumCostBudget = 4096;
// The effort budget of a large search, in diagonals visited: 2^24 plus 64
// per kept line. Past it, every FindMiddleSnake call stops after
// kLaterSteps steps, so the rest costs at most about kLaterSteps^2 per split.
constexpr std::int64_t kBaseEffort = std::int64_t{1} << 24;
constexpr std::int64_t kEffortPerLine = 64;
constexpr std::int32_t kLaterSteps = 256;
// On large inputs a range tries its anchors after this many steps rather
// than after the whole budget: anchors split it for far less.
constexpr std::int32_t kAnchorSteps = 2048;

// Sets first, last, prefixEnd and middleEnd of both sides to the lines left
// between the common prefix and the common suffix of the whole sequences.
// The middle is all the engine looks at: positions count from its first line.
void TrimSequences(const std::string_view* source, std::int32_t sourceCount,
                   const std::string_view* target, std::int32_t targetCount, DiffSidePair& sides) {
    const std::int32_t shorter = std::min(sourceCount, targetCount);
    std::int32_t prefix = 0;
    while (prefix < shorter && SameText(source[prefix], target[prefix])) {
        ++prefix;
    }
    std::int32_t suffix = 0;
    while (suffix < shorter - prefix &&
           SameText(source[sourceCount - 1 - suffix], target[targetCount - 1 - suffix])) {
        ++suffix;
    }
    for (DiffSide* side : {&sides.source, &sides.target}) {
        const std::int32_t count = side == &sides.source ? sourceCount : targetCount;
        side->first = prefix + 1;
        side->last = count - suffix;
        side->prefixEnd = prefix;  // no common prefix inside the middle
        side->middleEnd = side->last;
    }
}

// Marks every line of the middles that is not on the common subsequence the
// search finds.
void MarkChanges(DiffSidePair& sides, const std::string_view* source,
                 const std::string_view* target, std::int32_t costBudget) {
    DiffSide& sourceSide = sides.source;
    DiffSide& targetSide = sides.target;
    ClassifySequences(sides, source, target);
    sourceSide.AllocateChangeMarks();
    targetSide.AllocateChangeMarks();
    if (sourceSide.recordCount == 0 || targetSide.recordCount == 0) {
        std::memset(sourceSide.changeMarks, 1, static_cast<std::size_t>(sourceSide.recordCount));
        std::memset(targetSide.changeMarks, 1, static_cast<std::size_t>(targetSide.recordCount));
        return;
    }
    PruneLines(sides);
    {
        const std::int64_t kept =
            static_cast<std::int64_t>(sourceSide.keptCount) + targetSide.keptCount;
        SearchLimits limits;
        limits.backwardSentinel = kWholeFileSentinel;
        if (costBudget >= 0) {
            limits.steps = costBudget > 0
                               ? costBudget
                               : WholeFileCostBudget(sourceSide.keptCount, targetSide.keptCount);
            limits.anchors = true;
            // Inputs small enough to be solved exactly within the step budget
            // are; larger ones get an effort budget as well.
            if (kept > 2 * static_cast<std::int64_t>(limits.steps)) {
                limits.anchorSteps = std::min(kAnchorSteps, limits.steps);
                limits.effort = kBaseEffort + kEffortPerLine * kept;
                limits.laterSteps = kLaterSteps;
            }
        }
        MiddleSnakeSearch search(sides, limits);
        search.SplitCompare(0, sourceSide.keptCount, 0, targetSide.keptCount);
    }
    sourceSide.keptClasses.Release();
    sourceSide.keptIndex.Release();
    targetSide.keptClasses.Release();
    targetSide.keptIndex.Release();
    AlignChangeRuns(sides);
}

}  // namespace

// Writes the change list into a script, last change first.
class WholeFileEmitter {
  public:
    static void Emit(const ChangeList& changes, const std::string_view* target,
                     EditScript& script) {
        std::size_t commandCount = 0;
        std::size_t lineCount = 0;
        for (const Change* change = changes.Head(); change != nullptr; change = change->link) {
            ++commandCount;
            lineCount +=
                1 + static_cast<std::size_t>(change->inserted) + (change->inserted != 0 ? 1 : 0);
        }
        script.m_lines.reserve(lineCount);
        // Reserved in full, so the views of the commands stay valid (a
        // vector keeps its block when the script is moved).
        script.m_commands.reserve(commandCount * kCommandTextSize);
        script.m_commandLines.reserve(commandCount);
        static constexpr std::string_view kEndOfText = ".";
        for (const Change* change = changes.Head(); change != nullptr; change = change->link) {
            char command[kCommandTextSize];
            const std::size_t length = FormatCommand(*change, command) - 1;  // no line feed
            const std::size_t at = script.m_commands.size();
            script.m_commands.insert(script.m_commands.end(), command, command + length);
            script.m_commandLines.push_back(script.m_lines.size());
            script.m_lines.emplace_back(script.m_commands.data() + at, length);
            if (change->inserted != 0) {
                const std::string_view* const first = target + change->line1;
                script.m_lines.insert(script.m_lines.end(), first, first + change->inserted);
                script.m_lines.push_back(kEndOfText);
            }
            script.m_deleted += change->deleted;
            script.m_inserted += change->inserted;
        }
    }
};

namespace {

// floor(sqrt(value)), in integers (a program that links the engine in then
// needs no math library).
std::uint64_t IntegerSquareRoot(std::uint64_t value) noexcept {
    std::uint64_t root = 0;
    std::uint64_t bit = std::uint64_t{1} << 62;
    while (bit > value) {
        bit >>= 2;
    }
    for (; bit != 0; bit >>= 2) {
        if (value >= root + bit) {
            value -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
    }
    return root;
}

}  // namespace

std::int32_t WholeFileCostBudget(std::int64_t nx, std::int64_t ny) noexcept {
    // 4 * sqrt(n) rounded down is floor(sqrt(16 * n)).
    const auto lines = static_cast<std::uint64_t>(std::max<std::int64_t>(nx + ny, 0));
    const std::uint64_t scaled = IntegerSquareRoot(16 * lines);
    return static_cast<std::int32_t>(
        std::max<std::uint64_t>(static_cast<std::uint64_t>(kMinimumCostBudget), scaled));
}

EditScript DiffSequences(const std::string_view* source, std::size_t sourceCount,
                         const std::string_view* target, std::size_t targetCount,
                         std::int32_t costBudget) {
    if (sourceCount > kMostSequenceLines || targetCount > kMostSequenceLines - sourceCount) {
        throw InvalidArgument("too many lines for one difference");
    }
    EditScript script;
    try {
        DiffSidePair sides;
        TrimSequences(source, static_cast<std::int32_t>(sourceCount), target,
                      static_cast<std::int32_t>(targetCount), sides);
        if (sides.source.WindowLines() == 0 && sides.target.WindowLines() == 0) {
            return script;
        }
        MarkChanges(sides, source, target, costBudget);
        ChangeList changes;
        BuildChangeList(sides, changes);
        sides.source.ReleaseArrays();
        sides.target.ReleaseArrays();
        WholeFileEmitter::Emit(changes, target, script);
    } catch (const std::bad_alloc&) {
        // The engine's own blocks raise OutOfMemory already, and nothing
        // tells the user: the host reports it.
        throw OutOfMemory();
    }
    return script;
}

}  // namespace vek
