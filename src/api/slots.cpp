#include "api/slots.h"

#include <optional>

namespace vek {

namespace {
// Empty until the load hook creates the buffers and again once the unload
// hook has destroyed them, so their lives follow the hooks. If the runtime
// destroys this array while buffers are still held (at process exit some
// systems run it before the unload hook), it destroys them in the same
// order, 3, 2, 1, and the unload hook then finds nothing left to do.
std::optional<VekBuf> g_slots[3];
}  // namespace

void CreateSlots() {
    for (std::optional<VekBuf>& slot : g_slots) {
        if (!slot) {
            slot.emplace();
        }
    }
}

void DestroySlots() {
    for (int i = 2; i >= 0; --i) {
        g_slots[i].reset();
    }
}

VekBuf& Slot(int number) {
    return *g_slots[number - 1];
}

}  // namespace vek
