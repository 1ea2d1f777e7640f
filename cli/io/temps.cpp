#include "io/temps.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "report/trouble.h"
#include "system/platform.h"

namespace vekcli {

// The fault seam platform.h declares, shared by both systems.
#ifdef VEK_FAULT_INJECTION
namespace platform {

namespace {

struct FaultCounter {
    long due = 0;                 // the operation that fails, from 1; 0 for none
    std::atomic<long> passed{0};  // two files may be read at once
    int signal = 0;               // raised at that operation instead of a failure
    bool noLinks = false;         // every hard link fails
    FaultCounter() {
        const char* at = std::getenv("VEK_FAULT_AT");
        due = at != nullptr ? std::atol(at) : 0;
        const char* signalText = std::getenv("VEK_FAULT_SIGNAL");
        signal = signalText != nullptr ? std::atoi(signalText) : 0;
        const char* noLinksText = std::getenv("VEK_FAULT_NO_LINKS");
        noLinks = noLinksText != nullptr && *noLinksText == '1';
        const char* count = std::getenv("VEK_FAULT_COUNT");
        if (count != nullptr && *count == '1')
            std::atexit(
                [] { std::fprintf(stderr, "vek-fault-count %ld\n", Counter().passed.load()); });
    }
    static FaultCounter& Counter() {
        static FaultCounter counter;
        return counter;
    }
};

}  // namespace

bool FaultDue(FileOp op) noexcept {
    FaultCounter& counter = FaultCounter::Counter();
    if (op == FileOp::kLink) {
        if (!counter.noLinks)
            return false;
        errno = EPERM;
        return true;
    }
    if (++counter.passed != counter.due)
        return false;
    if (counter.signal != 0) {
        raise(counter.signal);
        return false;
    }
    errno = EIO;
    return true;
}

}  // namespace platform
#endif

namespace {

// The registry the signal handler reads: blocks of slots that never move
// once made (a tree's update keeps thousands of temporaries at once). A
// slot's name is in place before the slot is marked used and freed only
// after it is unmarked, so that the handler neither allocates nor follows a
// pointer that may be changing. A name may be a folder vek made: removed
// when empty.
constexpr int kBlockSlots = 256;
constexpr int kBlocks = 1024;
struct Slot {
    char* name = nullptr;
    volatile std::sig_atomic_t used = 0;
};
std::atomic<Slot*> g_blocks[kBlocks];
int g_hint = 0;  // no slot before it is free

Slot& SlotAt(int index) {
    return g_blocks[index / kBlockSlots].load()[index % kBlockSlots];
}

void RemoveAllAndDie(int signal) {
    // The latest first: the files in a folder vek made go before the folder.
    for (int b = kBlocks - 1; b >= 0; --b) {
        Slot* block = g_blocks[b].load();
        for (int i = kBlockSlots - 1; block != nullptr && i >= 0; --i)
            if (block[i].used != 0 && !platform::RemoveFile(block[i].name))
                platform::RemoveEmptyFolder(block[i].name);
    }
    platform::DieOfSignal(signal);
}

const char kPrefix[] = ".vek-";

std::string RandomTag() {
    static unsigned long long state =
        static_cast<unsigned long long>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
        (static_cast<unsigned long long>(platform::ProcessId()) << 32);
    // xorshift: the exclusive creation, not the tag, keeps names apart.
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag;
    unsigned long long bits = state;
    for (int i = 0; i < 4; ++i, bits /= 36)
        tag.push_back(kDigits[bits % 36]);
    return tag;
}

std::string NameBeside(const std::string& place, const char* suffix) {
    return FolderOf(place) + kPrefix + std::to_string(platform::ProcessId()) + "-" + RandomTag() +
           suffix;
}

// The process a temporary name says made it; 0 when the name is not one.
long MakerOf(const std::string& entry) {
    if (entry.compare(0, sizeof kPrefix - 1, kPrefix) != 0)
        return 0;
    std::size_t i = sizeof kPrefix - 1;
    long id = 0;
    std::size_t digits = 0;
    for (; i < entry.size() && entry[i] >= '0' && entry[i] <= '9' && digits < 10; ++i, ++digits)
        id = id * 10 + (entry[i] - '0');
    if (digits == 0 || i + 5 > entry.size() || entry[i] != '-')
        return 0;
    const std::string rest = entry.substr(i + 5);
    return rest.empty() || rest == ".old" ? id : 0;
}

}  // namespace

std::string FolderOf(const std::string& place) {
    const std::size_t slash = platform::LastFolderSeparator(place);
    return slash == std::string::npos ? std::string() : place.substr(0, slash + 1);
}

namespace {

// An attribute as a message names it.
std::string AttributeText(const std::string& name) {
    if (name.empty())
        return "its extended attributes";
    if (name == "system.posix_acl_access")
        return "its ACL (" + name + ")";
    if (name.compare(0, 9, "security.") == 0)
        return "its security attribute " + name;
    return "its extended attribute " + name;
}

}  // namespace

std::vector<platform::Attribute> CheckReplaceable(const std::string& shown,
                                                  const std::string& place) {
    if (!platform::MayReplace(place))
        Fail(shown +
             ": its folder is sticky and the file belongs to another user, so vek cannot "
             "replace it; nothing was written: name another file");
    if (!platform::MayWrite(place))
        Fail(shown + ": may not be written: " + SystemError() +
             "; vek does not replace a file it may not write; nothing was written");
    std::vector<platform::Attribute> attributes;
    std::string failed;
    if (!platform::ReadAttributes(place, attributes, failed))
        Fail(shown + ": cannot read " + AttributeText(failed) + ": " + SystemError() +
             "; a new file would lose it, so vek does not replace the file; nothing was written");
    return attributes;
}

void FailToCarryOver(const std::string& shown, const std::string& failed,
                     const std::string& outcome) {
    if (failed.empty())
        Fail(shown + ": cannot give the new file the mode of the old one: " + SystemError() + "; " +
             outcome);
    Fail(shown + ": cannot give the new file " + AttributeText(failed) + ": " + SystemError() +
         "; the file would lose it; " + outcome);
}

void WarnAboutOtherNames(const std::string& target, unsigned long long links) {
    if (links <= 1)
        return;
    const unsigned long long others = links - 1;
    Warn(DisplayName(target) + ": the file had " + std::to_string(others) + " other name" +
         (others == 1 ? "" : "s") +
         " (hard links), which keep the old contents: only this name has the new ones");
}

std::string TemporaryFolder() {
    for (const char* variable : {"TMPDIR", "TMP", "TEMP"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            std::string folder = value;
            if (folder.back() != '/' && folder.back() != '\\')
                folder.push_back('/');
            return folder;
        }
    }
    return platform::DefaultTemporaryFolder();
}

int RegisterTemporaryName(const std::string& name) {
    // The first temporary sets up the removal of them all on an ending
    // signal; a run that makes none leaves the signals as they are.
    static const bool cleanupInstalled = (platform::OnEndSignals(RemoveAllAndDie), true);
    (void)cleanupInstalled;
    for (int i = g_hint; i < kBlocks * kBlockSlots; ++i) {
        if (g_blocks[i / kBlockSlots].load() == nullptr)
            g_blocks[i / kBlockSlots].store(new Slot[kBlockSlots]);
        Slot& slot = SlotAt(i);
        if (slot.used != 0)
            continue;
        delete[] slot.name;
        slot.name = new char[name.size() + 1];
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        slot.used = 1;
        g_hint = i + 1;
        return i;
    }
    Fail(name + ": more temporary files at once than vek keeps track of");
}

void ReleaseTemporaryName(int slot) {
    if (slot >= 0 && slot < kBlocks * kBlockSlots &&
        g_blocks[slot / kBlockSlots].load() != nullptr) {
        SlotAt(slot).used = 0;
        g_hint = std::min(g_hint, slot);
    }
}

std::string FreshNameBeside(const std::string& place, const char* suffix) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = NameBeside(place, suffix);
        platform::FileInfo info;
        if (!platform::Stat(name, info) && !info.exists && !platform::IsSymbolicLink(name))
            return name;
    }
    Fail(place + ": cannot find a free temporary name beside it");
}

