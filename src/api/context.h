// A context: three numbered buffers with their edit state, and the lock
// that keeps calls on them one at a time. The process's own three buffers
// are the default context (slots.h); every other context is a host's, made
// by VekOpen and freed by VekClose. The buffers are all a context holds:
// the work behind a call keeps nothing between calls, so contexts never see
// each other.
#pragma once

#include "buffer/vekbuf.h"
#include "platform/lock.h"

struct VekContext {
    // Created 1, 2, 3 and destroyed 3, 2, 1, as array members are.
    vek::VekBuf buffers[3];
    vek::platform::Lock lock;

    // The buffer of a number already checked to be 1..3.
    vek::VekBuf& Slot(int number) { return buffers[number - 1]; }
};
