// The process's three numbered buffers: the default context, which the
// eighteen exports work on. The load hook of the platform creates it (buffers
// 1, 2, 3) and the unload hook destroys it (3, 2, 1).
#pragma once

#include "api/context.h"

namespace vek {

void CreateSlots();
void DestroySlots();
// The default context; only between CreateSlots and DestroySlots.
VekContext& DefaultContext();
// The buffer of a number already checked to be 1..3.
VekBuf& Slot(int number);

}  // namespace vek
