#include "fault/fault_support.h"

#include <cstdlib>
#include <new>

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
