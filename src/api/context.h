// A context: three numbered buffers with their edit state, and the lock
// that keeps calls on them one at a time. The process's own three buffers
// are the default context (slots.h); every other context is a host's, made
// by VekOpen and freed by VekClose. The buffers are all a context holds:
// the work behind a call keeps nothing between calls, so contexts never see
// each other.
#pragma once

#include "buffer/vekbuf.h"
#include "edit/edit_script.h"
#include "platform/lock.h"

struct VekContext {
    // Created 1, 2, 3 and destroyed 3, 2, 1, as array members are.
    vek::VekBuf buffers[3];
    // The edit interpreter's state in each buffer.
    vek::EditState edits[3];
    vek::platform::Lock lock;

    // The buffer of a number already checked to be 1..3, and its edit state.
    vek::VekBuf& Slot(int number) { return buffers[number - 1]; }
    vek::EditState& Edit(int number) { return edits[number - 1]; }
    // Empties a buffer and its edit state.
    int Empty(int number) noexcept {
        edits[number - 1] = vek::EditState();
        return buffers[number - 1].Reset();
    }
};
