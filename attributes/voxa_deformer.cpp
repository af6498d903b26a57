#include "attributes/voxa_deformer.h"

#include "attributes/voxa_link.h"
#include "objects/voxa_same_manager_internal.h"
#include "objects/vproperty.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaDeformerProperties, VOxaPropertyHandler);
VOBJECT_IMPLEMENT_CLASS(VOxaSkinDeformerProperties, VOxaDeformerProperties);
VOBJECT_IMPLEMENT_CLASS(VOxaClusterDeformerProperties, VOxaDeformerProperties);

namespace {

const char* const kDeformerErrors[] = {"Error"};

VMatrix ToMatrix(const VgeAMatrix& m) {
    VMatrix out;
    VgeMatrixCopy(out.mData, m.mData);
    return out;
}

}  // namespace

// --- Property blocks ----------------------------------------------------------------------------

VOxaObject* VOxaDeformerProperties::GetOwner() const {
    return mOwner;
}

void VOxaDeformerProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

bool VOxaDeformerProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    // The block is a source of the contents' object list; when that connection goes (the
    // deformer moves, or the contents are torn down), the deformer forgets the contents.
    if (event == ePlugDisconnectingDst && plug == this && mOwner && mOwner->mSceneContents &&
        other == static_cast<const VPlug*>(&mOwner->mSceneContents->GetObjectList())) {
        mOwner->mSceneContents = nullptr;
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}

VOxaClusterDeformerProperties::VOxaClusterDeformerProperties(VOxaDeformer* owner)
    : VOxaDeformerProperties(owner) {
    // Both list the node property blocks connected as sources.
    const int classId = VOxaNodeProperties::ClassId;
    mSrcModel =
        CreatePropertyObjectList(this, "SrcModel", kPlugFilteredChild, classId, -1, kPlugAcceptsSrc, 0);
    mSrcModelReference = CreatePropertyObjectList(this, "SrcModelReference", kPlugFilteredChild, classId, -1,
                                                  kPlugAcceptsSrc, 0);
    for (VPropertyObjectList* list : {mSrcModel, mSrcModelReference}) {
        if (list) list->SetObjectFilter(1, classId);
    }
}

// --- Deformer -----------------------------------------------------------------------------------

VOxaDeformer::VOxaDeformer(VOxaSdkManager* manager, const char* name, const char* typeName)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kDeformerErrors, 1) {
    if (typeName && VString(typeName).CompareNoCase("cluster") == 0) {
        mType = eCluster;
        mProperties = new VOxaClusterDeformerProperties(this);
    } else {
        mType = eSkin;
        mProperties = new VOxaSkinDeformerProperties(this);
    }
    BuildOrRelease(mProperties, [this] {
        mProperties->SetName(GetName());
        AddDefaultTakeNode();
    });
}

VOxaDeformer::~VOxaDeformer() {
    if (mSceneContents) mSceneContents->RemoveDeformer(this);
    mSceneContents = nullptr;
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaDeformer::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaDeformer::GetTypeName() const {
    return VString(mProperties ? mProperties->GetTypeName() : "");
}

VStringList VOxaDeformer::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Deformer");
    return flags;
}

void VOxaDeformer::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaDeformer::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

void VOxaDeformer::SetUserData(const char* id, const char* data) {
    mUserDataID = id ? id : "";
    mUserData = data ? data : "";
}

void VOxaDeformer::CopyFromLink(const VOxaLink* link) {
    if (!link || mType != eCluster) return;
    mLinkMode = link->GetLinkMode();
    mUserDataID = link->GetUserDataID();
    mUserData = link->GetUserData();
    const int count = link->GetControlPointIndicesCount();
    mIndexes.Clear();
    mWeights.Clear();
    if (count > 0 && mIndexes.SetCount(count) && mWeights.SetCount(count)) {
        const int* indices = link->GetControlPointIndices();
        const double* weights = link->GetControlPointWeights();
        for (int i = 0; i < count; ++i) {
            mIndexes[i] = indices[i];
            mWeights[i] = weights[i];
        }
    } else {
        mIndexes.Clear();
        mWeights.Clear();
    }
    mTransformParentSet = link->IsTransformParentSet();
    VgeAMatrix m;
    mTransform = ToMatrix(link->GetTransformMatrix(m));
    mTransformLink = ToMatrix(link->GetTransformLinkMatrix(m));
    mTransformAssociate = ToMatrix(link->GetTransformAssociateModelMatrix(m));
    mTransformParent = ToMatrix(link->GetTransformParentMatrix(m));
}

void VOxaDeformer::SetSceneContents(VOxaSceneContents* contents) {
    if (contents == mSceneContents) return;
    if (contents && !VOxaSameManager(GetSdkManager(), contents->GetSdkManager())) return;
    if (mSceneContents) mSceneContents->RemoveDeformer(this);
    mSceneContents = contents;
    if (mSceneContents) mSceneContents->AddDeformer(this);
}
