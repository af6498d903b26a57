// The manager's part for geometry converters.
#include "scene/voxa_sdk_manager.h"

VOxaGeometryConverter* VOxaSdkManager::NewGeometryConverter() {
    return nullptr;
}
VOxaGeometryConverter* VOxaSdkManager::CreateGeometryConverter() {
    return nullptr;
}
bool VOxaSdkManager::DestroyGeometryConverter(VOxaGeometryConverter*) {
    return NotFound();
}
void VOxaSdkManager::DestroyAllGeometryConverters() {}
