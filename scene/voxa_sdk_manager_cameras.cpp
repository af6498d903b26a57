// The manager's part for cameras and the camera switcher.
#include "scene/voxa_sdk_manager.h"

VOxaCamera* VOxaSdkManager::NewCamera() {
    return nullptr;
}
VOxaCamera* VOxaSdkManager::CreateCamera() {
    return nullptr;
}
VOxaCameraSwitcher* VOxaSdkManager::CreateCameraSwitcher() {
    return nullptr;
}
