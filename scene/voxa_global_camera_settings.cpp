#include "scene/voxa_global_camera_settings.h"

#include <cstring>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "base/vdelivery_internal.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

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

// Appends to a fingerprint: numbers go in by their bits, so that a NaN equals itself and -0
// differs from 0.
void Put(std::vector<uint64_t>& out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    out.push_back(bits);
}

void PutPointer(std::vector<uint64_t>& out, const void* pointer) {
    out.push_back((uint64_t)(uintptr_t)pointer);
}

// The bytes of a text, eight to a number, after its length.
void PutText(std::vector<uint64_t>& out, const char* text) {
    const size_t length = text ? std::strlen(text) : 0;
    out.push_back((uint64_t)length);
    for (size_t i = 0; i < length; i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text + i, length - i < 8 ? length - i : 8);
        out.push_back(word);
    }
}

void PutColor(std::vector<uint64_t>& out, const VOxaColor& color) {
    Put(out, color.mRed);
    Put(out, color.mGreen);
    Put(out, color.mBlue);
    Put(out, color.mAlpha);
}

// Which object, and how far its property values have come (VObject::GetValueStamp).
void PutProperties(std::vector<uint64_t>& out, const VObject* object) {
    PutPointer(out, object);
    if (object) out.push_back(object->GetValueStamp());
}

// Shape, default values and key counts of a curve tree.
void PutCurves(std::vector<uint64_t>& out, const VFCurveNode* node) {
    PutPointer(out, node);
    if (!node) return;
    const VFCurve* curve = node->FCurveGet();
    PutPointer(out, curve);
    if (curve) {
        Put(out, curve->GetDefaultValue());
        out.push_back((uint64_t)curve->KeyGetCount());
    }
    const int count = node->GetCount();
    out.push_back((uint64_t)count);
    for (int i = 0; i < count; ++i)
        PutCurves(out, node->Get(i));
}

// What RestoreDefaultSettings sets on a producer camera, and whatever it may touch on the way:
// the camera's properties and own settings, the properties of the node it is on and the curves
// of that node's takes. Properties enter by their objects' value stamps, which any write moves,
// curves by their values. Equal fingerprints mean that restoring would not change a thing.
void Fingerprint(const VOxaCamera* camera, std::vector<uint64_t>& out) {
    out.clear();
    PutProperties(out, camera->GetProperties());
    Put(out, camera->GetUpVector()[0]);
    Put(out, camera->GetUpVector()[1]);
    Put(out, camera->GetUpVector()[2]);
    Put(out, camera->GetUpVector()[3]);
    Put(out, camera->GetInterestPosition()[0]);
    Put(out, camera->GetInterestPosition()[1]);
    Put(out, camera->GetInterestPosition()[2]);
    Put(out, camera->GetInterestPosition()[3]);
    PutText(out, camera->GetBackgroundMediaName());
    PutText(out, camera->GetBackgroundFileName());
    out.push_back((uint64_t)camera->GetShowInfoOnMoving());
    out.push_back((uint64_t)camera->GetDisplaySafeAreaOnRender());
    out.push_back((uint64_t)camera->GetShowAudio());
    PutColor(out, camera->GetAudioColor());
    out.push_back((uint64_t)(int64_t)camera->GetAntialiasingMethod());
    out.push_back((uint64_t)(int64_t)camera->GetFrameSamplingType());

    const VOxaNode* node = camera->GetNode();
    PutPointer(out, node);
    if (!node) return;
    PutProperties(out, node->GetPropertyHandler());
    const int takes = node->GetTakeNodeCount();
    out.push_back((uint64_t)takes);
    for (int t = 0; t < takes; ++t) {
        const VOxaTakeNode* take = node->GetTakeNode(t);
        PutPointer(out, take);
        if (take) PutCurves(out, take->GetVFCurveNode());
    }
}

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
    // The cameras go first, wherever they are attached, then the nodes with what hangs below
    // them. Nothing here is followed: a node or camera that went with another producer node
    // (a caller may have re-parented them) is no longer registered, and the manager says so.
    if (mManager) {
        for (VOxaCamera*& camera : mCameras) {
            if (camera) mManager->DestroyNodeAttribute(camera);
        }
        for (VOxaNode*& node : mNodes) {
            if (node) mManager->DestroyNode(node, true);
        }
    }
    for (int i = 0; i < eProducerCount; ++i) {
        mNodes[i] = nullptr;
        mCameras[i] = nullptr;
    }
}

void VOxaGlobalCameraSettings::ReleaseNode(const VOxaNode* node) {
    for (VOxaNode*& producer : mNodes) {
        if (node && producer == node) producer = nullptr;
    }
}

void VOxaGlobalCameraSettings::ReleaseNodeAttribute(const VOxaNodeAttribute* attribute) {
    for (VOxaCamera*& camera : mCameras) {
        if (attribute && camera == attribute) camera = nullptr;
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
    oxa_delivery::Scope scope;
    mDefaultCamera = kProducers[ePerspective].mName;
    mDefaultViewingMode = 0;
    for (int i = 0; i < eProducerCount; ++i) {
        VOxaCamera* camera = mCameras[i];
        if (!camera) continue;
        // A camera still as the last restore left it is not set again: a scene cleared after
        // each file seldom has its producer cameras changed, and setting them costs events.
        if (!mRestored[i].empty()) {
            Fingerprint(camera, mScratch);
            if (mScratch == mRestored[i]) continue;
        }
        const Producer& p = kProducers[i];
        camera->ResetExceptPosition();  // the position follows below
        camera->SetFocalLengthFromFieldOfView(kProducerFieldOfView);
        camera->SetProjectionType(p.mProjection);
        camera->SetNearPlane(p.mNearPlane);
        camera->SetFarPlane(p.mFarPlane);
        camera->SetPosition(VgeTVector(p.mPosition[0], p.mPosition[1], p.mPosition[2], 1.0));
        camera->SetUpVector(VgeTVector(p.mUp[0], p.mUp[1], p.mUp[2], 1.0));
        Fingerprint(camera, mRestored[i]);
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