Temporary::Temporary(const std::string& place, const std::string& target, const char* suffix) {
    NoteLeftovers(place);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = NameBeside(place, suffix);
        // Registered before it exists, so that a signal between the two
        // cannot leave it behind.
        const int slot = RegisterTemporaryName(name);
        const int fd = platform::CreateExclusive(name);
        if (fd >= 0) {
            m_name = std::move(name);
            m_fd = fd;
            m_slot = slot;
            return;
        }
        const int error = errno;
        ReleaseTemporaryName(slot);
        if (error != EEXIST) {
            errno = error;
            const std::string folder = FolderOf(place).empty() ? "." : FolderOf(place);
            Fail(target + ": cannot create a temporary file in " + folder + ": " + SystemError() +
                 "; check that the folder exists and is writable; nothing was written");
        }
    }
    Fail(target + ": cannot find a free temporary name beside it; nothing was written");
}

Temporary::Temporary(Temporary&& other) noexcept {
    *this = std::move(other);
}

Temporary& Temporary::operator=(Temporary&& other) noexcept {
    if (this != &other) {
        Remove();
        m_name = std::move(other.m_name);
        m_fd = std::exchange(other.m_fd, -1);
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void Temporary::Keep() {
    ReleaseTemporaryName(m_slot);
    m_slot = -1;
}

void Temporary::Remove() noexcept {
    if (m_fd >= 0)
        platform::CloseDescriptor(std::exchange(m_fd, -1));
    if (m_slot >= 0) {
        platform::RemoveFile(m_name);
        ReleaseTemporaryName(std::exchange(m_slot, -1));
    }
}

void NoteLeftovers(const std::string& place) {
    static std::set<std::string> seen;
    const std::string folder = FolderOf(place);
    if (!seen.insert(folder).second)
        return;
    for (const std::string& entry : platform::FolderEntries(folder.empty() ? "." : folder)) {
        const long maker = MakerOf(entry);
        if (maker == 0 || maker == platform::ProcessId() || platform::ProcessRuns(maker))
            continue;
        const bool old = entry.size() > 4 && entry.compare(entry.size() - 4, 4, ".old") == 0;
        std::fprintf(stderr,
                     "vek: %s: left behind by a vek run that was killed (process %ld); it holds "
                     "%s; every target of that run is whole: compare, then remove it\n",
                     Escaped(folder + entry).c_str(), maker,
                     old ? "the old contents of a file that run replaced"
                         : "a new copy that run had not yet put in place");
    }
}

}  // namespace vekcli
