#include "api/slots.h"

#include <new>
#include <type_traits>

namespace vek {

namespace {
// Raw storage, so construction and destruction happen exactly when the load
// and unload hooks say, in the order they say, on every platform.
std::aligned_storage_t<sizeof(VekBuf), alignof(VekBuf)> g_storage[3];
bool g_created = false;

VekBuf* At(int index) {
    return std::launder(reinterpret_cast<VekBuf*>(&g_storage[index]));
}
}  // namespace

void CreateSlots() {
    if (g_created) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        new (&g_storage[i]) VekBuf();
    }
    g_created = true;
}

void DestroySlots() {
    if (!g_created) {
        return;
    }
    for (int i = 2; i >= 0; --i) {
        At(i)->~VekBuf();
    }
    g_created = false;
}

VekBuf& Slot(int number) {
    return *At(number - 1);
}

}  // namespace vek
