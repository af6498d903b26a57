#include "objects/vworld.h"
#include "base/vallocation_hook.h"

#include <new>

namespace {
VWorld* gWorld = nullptr;
}

VWorld* VWorld::Create() {
    return oxa_alloc::Counted(new (std::nothrow) VWorld());
}

VWorld* VWorld::GetGlobal() {
    return gWorld;
}

void VWorld::SetGlobal(VWorld* world) {
    gWorld = world;
}

void VWorld::DestroyGlobal(VWorld* world) {
    delete world;
}
