// The manager's part for lights, skeletons, markers and nulls.
#include <new>

#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_null.h"
#include "attributes/voxa_skeleton.h"
#include "base/vallocation_hook.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_make_listed_internal.h"

VOxaNull* VOxaSdkManager::NewNull() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaNull(this));
}
VOxaMarker* VOxaSdkManager::NewMarker() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaMarker(this));
}
VOxaLight* VOxaSdkManager::NewLight() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaLight(this));
}
VOxaSkeleton* VOxaSdkManager::NewSkeleton() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaSkeleton(this));
}

VOxaNull* VOxaSdkManager::CreateNull() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewNull(); });
}
VOxaMarker* VOxaSdkManager::CreateMarker() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewMarker(); });
}
VOxaLight* VOxaSdkManager::CreateLight() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewLight(); });
}
VOxaSkeleton* VOxaSdkManager::CreateSkeleton() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewSkeleton(); });
}
