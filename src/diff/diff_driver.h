// The difference engine's entry: the edit script that turns `source` into
// `target`, computed window by window into `output`.
//
// Both buffers are walked in lockstep in windows of kDiffWindowLines lines,
// aligned by line number. Each window pair gets a script of its own
// (DiffWindow), in descending line order, and each window's script is put in
// front of the earlier ones, so the whole script runs from the end of the
// source towards its start and applies from top to bottom. When one buffer
// runs out, one tail command appends or deletes everything left of the other.
#pragma once

#include <cstdint>
#include <memory>

#include "buffer/vekbuf.h"
#include "diff/diff_side.h"

namespace vek {

// What the user is told when the engine's own memory runs out: a message box
// on Windows, a line on standard error elsewhere.
inline constexpr const char* kDiffMemoryMessage = "#3 virtual memory exhausted";

// Replaces the content of `output`. VEK_RC_OK, or VEK_RC_BUFFER_FULL when
// the script would exceed the line limit. A failure inside a window (a full
// class table, DiffMemoryExhausted when a DiffAlloc block cannot be had)
// passes on to the caller, the Diff frame, which answers
// VEK_RC_DIFF_FAILED. On a refusal or a failure the output keeps the
// scripts of the windows merged before it. Everything the computation uses
// lives on this call's stack or in its own blocks, so calls on different
// buffers may run at the same time.
int DiffBuffers(const VekBuf& source, const VekBuf& target, VekBuf& output);

// Tells the user kDiffMemoryMessage: the Diff export does, when the engine's
// memory ran out, since its caller sees only the code.
void TellDiffMemoryExhausted() noexcept;

#ifdef VEK_FAULT_INJECTION
// For the tests that make blocks fail: a sink set here receives the
// exhaustion message instead of the user (nullptr restores the user).
// Returns the sink set before.
using DiffMessageSink = void (*)(const char* text);
DiffMessageSink SetDiffMessageSink(DiffMessageSink sink) noexcept;
#endif

// The script of one window pair (possibly empty). Needs buffer, first and
// last of both sides; fills the rest and releases every array before it
// returns.
std::unique_ptr<VekBuf> DiffWindow(DiffSidePair& sides);

// Sets prefixEnd and middleEnd of both sides. The common prefix never takes
// a window's last line, and the common suffix never reaches the line where
// the prefix scan stopped.
void TrimCommonLines(DiffSidePair& sides);

}  // namespace vek
