#ifndef OXA_SCENE_VOXA_SDK_RUNTIME_H
#define OXA_SCENE_VOXA_SDK_RUNTIME_H

#include <oxa/base/oxa_export.h>

// Start and stop of the toolkit's process-wide services: the class-id registry, the memory
// reuse pools and the global world (VWorld::GetGlobal). Calls are counted and come in pairs:
// only the first start and the last stop do any work. The library starts itself once when it
// is loaded and stops at exit; other users may add pairs of their own. Not thread-safe: call
// them from one thread.

// Brings the services up when none is running; always true.
OXA_API bool VOxaSdkInit();

// Takes the services down when this matches the last running start (the world slot is left
// empty). A stop without a running start does nothing.
OXA_API void VOxaSdkTerm();

#endif  // OXA_SCENE_VOXA_SDK_RUNTIME_H
