#include "update/tree_walk.h"

#include <atomic>
#include <exception>
#if defined(VEK_CLI_THREADS) && !defined(VEK_FAULT_INJECTION)
// The fault-injection build counts file operations in order, so it walks
// on the calling thread alone.
#define VEK_WALK_AHEAD
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#endif

#include "report/trouble.h"

namespace vekcli::update {

using tree::EntryInfo;
using tree::Kind;

namespace {

// Two blocks of this size a thread: small files are read in one call.
constexpr std::size_t kBlock = 32 * 1024;

std::string Shown(const std::string& root, const std::string& path) {
    return path.empty() ? root : root + "/" + path;
}

bool BothFolders(const PairEntry& entry) {
    return entry.fault.empty() && entry.was.kind == Kind::kFolder && entry.is.kind == Kind::kFolder;
}

// The plain files of a folder pair that are in both trees, compared by
// whichever threads take them.
struct Job {
    FolderPair& pair;
    std::vector<std::size_t> files;
    std::atomic<std::size_t> next{0};

    explicit Job(FolderPair& folders) : pair(folders) {
        for (std::size_t i = 0; i < pair.entries.size(); ++i) {
            const PairEntry& entry = pair.entries[i];
            if (entry.fault.empty() && entry.was.kind == Kind::kFile &&
                entry.is.kind == Kind::kFile)
                files.push_back(i);
        }
    }
    // Compares files until none is left unclaimed.
    void Work(std::vector<char>& room) {
        for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < files.size();) {
            PairEntry& entry = pair.entries[files[k]];
            entry.same = tree::OpenFolder::SameFile(pair.olds, pair.news, entry.name, room);
        }
    }
};

}  // namespace

EntryInfo LookAt(const tree::OpenFolder& folder, const std::string& name, const std::string& shown,
                 Kind listed) {
    EntryInfo info;
    if (listed == Kind::kFile || listed == Kind::kLink) {
        info.kind = listed;
        return info;
    }
    if (!folder.LookUp(name, info) || info.kind == Kind::kNone)
        Fail(shown + ": cannot look it up: " + SystemError());
    if (info.kind == Kind::kOther)
        Fail(shown + ": is neither a file, a folder nor a symbolic link (" +
             tree::OtherKindWords(shown) + "); an update cannot carry it");
    return info;
}

void ListOrFail(const tree::OpenFolder& folder, const std::string& shown,
                std::vector<tree::Listed>& entries) {
    if (!folder.List(entries))
        Fail(shown + ": cannot read the folder: " + SystemError());
}

void OpenOrFail(const tree::OpenFolder& parent, const std::string& name, const std::string& shown,
                tree::OpenFolder& folder) {
    if (!folder.Open(parent, name))
        Fail(shown + ": cannot open the folder: " + SystemError());
}

// The walk itself, one folder pair at a time, depth first.
struct TreeWalk::Walker {
    std::string oldRoot;
    std::string newRoot;
    bool started = false;
    struct Frame {
        std::shared_ptr<FolderPair> pair;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    std::vector<char> room = std::vector<char>(2 * kBlock);

    // The next folder pair, listed and looked at but not yet compared;
    // null after the last. What cannot be done is noted in the pair, to be
    // raised when the caller comes to it.
    std::shared_ptr<FolderPair> Produce() {
        if (!started) {
            started = true;
            return Enter("", [this](FolderPair& pair) {
                if (!pair.olds.Open(oldRoot))
                    Fail(oldRoot + ": cannot open the folder: " + SystemError());
                if (!pair.news.Open(newRoot))
                    Fail(newRoot + ": cannot open the folder: " + SystemError());
            });
        }
        while (!stack.empty()) {
            Frame& top = stack.back();
            const std::vector<PairEntry>& entries = top.pair->entries;
            while (top.next < entries.size() && !BothFolders(entries[top.next]))
                ++top.next;
            if (top.next == entries.size()) {
                stack.pop_back();
                continue;
            }
            const FolderPair& parent = *top.pair;
            const std::string& name = entries[top.next++].name;
            const std::string path = parent.path.empty() ? name : parent.path + "/" + name;
            return Enter(path, [&](FolderPair& pair) {
                OpenOrFail(parent.olds, name, Shown(oldRoot, path), pair.olds);
                OpenOrFail(parent.news, name, Shown(newRoot, path), pair.news);
            });
        }
        return nullptr;
    }

    // The folder pair at `path`, its folders opened by `open`, listed and
    // looked at, and walked into next; where that fails, the failure is
    // noted in it and nothing below it is walked.
    template <class OpenBoth>
    std::shared_ptr<FolderPair> Enter(const std::string& path, OpenBoth open) {
        auto pair = std::make_shared<FolderPair>();
        pair->path = path;
        try {
            open(*pair);
            Fill(*pair);
        } catch (const Trouble& trouble) {
            pair->fault = trouble.message;
            return pair;
        }
        stack.push_back(Frame{pair});
        return pair;
    }

