#include "api/slots.h"

#include <optional>

namespace vek {

namespace {
// Empty until the load hook creates the context and again once the unload
// hook has destroyed it, so its buffers' lives follow the hooks. If the
// runtime destroys this object while the context is still held (at process
// exit some systems run it before the unload hook), it destroys the buffers
// in the same order, 3, 2, 1, and the unload hook then finds nothing left to
// do.
std::optional<VekContext> g_default;
}  // namespace

void CreateSlots() {
    if (!g_default) {
        g_default.emplace();
    }
}

void DestroySlots() {
    g_default.reset();
}

VekContext& DefaultContext() {
    return *g_default;
}

VekBuf& Slot(int number) {
    return g_default->Slot(number);
}

}  // namespace vek
