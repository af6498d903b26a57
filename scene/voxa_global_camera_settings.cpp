#include "scene/voxa_global_camera_settings.h"

#include <cstring>

#include "attributes/voxa_camera.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const char* const kCameraErrors[VOxaGlobalCameraSettings::eErrorCount] = {"Null parameter.",
                                                                          "Unknown camera name."};

// The defaults of one producer camera.
struct Producer {
    const char* mName;
    VOxaCamera::ECameraProjectionType mProjection;
    double mNearPlane;
    double mFarPlane;
    double mPosition[3];
    double mUp[3];
};
const Producer kProducers[VOxaGlobalCameraSettings::eProducerCount] = {
    {"Producer Perspective", VOxaCamera::ePERSPECTIVE, 10.0, 4000.0, {0.0, 71.3, 287.5}, {0.0, 1.0, 0.0}},
    {"Producer Top", VOxaCamera::eORTHOGONAL, 1.0, 30000.0, {0.0, 4000.0, 0.0}, {0.0, 0.0, -1.0}},
    {"Producer Bottom", VOxaCamera::eORTHOGONAL, 1.0, 30000.0, {0.0, -4000.0, 0.0}, {0.0, 0.0, -1.0}},
    {"Producer Front", VOxaCamera::eORTHOGONAL, 1.0, 30000.0, {0.0, 0.0, 4000.0}, {0.0, 1.0, 0.0}},
    {"Producer Back", VOxaCamera::eORTHOGONAL, 1.0, 30000.0, {0.0, 0.0, -4000.0}, {0.0, 1.0, 0.0}},
    {"Producer Right", VOxaCamera::eORTHOGONAL, 1.0, 30000.0, {4000.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
    {"Producer Left", VOxaCamera::eORTHOGONAL, 1.0, 30000.0, {-4000.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
};
const double kProducerFieldOfView = 40.0;
const char* const kCameraSwitcherName = "Camera Switcher";

}  // namespace

VOxaGlobalCameraSettings::VOxaGlobalCameraSettings(VOxaSdkManager* manager, VOxaScene* scene)
    : mManager(manager), mScene(scene), mError(kCameraErrors, eErrorCount) {
    if (mManager) {
        for (int i = 0; i < eProducerCount; ++i)
            mCameras[i] = mManager->CreateCamera();
        for (int i = 0; i < eProducerCount; ++i) {
            mNodes[i] = mManager->CreateNode(kProducers[i].mName);
            if (!mNodes[i]) continue;
            mNodes[i]->SetNodeAttribute(mCameras[i]);
            mNodes[i]->SetVisibility(false);
        }
    }
    RestoreDefaultSettings();
}

VOxaGlobalCameraSettings::~VOxaGlobalCameraSettings() {
    for (int i = 0; i < eProducerCount; ++i) {
        if (mManager) {
            // The recursive destroy takes the attached camera along; a camera that is no longer
            // on its node is destroyed on its own.
            bool attached = mNodes[i] && mCameras[i] && mCameras[i]->GetNode() == mNodes[i];
            if (mNodes[i]) mManager->DestroyNode(mNodes[i], true);
            if (mCameras[i] && !attached) mManager->DestroyNodeAttribute(mCameras[i]);
        }
        mNodes[i] = nullptr;
        mCameras[i] = nullptr;
    }
}

VOxaGlobalCameraSettings& VOxaGlobalCameraSettings::operator=(const VOxaGlobalCameraSettings& other) {
    if (&other == this) return *this;
    mDefaultCamera = other.mDefaultCamera;
    mDefaultViewingMode = other.mDefaultViewingMode;
    for (int i = 0; i < eProducerCount; ++i) {
        if (mCameras[i] && other.mCameras[i]) *mCameras[i] = *other.mCameras[i];
    }
    return *this;
}

void VOxaGlobalCameraSettings::RestoreDefaultSettings() {
    mDefaultCamera = kProducers[ePerspective].mName;
    mDefaultViewingMode = 0;
    for (int i = 0; i < eProducerCount; ++i) {
        VOxaCamera* camera = mCameras[i];
        if (!camera) continue;
        const Producer& p = kProducers[i];
        camera->ResetExceptPosition();  // the position follows below
        camera->SetFocalLengthFromFieldOfView(kProducerFieldOfView);
        camera->SetProjectionType(p.mProjection);
        camera->SetNearPlane(p.mNearPlane);
        camera->SetFarPlane(p.mFarPlane);
        camera->SetPosition(VgeTVector(p.mPosition[0], p.mPosition[1], p.mPosition[2], 1.0));
        camera->SetUpVector(VgeTVector(p.mUp[0], p.mUp[1], p.mUp[2], 1.0));
    }
}

bool VOxaGlobalCameraSettings::IsProducerCamera(const char* name) {
    if (!name) return false;
    if (std::strcmp(name, kCameraSwitcherName) == 0) return true;
    for (const Producer& p : kProducers) {
        if (std::strcmp(name, p.mName) == 0) return true;
    }
    return false;
}

void VOxaGlobalCameraSettings::CopyProducerCamera(const char* name, const VOxaCamera* camera) {
    if (!name || !*name || !camera) return;
    for (int i = 0; i < eProducerCount; ++i) {
        if (std::strcmp(name, kProducers[i].mName) != 0) continue;
        if (mCameras[i] && mCameras[i] != camera) *mCameras[i] = *camera;
        return;
    }
}