    // Lists both folders of `pair` and looks at every entry.
    void Fill(FolderPair& pair) const {
        std::vector<tree::Listed> olds, news;
        ListOrFail(pair.olds, Shown(oldRoot, pair.path), olds);
        ListOrFail(pair.news, Shown(newRoot, pair.path), news);
        pair.entries.reserve(std::max(olds.size(), news.size()));
        for (std::size_t i = 0, j = 0; i < olds.size() || j < news.size();) {
            const int order = i == olds.size()   ? 1
                              : j == news.size() ? -1
                                                 : olds[i].name.compare(news[j].name);
            PairEntry entry;
            entry.name = order <= 0 ? olds[i].name : news[j].name;
            const std::string path = pair.path.empty() ? entry.name : pair.path + "/" + entry.name;
            try {
                if (order <= 0)
                    entry.was = LookAt(pair.olds, entry.name, Shown(oldRoot, path), olds[i].kind);
                if (order >= 0)
                    entry.is = LookAt(pair.news, entry.name, Shown(newRoot, path), news[j].kind);
            } catch (const Trouble& trouble) {
                entry.fault = trouble.message;
            }
            pair.entries.push_back(std::move(entry));
            i += order <= 0;
            j += order >= 0;
        }
    }
};

#if defined(VEK_WALK_AHEAD)
// The walk on a thread of its own, at most kAhead folder pairs ahead of the
// caller. The caller, when it has to wait, compares files of the pair in
// hand with it.
struct TreeWalk::Ahead {
    static constexpr std::size_t kAhead = 16;

    Walker& walker;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::shared_ptr<const FolderPair>> ready;
    Job* current = nullptr;  // the pair being compared
    unsigned long long jobs = 0;
    unsigned joined = 0;  // callers comparing with it
    bool done = false;
    bool stop = false;
    std::exception_ptr failure;
    std::vector<char> room = std::vector<char>(2 * kBlock);
    std::thread thread;

    explicit Ahead(Walker& w) : walker(w) {
        thread = std::thread([this] { Run(); });
    }
    ~Ahead() {
        {
            const std::lock_guard<std::mutex> hold(lock);
            stop = true;
        }
        changed.notify_all();
        thread.join();
    }

    void Run() {
        try {
            for (;;) {
                std::shared_ptr<FolderPair> pair = walker.Produce();
                if (!pair)
                    break;
                Job job(*pair);
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    if (stop)
                        return;
                    current = &job;
                    ++jobs;
                }
                changed.notify_all();
                job.Work(walker.room);
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return joined == 0; });
                current = nullptr;
                ready.push_back(std::move(pair));
                changed.notify_all();
                changed.wait(hold, [&] { return stop || ready.size() < kAhead; });
                if (stop)
                    return;
            }
        } catch (...) {
            const std::lock_guard<std::mutex> hold(lock);
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> hold(lock);
        done = true;
        changed.notify_all();
    }

    std::shared_ptr<const FolderPair> Next() {
        std::unique_lock<std::mutex> hold(lock);
        for (unsigned long long helped = 0;;) {
            if (!ready.empty()) {
                std::shared_ptr<const FolderPair> pair = std::move(ready.front());
                ready.pop_front();
                changed.notify_all();
                return pair;
            }
            if (done) {
                if (failure)
                    std::rethrow_exception(failure);
                return nullptr;
            }
            if (current != nullptr && helped != jobs) {
                helped = jobs;
                Job* job = current;
                ++joined;
                hold.unlock();
                job->Work(room);
                hold.lock();
                --joined;
                changed.notify_all();
                continue;
            }
            changed.wait(hold);
        }
    }
};
#else
struct TreeWalk::Ahead {};
#endif

TreeWalk::TreeWalk(const std::string& oldRoot, const std::string& newRoot)
    : m_walker(std::make_unique<Walker>()) {
    m_walker->oldRoot = oldRoot;
    m_walker->newRoot = newRoot;
#if defined(VEK_WALK_AHEAD)
    if (std::thread::hardware_concurrency() > 1) {
        try {
            m_ahead = std::make_unique<Ahead>(*m_walker);
        } catch (const std::system_error&) {
            // No thread to be had: the walk is done here.
        }
    }
#endif
}

TreeWalk::~TreeWalk() = default;

std::shared_ptr<const FolderPair> TreeWalk::Next() {
#if defined(VEK_WALK_AHEAD)
    if (m_ahead)
        return m_ahead->Next();
#endif
    std::shared_ptr<FolderPair> pair = m_walker->Produce();
    if (pair)
        Job(*pair).Work(m_walker->room);
    return pair;
}

}  // namespace vekcli::update
