// The manager's part for cameras and the camera switcher.
#include "attributes/voxa_camera.h"
#include "attributes/voxa_camera_switcher.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_make_listed_internal.h"

VOxaCamera* VOxaSdkManager::NewCamera() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaCamera(this));
}

VOxaCamera* VOxaSdkManager::CreateCamera() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewCamera(); });
}

VOxaCameraSwitcher* VOxaSdkManager::CreateCameraSwitcher() {
    // Made here, not through a factory operation: a derived manager cannot replace it.
    return VOxaMakeListed(mNodeAttributes,
                          [&] { return oxa_alloc::Counted(new (std::nothrow) VOxaCameraSwitcher(this)); });
}
