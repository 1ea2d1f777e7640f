// The table of the three numbered buffers. The load hook of the platform
// creates them (1, 2, 3) and the unload hook destroys them (3, 2, 1).
#pragma once

#include "buffer/vekbuf.h"

namespace vek {

void CreateSlots();
void DestroySlots();
// The buffer of a number already checked to be 1..3.
VekBuf& Slot(int number);

}  // namespace vek
