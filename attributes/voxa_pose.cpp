#include "attributes/voxa_pose.h"

#include <new>

#include "base/vallocation_hook.h"
#include "objects/vproperty.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaPoseProperties, VOxaPropertyHandler);

namespace {

const char* const kPoseErrors[] = {"Error"};

// Answered for out-of-range queries.
const VMatrix& IdentityMatrix() {
    static const VMatrix identity;
    return identity;
}

}  // namespace

VOxaObject* VOxaPoseProperties::GetOwner() const {
    return mOwner;
}

void VOxaPoseProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

VOxaPose::VOxaPose(VOxaSdkManager* manager, const char* name, bool isBindPose)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kPoseErrors, 1), mKind(isBindPose ? 'b' : 'r') {
    mProperties = new VOxaPoseProperties(this);
    // The destructor does not run for an object whose constructor threw (memory run out).
    try {
        mProperties->SetName(GetName());
    } catch (...) {
        mProperties->Destroy();
        throw;
    }
}

VOxaPose::~VOxaPose() {
    for (int i = 0, n = mEntries.GetCount(); i < n; ++i)
        delete mEntries[i];
    mEntries.Clear();
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaPose::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaPose::GetTypeName() const {
    return VString(IsBindPose() ? "BindPose" : "RestPose");
}

void VOxaPose::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaPose::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

int VOxaPose::Find(const char* nodeName) const {
    if (!nodeName) return -1;
    if (!mIndexValid) {
        mIndex.clear();
        for (int i = 0, n = mEntries.GetCount(); i < n; ++i)
            mIndex.emplace(mEntries[i]->mNodeName.Buffer(), i);
        mIndexValid = true;
    }
    auto it = mIndex.find(nodeName);
    return it == mIndex.end() ? -1 : it->second;
}

const VOxaPose::Entry* VOxaPose::FindEntry(const char* nodeName) const {
    int index = Find(nodeName);
    return index < 0 ? nullptr : mEntries[index];
}

int VOxaPose::Add(const char* nodeName, const VMatrix& matrix, bool local) {
    if (!nodeName) return -1;
    if (IsBindPose()) {
        // A node has one binding matrix in all the bind poses of the manager's scenes.
        VOxaSdkManager* manager = GetSdkManager();
        for (int s = 0, sceneCount = manager ? manager->GetSceneCount() : 0; s < sceneCount; ++s) {
            VOxaScene* scene = manager->GetScene(s);
            if (!scene) continue;
            for (int p = 0, poseCount = scene->GetPoseCount(); p < poseCount; ++p) {
                VOxaPose* other = scene->GetPose(p);
                if (!other || other == this || !other->IsBindPose()) continue;
                const Entry* entry = other->FindEntry(nodeName);
                if (entry && entry->mMatrix != matrix) return -1;
            }
        }
    }
    int existing = Find(nodeName);
    if (existing >= 0) return mEntries[existing]->mMatrix == matrix ? existing : -1;

    Entry* entry = oxa_alloc::Counted(new (std::nothrow) Entry{VString(nodeName), matrix, local});
    if (!entry) return -1;
    int index = mEntries.Add(entry);
    if (index < 0) {
        delete entry;
        return -1;
    }
    if (mIndexValid) mIndex.emplace(nodeName, index);
    return index;
}

void VOxaPose::Remove(int index) {
    if (index < 0 || index >= mEntries.GetCount()) return;
    delete mEntries[index];
    mEntries.RemoveAt(index);
    mIndexValid = false;
}

const char* VOxaPose::GetNodeName(int index) const {
    if (index < 0 || index >= mEntries.GetCount()) return "";
    return mEntries[index]->mNodeName.Buffer();
}

void VOxaPose::SetNodeName(int index, const char* name) {
    if (!name || !*name || index < 0 || index >= mEntries.GetCount()) return;
    mEntries[index]->mNodeName = name;
    mIndexValid = false;
}

const VMatrix& VOxaPose::GetMatrix(int index) const {
    if (index < 0 || index >= mEntries.GetCount()) return IdentityMatrix();
    return mEntries[index]->mMatrix;
}

bool VOxaPose::IsLocalMatrix(int index) const {
    if (index < 0 || index >= mEntries.GetCount()) return false;
    return mEntries[index]->mLocal;
}

bool VOxaPose::GetPosesOfKindContaining(VOxaSdkManager* manager, const char* nodeName, char kind,
                                        VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices) {
    if (!manager || !nodeName) return false;
    bool found = false;
    for (int s = 0, sceneCount = manager->GetSceneCount(); s < sceneCount; ++s) {
        VOxaScene* scene = manager->GetScene(s);
        if (!scene) continue;
        for (int p = 0, poseCount = scene->GetPoseCount(); p < poseCount; ++p) {
            VOxaPose* pose = scene->GetPose(p);
            if (!pose || (kind != 0 && pose->mKind != kind)) continue;
            int index = pose->Find(nodeName);
            if (index < 0) continue;
            poses.Add(pose);
            indices.Add(index);
            found = true;
        }
    }
    return found;
}

bool VOxaPose::GetPosesContaining(VOxaSdkManager* manager, const char* nodeName,
                                  VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices) {
    return GetPosesOfKindContaining(manager, nodeName, 0, poses, indices);
}

bool VOxaPose::GetBindPosesContaining(VOxaSdkManager* manager, const char* nodeName,
                                      VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices) {
    return GetPosesOfKindContaining(manager, nodeName, 'b', poses, indices);
}

bool VOxaPose::GetRestPosesContaining(VOxaSdkManager* manager, const char* nodeName,
                                      VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices) {
    return GetPosesOfKindContaining(manager, nodeName, 'r', poses, indices);
}
