#include "scene/voxa_sdk_runtime.h"

#include <new>

#include "base/vallocation_hook.h"
#include "base/vmemory_pool.h"
#include "objects/vclass_info.h"
#include "objects/vworld.h"
#include "oxa_codec/voxa_builtins_internal.h"

namespace {

// Starts not matched by a stop yet.
int gRuntimeUseCount = 0;

// Starts the runtime when the library is loaded and stops it at exit. Loading comes before main,
// where a std::bad_alloc would end the program: memory that runs out is counted instead, for the
// program to find before it starts its work.
struct ModuleRuntime {
    ModuleRuntime() {
        try {
            VOxaSdkInit();
        } catch (const std::bad_alloc&) {
            oxa_alloc::NoteFailure();
        }
    }
    ~ModuleRuntime() { VOxaSdkTerm(); }
};
ModuleRuntime gModuleRuntime;

}  // namespace

void VOxaSdkRegisterBuiltins() {
    VOxaRegisterClassRecords();
    VOxaGetReaderFormatCount();
    VOxaGetWriterFormatCount();
}

bool VOxaSdkInit() {
    if (gRuntimeUseCount == 0) {
        VPlugInit();
        VOxaSdkRegisterBuiltins();
        VMemoryReusePool::CreatePools();
        VWorld::SetGlobal(VWorld::Create());
    }
    ++gRuntimeUseCount;
    return true;
}

void VOxaSdkTerm() {
    // An unmatched stop must not drive the count below zero, where the next start would
    // find the services still "running" and skip bringing them up.
    if (gRuntimeUseCount <= 0) return;
    if (--gRuntimeUseCount > 0) return;
    VWorld::DestroyGlobal(VWorld::GetGlobal());
    // The slot must not keep the deleted world.
    VWorld::SetGlobal(nullptr);
    VMemoryReusePool::DestroyPools();
    VPlugTerm();
}
