// The manager's part for patches and NURBS surfaces.
#include <new>

#include "attributes/voxa_nurb.h"
#include "attributes/voxa_patch.h"
#include "base/vallocation_hook.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_make_listed_internal.h"

VOxaPatch* VOxaSdkManager::NewPatch() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaPatch(this));
}

VOxaNurb* VOxaSdkManager::NewNurb() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaNurb(this));
}

VOxaPatch* VOxaSdkManager::CreatePatch() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewPatch(); });
}

VOxaNurb* VOxaSdkManager::CreateNurb() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewNurb(); });
}
