// The manager's part for geometry converters.
#include <new>

#include "attributes/voxa_geometry_converter.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_make_listed_internal.h"

VOxaGeometryConverter* VOxaSdkManager::NewGeometryConverter() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaGeometryConverter(this));
}

VOxaGeometryConverter* VOxaSdkManager::CreateGeometryConverter() {
    return VOxaMakeListed(mGeometryConverters, [&] { return NewGeometryConverter(); });
}

bool VOxaSdkManager::DestroyGeometryConverter(VOxaGeometryConverter* converter) {
    if (!mGeometryConverters.Contains(converter)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferGeometryConverter, converter, false, deferred)) return deferred;
    mGeometryConverters.Remove(converter);
    oxa_delivery::Forget(converter);
    delete converter;
    return true;
}

void VOxaSdkManager::DestroyAllGeometryConverters() {
    DrainRegistry(mGeometryConverters, [](VOxaGeometryConverter* converter) { delete converter; });
}
