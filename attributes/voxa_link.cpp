#include "attributes/voxa_link.h"

#include <algorithm>

#include "attributes/voxa_deformer.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"

VOxaLink::VOxaLink() {
    Init();
}

void VOxaLink::InitTransform(VgeTVector trs[3]) {
    trs[kT].Set(0.0, 0.0, 0.0, 1.0);
    trs[kR].Set(0.0, 0.0, 0.0, 1.0);
    trs[kS].Set(1.0, 1.0, 1.0, 1.0);
}

void VOxaLink::Init() {
    mLink = nullptr;
    mAssociateModel = nullptr;
    mLinkName = "";
    mAssociateModelName = "";
    mUserDataID = "";
    mUserData = "";
    mLinkMode = eAdditive;
    InitTransform(mTransform);
    InitTransform(mTransformLink);
    InitTransform(mTransformAssociate);
    InitTransform(mTransformParent);
    mTransformParentSet = false;
    mIndices.Clear();
    mWeights.Clear();
}

void VOxaLink::SetLink(VOxaNode* node) {
    if (!node || !VOxaSameManager(mManager, node->GetSdkManager())) return;
    mLink = node;
    mLinkName = node->GetName();
}

void VOxaLink::SetAssociateModel(VOxaNode* node) {
    if (node && !VOxaSameManager(mManager, node->GetSdkManager())) return;
    mAssociateModel = node;
    mAssociateModelName = node ? node->GetName() : "";
}

void VOxaLink::ReleaseNode(const VOxaNode* node) {
    if (!node) return;
    if (mLink == node) mLink = nullptr;
    if (mAssociateModel == node) mAssociateModel = nullptr;
}

VString VOxaLink::GetAssociateModelName() {
    if (mAssociateModel) mAssociateModelName = mAssociateModel->GetName();
    return mAssociateModelName;
}

void VOxaLink::SetUserData(const char* id, const char* data) {
    mUserDataID = id ? id : "";
    mUserData = data ? data : "";
}

VString VOxaLink::GetUserDataByID(const char* id) const {
    if (mUserDataID.CompareNoCase(id ? id : "") == 0) return mUserData;
    return VString("");
}

void VOxaLink::SetTransformParentR(const VgeTVector& v) {
    mTransformParent[kR] = v;
    mTransformParentSet = true;
}

void VOxaLink::SetTransformParentT(const VgeTVector& v) {
    mTransformParent[kT] = v;
    mTransformParentSet = true;
}

void VOxaLink::SetTransformParentS(const VgeTVector& v) {
    mTransformParent[kS] = v;
    mTransformParentSet = true;
}

void VOxaLink::SetFromMatrix(VgeTVector trs[3], const VgeAMatrix& matrix) {
    trs[kR] = matrix.GetR();
    trs[kT] = matrix.GetT();
    trs[kS] = matrix.GetS();
}

VgeAMatrix& VOxaLink::Compose(const VgeTVector trs[3], VgeAMatrix& out) {
    out.SetTRS(trs[kT], trs[kR], trs[kS]);
    return out;
}

void VOxaLink::SetTransformMatrix(const VgeAMatrix& matrix) {
    SetFromMatrix(mTransform, matrix);
}

void VOxaLink::SetTransformLinkMatrix(const VgeAMatrix& matrix) {
    SetFromMatrix(mTransformLink, matrix);
}

void VOxaLink::SetTransformAssociateModelMatrix(const VgeAMatrix& matrix) {
    SetFromMatrix(mTransformAssociate, matrix);
}

void VOxaLink::SetTransformParentMatrix(const VgeAMatrix& matrix) {
    SetFromMatrix(mTransformParent, matrix);
    mTransformParentSet = true;
}

VgeAMatrix& VOxaLink::GetTransformMatrix(VgeAMatrix& out) const {
    return Compose(mTransform, out);
}

VgeAMatrix& VOxaLink::GetTransformLinkMatrix(VgeAMatrix& out) const {
    return Compose(mTransformLink, out);
}

VgeAMatrix& VOxaLink::GetTransformAssociateModelMatrix(VgeAMatrix& out) const {
    return Compose(mTransformAssociate, out);
}

VgeAMatrix& VOxaLink::GetTransformParentMatrix(VgeAMatrix& out) const {
    return Compose(mTransformParent, out);
}

void VOxaLink::AddControlPointIndex(int index, double weight) {
    if (index < 0) return;
    // Both arrays grow together or not at all, so they stay parallel.
    if (mIndices.Add(index) < 0) return;
    if (mWeights.Add(weight) < 0) mIndices.SetCount(mIndices.GetCount() - 1);
}

void VOxaLink::CopyFrom(const VOxaLink& other) {
    if (&other == this) return;
    Init();
    // Through the setters: the names are those the nodes bear now.
    SetLink(other.mLink);
    SetAssociateModel(other.mAssociateModel);
    mUserDataID = other.mUserDataID;
    mUserData = other.mUserData;
    mLinkMode = other.mLinkMode;
    for (int i = 0; i < 3; ++i) {
        mTransform[i] = other.mTransform[i];
        mTransformLink[i] = other.mTransformLink[i];
        mTransformAssociate[i] = other.mTransformAssociate[i];
        mTransformParent[i] = other.mTransformParent[i];
    }
    mTransformParentSet = other.mTransformParentSet;
    mIndices = other.mIndices;
    mWeights = other.mWeights;
}

namespace {

VgeAMatrix ToAffine(const VMatrix& m) {
    VgeAMatrix out;
    VgeMatrixCopyAffine(out.mData, m.mData);
    return out;
}

}  // namespace

void VOxaLink::CopyFromDeformer(const VOxaDeformer* deformer) {
    Init();
    if (!deformer || deformer->GetDeformerType() != VOxaDeformer::eCluster) return;
    mLinkMode = deformer->GetLinkMode();
    mUserDataID = deformer->GetUserDataID();
    mUserData = deformer->GetUserData();
    // The arrays come from a file and need not be parallel: pairs up to the shorter one.
    const VArrayTemplate<int>& indexes = deformer->GetIndexes();
    const VArrayTemplate<double>& weights = deformer->GetWeights();
    int count = std::min(indexes.GetCount(), weights.GetCount());
    const int* index = indexes.GetArray();
    const double* weight = weights.GetArray();
    for (int i = 0; i < count; ++i)
        AddControlPointIndex(index[i], weight[i]);
    SetTransformMatrix(ToAffine(deformer->GetTransformMatrix()));
    SetTransformLinkMatrix(ToAffine(deformer->GetTransformLinkMatrix()));
    SetTransformAssociateModelMatrix(ToAffine(deformer->GetTransformAssociateModelMatrix()));
    SetTransformParentMatrix(ToAffine(deformer->GetTransformParentMatrix()));
    mTransformParentSet = deformer->IsTransformParentSet();
}
