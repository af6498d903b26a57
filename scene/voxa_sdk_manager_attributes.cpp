// The manager's part for lights, skeletons, markers and nulls.
#include <new>

#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_null.h"
#include "attributes/voxa_skeleton.h"
#include "base/vallocation_hook.h"
#include "scene/voxa_sdk_manager.h"

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
    VOxaNull* null = NewNull();
    mNodeAttributes.Append(null);
    return null;
}
VOxaMarker* VOxaSdkManager::CreateMarker() {
    VOxaMarker* marker = NewMarker();
    mNodeAttributes.Append(marker);
    return marker;
}
VOxaLight* VOxaSdkManager::CreateLight() {
    VOxaLight* light = NewLight();
    mNodeAttributes.Append(light);
    return light;
}
VOxaSkeleton* VOxaSdkManager::CreateSkeleton() {
    VOxaSkeleton* skeleton = NewSkeleton();
    mNodeAttributes.Append(skeleton);
    return skeleton;
}
