// Support for the failure-injection tests: a sweep that fails the n-th
// allocation or file operation of a call for every n the call reaches, and
// the checks that a buffer is still consistent afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/fault_injection.h"

namespace vekfault {

using vek::fault::Point;

// A buffer as the core holds it: lines with their stored bytes and the
// edit state.
struct BufferState {
    std::vector<std::string> lines;
    int curLine = 0;
    int insertMode = 0;

    bool operator==(const BufferState& other) const {
        return lines == other.lines && curLine == other.curLine && insertMode == other.insertMode;
    }
};
BufferState Snapshot(int buf);

// Notes a code that the call of a sweep answered. When the sweep's label
// names one export (or its twin on a context) first, the code must be one
// that the header lists for it: checked when the program ends.
void NoteCode(const std::string& label, int rc);

// The figures agree with the lines, the edit state is one the interpreter
// can be in, and the read cache (when valid) names a line that exists.
void ExpectConsistent(int buf, const std::string& where);

// Fills the buffer through AddLine (each line gets its line feed) and
// leaves the read cache on the last line.
void Fill(int buf, const std::vector<std::string>& lines);

// Runs `setup` and `call` once to count the points of `point` the call
// passes (`check(rc, 0)` sees that run), then once more for every n from 1 to
// that count with the n-th point failing: setup(), call(), check(rc, n).
// Returns the number of faults injected.
template <class Setup, class Call, class Check>
long Sweep(const std::string& label, Point point, Setup&& setup, Call&& call, Check&& check) {
    setup();
    vek::fault::Arm(point, 0);
    int rc = call();
    const long total = vek::fault::Passed(point);
    NoteCode(label, rc);
    check(rc, 0L);
    for (long n = 1; n <= total && !::testing::Test::HasFatalFailure(); ++n) {
        setup();
        vek::fault::Arm(point, n);
        rc = call();
        vek::fault::Arm(point, 0);
        NoteCode(label, rc);
        check(rc, n);
    }
    std::printf("[  sweep   ] %s: %ld %s faults injected\n", label.c_str(), total,
                point == Point::kAllocation ? "allocation" : "file-operation");
    return total;
}

// A failed file operation must not be reported as success: every call that
// reaches one answers with a code.
inline void ExpectReported(Point point, long n, int rc, const std::string& where) {
    if (point == Point::kFileOperation && n > 0) {
        EXPECT_NE(rc, 0) << where << ": a failed file operation was reported as success";
    }
}

// True when `part` is where `whole` starts.
bool IsPrefix(const std::vector<std::string>& part, const std::vector<std::string>& whole);
bool IsPrefix(const std::string& part, const std::string& whole);

}  // namespace vekfault
