#include "fault/fault_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <regex>
#include <set>
#include <sstream>

#include "api/slots.h"
#include "support/buffer_invariants.h"
#include "support/test_support.h"
#include "vekwin32.h"

// Every allocation of the process goes through here, so an armed countdown
// can fail the n-th allocation of an export call wherever in the library it
// happens (containers, strings, the line store's arena).
void* operator new(std::size_t size) {
    if (vek::fault::Due(vek::fault::Point::kAllocation)) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace vekfault {

namespace {

std::map<std::string, std::set<int>> g_seen;  // by label

// The codes the header lists for each export: the lines of its entry that
// begin with a code name ("VEK_RC_OK, VEK_RC_WIDTH_NOT_COMPUTED  as for ...").
std::map<std::string, std::set<int>> ListedCodes() {
    std::ifstream in(VEK_PUBLIC_HEADER);
    std::stringstream text;
    text << in.rdbuf();
    const std::string header = text.str();
    std::map<std::string, int> values;
    const std::regex define(R"(#define (VEK_RC_\w+) (\d+))");
    for (std::sregex_iterator m(header.begin(), header.end(), define), end; m != end; ++m) {
        values[(*m)[1]] = std::stoi((*m)[2]);
    }
    std::map<std::string, std::set<int>> listed;
    const std::regex entry(R"(/\*((?:[^*]|\*[^/])*)\*/\s*int VEK_CALL (\w+)\()");
    const std::regex codeLine(R"(\n \*\s+(VEK_RC_\w+(?:, VEK_RC_\w+)*))");
    const std::regex name(R"(VEK_RC_\w+)");
    for (std::sregex_iterator m(header.begin(), header.end(), entry), end; m != end; ++m) {
        const std::string comment = (*m)[1];
        std::set<int>& codes = listed[(*m)[2]];
        for (std::sregex_iterator l(comment.begin(), comment.end(), codeLine); l != end; ++l) {
            const std::string names = (*l)[1];
            for (std::sregex_iterator n(names.begin(), names.end(), name); n != end; ++n) {
                codes.insert(values.at(n->str()));
            }
        }
    }
    return listed;
}

class ListedCodesCheck : public ::testing::Environment {
  public:
    void TearDown() override {
        const std::map<std::string, std::set<int>> listed = ListedCodes();
        ASSERT_GT(listed.size(), 17u) << "the header's entries were not found";
        int checked = 0;
        for (const auto& [label, codes] : g_seen) {
            // The export the label names, alone ("LoadFiles T, allocation"),
            // or through its twin ("VekDiff").
            std::string name = label.substr(0, label.find_first_of(" ,"));
            const bool twin = listed.count(name) == 0 && name.rfind("Vek", 0) == 0;
            if (twin) {
                name = name.substr(3);
            }
            const std::size_t comma = label.find(", ");
            if (listed.count(name) == 0 ||
                (comma != std::string::npos &&
                 listed.count(label.substr(
                     comma + 2, label.find_first_of(" ,", comma + 2) - comma - 2)) != 0)) {
                continue;
            }
            for (const int rc : codes) {
                EXPECT_TRUE(listed.at(name).count(rc) != 0 || (twin && rc == VEK_RC_BAD_CONTEXT))
                    << label << " answered " << rc << ", which the header does not list for "
                    << name;
            }
            ++checked;
        }
        std::printf("[  codes   ] %d sweeps held against the header's lists of codes\n", checked);
        if (::testing::GTEST_FLAG(filter) == "*") {
            EXPECT_GT(checked, 5) << "too few sweeps named their export";
        }
    }
};

const ::testing::Environment* const g_listedCodesCheck =
    ::testing::AddGlobalTestEnvironment(new ListedCodesCheck);

}  // namespace

void NoteCode(const std::string& label, int rc) {
    g_seen[label].insert(rc);
}

BufferState Snapshot(int buf) {
    const vek::VekBuf& buffer = vek::Slot(buf);
    BufferState state;
    for (int i = 0; i < buffer.LineCount(); ++i) {
        state.lines.emplace_back(buffer.Line(i));
    }
    state.curLine = vek::DefaultContext().Edit(buf).curLine;
    state.insertMode = vek::DefaultContext().Edit(buf).insertMode;
    return state;
}

void ExpectConsistent(int buf, const std::string& where) {
    EXPECT_EQ(vektest::BrokenInvariant(vek::Slot(buf)), "") << where << ", buffer " << buf;
}

void Fill(int buf, const std::vector<std::string>& lines) {
    vektest::FillBuffer(buf, lines);
    if (!lines.empty()) {
        char room[4096];
        int length = 0;
        GetLine(buf, static_cast<int>(lines.size()), static_cast<int>(sizeof room) - 1, room,
                &length);
    }
}

bool IsPrefix(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    if (part.size() > whole.size()) {
        return false;
    }
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] != whole[i]) {
            return false;
        }
    }
    return true;
}

bool IsPrefix(const std::string& part, const std::string& whole) {
    return whole.compare(0, part.size(), part) == 0 && part.size() <= whole.size();
}

}  // namespace vekfault
