#include "objects/vplug.h"

#include <algorithm>

#include "objects/vobject.h"

int VPlug::ClassId = -1;
VClassInfo VPlug::ClassInfo(&VPlug::ClassId, nullptr, "VPlug");
[[maybe_unused]] static const int VPlug_ClassRegistered = RegisterClassId(&VPlug::ClassInfo);

void* IVObject::QueryInterface(int interfaceId) {
    return interfaceId == 0 ? this : nullptr;
}

void IVObject::Destroy() {
    delete this;
}

VPlug::~VPlug() {
    // Most plugs (properties above all) go without a connection: no copies for them.
    if (mSrc.GetCount() == 0 && mDst.GetCount() == 0) return;
    for (VPlug* src : mSrc.Snapshot())
        src->TakeConnection(false, this);
    for (VPlug* dst : mDst.Snapshot())
        dst->TakeConnection(true, this);
}

bool VPlug::TakeConnection(bool srcSide, const VPlug* other) {
    const int position = (srcSide ? mSrc : mDst).Take(other);
    if (position < 0) return false;
    ++mStamp;
    ++mRemovalStamp;
    for (const auto& view : mViews)
        view->Removed(srcSide, other, position);
    return true;
}

bool VPlug::Notify(int event, VPlug* other) {
    return mOwner ? mOwner->ConnectNotify(event, this, other) : true;
}

bool VPlug::ConnectSrc(VPlug* src, int /*type*/) {
    if (!src || src == this) return false;
    if (!(mFlags & kPlugAcceptsSrc) || !(src->mFlags & kPlugIsSrc)) return false;
    if (mSrc.Contains(src)) return false;
    if (!Notify(ePlugAcceptSrc, src)) return false;
    if (!src->Notify(ePlugAcceptDst, this)) return false;
    Notify(ePlugConnectingSrc, src);
    src->Notify(ePlugConnectingDst, this);
    // A listener may have made the same connection meanwhile.
    if (mSrc.Contains(src)) return false;
    mSrc.Add(src);
    src->mDst.Add(this);
    ++mStamp;
    ++src->mStamp;
    Notify(ePlugConnectedSrc, src);
    src->Notify(ePlugConnectedDst, this);
    return true;
}

bool VPlug::DisconnectSrc(VPlug* src) {
    if (!src || !mSrc.Contains(src)) return false;
    Notify(ePlugDisconnectingSrc, src);
    src->Notify(ePlugDisconnectingDst, this);
    // A listener may have removed it already; the connection was there all the same.
    if (TakeConnection(true, src)) src->TakeConnection(false, this);
    Notify(ePlugDisconnectedSrc, src);
    src->Notify(ePlugDisconnectedDst, this);
    return true;
}

void VPlug::DisconnectAll() {
    // Work on copies: listeners may change the lists while they hear of a removal.
    if (mSrc.GetCount() > 0) {
        for (VPlug* src : mSrc.Snapshot())
            DisconnectSrc(src);
    }
    if (mDst.GetCount() > 0) {
        for (VPlug* dst : mDst.Snapshot())
            dst->DisconnectSrc(this);
    }
}

void VPlug::SetFilter(const VClassFilter* filter, int flag) {
    mFilterClassId = filter ? filter->GetClassId() : -1;
    SetFlag(kPlugFilteredChild, (flag & kPlugFilteredChild) != 0);
}

VFilteredPlug* VPlug::GetFilteredPlug(const VClassFilter* filter) const {
    int classId = filter ? filter->GetClassId() : -1;
    for (const auto& view : mViews) {
        if (view->mClassId == classId) return view.get();
    }
    mViews.push_back(std::unique_ptr<VFilteredPlug>(new VFilteredPlug(this, classId)));
    return mViews.back().get();
}

void VFilteredPlug::Refresh() const {
    if (mStamp == mPlug->mStamp) return;
    if (mRemovalStamp != mPlug->mRemovalStamp) {
        // Something was removed: filter everything again.
        mSrc.clear();
        mDst.clear();
        mSrcSeen = 0;
        mDstSeen = 0;
    }
    // Connections only ever append, so what is past the seen counts is new.
    VClassFilter filter(mClassId);
    for (int n = mPlug->GetSrcCount(); mSrcSeen < n; ++mSrcSeen) {
        VPlug* p = mPlug->GetSrc(mSrcSeen);
        if (filter.Accepts(p)) mSrc.push_back(p);
    }
    for (int n = mPlug->GetDstCount(); mDstSeen < n; ++mDstSeen) {
        VPlug* p = mPlug->GetDst(mDstSeen);
        if (filter.Accepts(p)) mDst.push_back(p);
    }
    mStamp = mPlug->mStamp;
    mRemovalStamp = mPlug->mRemovalStamp;
}

void VFilteredPlug::Removed(bool srcSide, const VPlug* plug, int position) {
    // Only a view that had seen every earlier removal can follow this one in place; any other
    // filters everything again on its next access.
    if (mRemovalStamp + 1 != mPlug->mRemovalStamp) return;
    int& seen = srcSide ? mSrcSeen : mDstSeen;
    std::vector<VPlug*>& accepted = srcSide ? mSrc : mDst;
    if (position < seen) {
        --seen;
        // An accepted entry sits in the view at most as far in as in the plug's list; the
        // entries that go first (the last child of a parent being emptied) are found at once.
        for (int i = std::min(position, (int)accepted.size() - 1); i >= 0; --i) {
            if (accepted[i] == plug) {
                accepted.erase(accepted.begin() + i);
                break;
            }
        }
    }
    mRemovalStamp = mPlug->mRemovalStamp;
    // A view that was current stays current; one with appends to catch up on filters just them.
    if (mStamp + 1 == mPlug->mStamp) mStamp = mPlug->mStamp;
}

int VFilteredPlug::GetSrcCount() const {
    Refresh();
    return (int)mSrc.size();
}

VPlug* VFilteredPlug::GetSrc(int index) const {
    Refresh();
    return (index >= 0 && index < (int)mSrc.size()) ? mSrc[index] : nullptr;
}

int VFilteredPlug::GetDstCount() const {
    Refresh();
    return (int)mDst.size();
}

VPlug* VFilteredPlug::GetDst(int index) const {
    Refresh();
    return (index >= 0 && index < (int)mDst.size()) ? mDst[index] : nullptr;
}

VPlug* VFilteredPlug::Get(int index) const {
    Refresh();
    if (index < (int)mSrc.size()) return GetSrc(index);
    return GetDst(index - (int)mSrc.size());
}
