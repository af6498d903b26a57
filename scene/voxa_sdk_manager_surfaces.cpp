// The manager's part for patches and NURBS surfaces.
#include "scene/voxa_sdk_manager.h"

VOxaPatch* VOxaSdkManager::NewPatch() {
    return nullptr;
}
VOxaNurb* VOxaSdkManager::NewNurb() {
    return nullptr;
}
VOxaPatch* VOxaSdkManager::CreatePatch() {
    return nullptr;
}
VOxaNurb* VOxaSdkManager::CreateNurb() {
    return nullptr;
}
