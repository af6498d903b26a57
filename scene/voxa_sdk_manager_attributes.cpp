// The manager's part for lights, skeletons, markers and nulls.
#include "scene/voxa_sdk_manager.h"

VOxaNull* VOxaSdkManager::NewNull() {
    return nullptr;
}
VOxaMarker* VOxaSdkManager::NewMarker() {
    return nullptr;
}
VOxaLight* VOxaSdkManager::NewLight() {
    return nullptr;
}
VOxaSkeleton* VOxaSdkManager::NewSkeleton() {
    return nullptr;
}
VOxaNull* VOxaSdkManager::CreateNull() {
    return nullptr;
}
VOxaMarker* VOxaSdkManager::CreateMarker() {
    return nullptr;
}
VOxaLight* VOxaSdkManager::CreateLight() {
    return nullptr;
}
VOxaSkeleton* VOxaSdkManager::CreateSkeleton() {
    return nullptr;
}
