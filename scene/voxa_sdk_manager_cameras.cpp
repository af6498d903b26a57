// The manager's part for cameras and the camera switcher.
#include "attributes/voxa_camera.h"
#include "attributes/voxa_camera_switcher.h"
#include "scene/voxa_sdk_manager.h"

VOxaCamera* VOxaSdkManager::NewCamera() {
    return new VOxaCamera(this);
}

VOxaCamera* VOxaSdkManager::CreateCamera() {
    VOxaCamera* camera = NewCamera();
    if (camera) mNodeAttributes.Append(camera);
    return camera;
}

VOxaCameraSwitcher* VOxaSdkManager::CreateCameraSwitcher() {
    // Made here, not through a factory operation: a derived manager cannot replace it.
    VOxaCameraSwitcher* switcher = new VOxaCameraSwitcher(this);
    RegisterNodeAttribute(switcher);
    return switcher;
}
