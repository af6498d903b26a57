#include "attributes/voxa_camera_switcher.h"

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

namespace {
const char* const kCameraIndex = "Camera Index";
}

VOxaCameraSwitcher* VOxaNode::GetCameraSwitcher() const {
    return mAttribute && mAttribute->GetAttributeType() == VOxaNodeAttribute::eCameraSwitcher
               ? static_cast<VOxaCameraSwitcher*>(mAttribute)
               : nullptr;
}

VOxaCameraSwitcher::VOxaCameraSwitcher(VOxaSdkManager* manager) : VOxaNodeAttribute(manager) {}

VOxaCameraSwitcher::~VOxaCameraSwitcher() = default;

void VOxaCameraSwitcher::AddChannels(VOxaTakeNode* takeNode) {
    VOxaNodeAttribute::AddChannels(takeNode);
    VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr;
    VFCurveNode* channel = root ? root->FindOrCreate(kCameraIndex, true) : nullptr;
    if (VFCurve* curve = channel ? channel->FCurveGet() : nullptr) curve->SetDefaultValue(1.0f);
}

void VOxaCameraSwitcher::RemoveChannels(VOxaTakeNode* takeNode) {
    if (VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr) {
        int index = root->Find(kCameraIndex);
        if (index >= 0) voxa_take_node_detail::DeleteChannel(root, root->Get(index));
    }
    VOxaNodeAttribute::RemoveChannels(takeNode);
}

VFCurve* VOxaCameraSwitcher::GetDefaultCurve() const {
    VOxaNode* node = GetNode();
    VOxaTakeNode* take = node ? node->GetDefaultTakeNode() : nullptr;
    VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
    VFCurveNode* channel = root ? root->Get(root->Find(kCameraIndex)) : nullptr;
    return channel ? channel->FCurveGet() : nullptr;
}

int VOxaCameraSwitcher::GetDefaultCameraIndex() const {
    VFCurve* curve = GetDefaultCurve();
    return curve ? vproperty_detail::DoubleToInt(curve->GetDefaultValue()) : 0;
}

void VOxaCameraSwitcher::SetDefaultCameraIndex(int index) {
    if (VFCurve* curve = GetDefaultCurve()) curve->SetDefaultValue((float)index);
}

void VOxaCameraSwitcher::AddCameraName(const char* name) {
    mCameraNames.emplace_back(name ? name : "");
}

const char* VOxaCameraSwitcher::GetCameraName(int index) const {
    if (index < 0 || index >= (int)mCameraNames.size()) return nullptr;
    return mCameraNames[index].Buffer();
}

void VOxaCameraSwitcher::CopyCameraNames(const VOxaCameraSwitcher& other) {
    if (&other == this) {
        // Appending to the list being read: copy what is there first.
        std::vector<VString> names(mCameraNames);
        mCameraNames.insert(mCameraNames.end(), names.begin(), names.end());
        return;
    }
    mCameraNames.insert(mCameraNames.end(), other.mCameraNames.begin(), other.mCameraNames.end());
}
