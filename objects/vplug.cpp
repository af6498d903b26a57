#include "objects/vplug.h"

#include <algorithm>
#include <new>

#include "base/vallocation_hook.h"
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
    if (!mLinks || (mLinks->mSrc.GetCount() == 0 && mLinks->mDst.GetCount() == 0)) return;
    // The other side's list changes, never this one's: it is walked in place, since a delete
    // must not need memory.
    for (int i = 0, n = mLinks->mSrc.GetCount(); i < n; ++i)
        mLinks->mSrc.Get(i)->TakeConnection(false, this);
    for (int i = 0, n = mLinks->mDst.GetCount(); i < n; ++i)
        mLinks->mDst.Get(i)->TakeConnection(true, this);
}

VPlug::Links& VPlug::GetLinks() const {
    if (!mLinks) mLinks.reset(new Links());
    return *mLinks;
}

bool VPlug::TakeConnection(bool srcSide, const VPlug* other) {
    if (!mLinks) return false;
    Links& links = *mLinks;
    const int position = (srcSide ? links.mSrc : links.mDst).Take(other);
    if (position < 0) return false;
    ++links.mStamp;
    ++links.mRemovalStamp;
    for (const auto& view : links.mViews)
        view->Removed(srcSide, other, position);
    return true;
}

bool VPlug::Notify(int event, VPlug* other) {
    return mOwner ? mOwner->ConnectNotify(event, this, other) : true;
}

bool VPlug::ConnectSrc(VPlug* src, int /*type*/) {
    if (!src || src == this) return false;
    if (!(mFlags & kPlugAcceptsSrc) || !(src->mFlags & kPlugIsSrc)) return false;
    if (IsConnectedSrc(src)) return false;
    if (!Notify(ePlugAcceptSrc, src)) return false;
    if (!src->Notify(ePlugAcceptDst, this)) return false;
    Notify(ePlugConnectingSrc, src);
    src->Notify(ePlugConnectingDst, this);
    // A listener may have made the same connection meanwhile.
    if (IsConnectedSrc(src)) return false;
    // Both halves or neither: a child listed by no parent, or a source that does not know its
    // destination, would be used after its other half is deleted. Memory that runs out here is a
    // refusal, counted so that a read or write that meets it fails for it.
    Links* made = nullptr;
    try {
        Links& links = GetLinks();
        Links& srcLinks = src->GetLinks();
        links.mSrc.Add(src);
        made = &links;
        srcLinks.mDst.Add(this);
    } catch (const std::bad_alloc&) {
        if (made) made->mSrc.Take(src);
        oxa_alloc::NoteFailure();
        return false;
    }
    Links& links = *mLinks;
    Links& srcLinks = *src->mLinks;
    ++links.mStamp;
    ++srcLinks.mStamp;
    // What a listener makes for the connection (a subtree moving into a scene, a material
    // joining one) is part of it: a listener that runs out of memory undoes the connection, and
    // the others hear it leave as they heard it come.
    try {
        Notify(ePlugConnectedSrc, src);
        src->Notify(ePlugConnectedDst, this);
    } catch (const std::bad_alloc&) {
        DisconnectSrc(src);
        oxa_alloc::NoteFailure();
        return false;
    }
    return true;
}

bool VPlug::DisconnectSrc(VPlug* src) {
    if (!src || !IsConnectedSrc(src)) return false;
    Notify(ePlugDisconnectingSrc, src);
    src->Notify(ePlugDisconnectingDst, this);
    // A listener may have removed it already; the connection was there all the same.
    if (TakeConnection(true, src)) src->TakeConnection(false, this);
    Notify(ePlugDisconnectedSrc, src);
    src->Notify(ePlugDisconnectedDst, this);
    return true;
}

void VPlug::DisconnectAll() {
    // Work on copies: listeners may change the lists while they hear of a removal. Without room
    // for a copy (a plug being destroyed must still let go), the last connection goes first, as
    // many times as there were connections.
    for (const bool srcSide : {true, false}) {
        VConnectionList* list = mLinks ? (srcSide ? &mLinks->mSrc : &mLinks->mDst) : nullptr;
        if (!list || list->GetCount() == 0) continue;
        // A short list (nearly all are) is copied where it needs no memory.
        constexpr int kShort = 8;
        if (list->GetCount() <= kShort) {
            VPlug* copy[kShort];
            const int count = list->GetCount();
            for (int i = 0; i < count; ++i)
                copy[i] = list->Get(i);
            for (int i = 0; i < count; ++i)
                srcSide ? DisconnectSrc(copy[i]) : copy[i]->DisconnectSrc(this);
            continue;
        }
        std::vector<VPlug*> copy;
        try {
            copy = list->Snapshot();
        } catch (const std::bad_alloc&) {
            for (int n = list->GetCount(); n > 0; --n) {
                const int count = srcSide ? GetSrcCount() : GetDstCount();
                if (count == 0) break;
                VPlug* other = srcSide ? GetSrc(count - 1) : GetDst(count - 1);
                srcSide ? DisconnectSrc(other) : other->DisconnectSrc(this);
            }
            continue;
        }
        for (VPlug* other : copy)
            srcSide ? DisconnectSrc(other) : other->DisconnectSrc(this);
    }
}

void VPlug::SetFilter(const VClassFilter* filter, int flag) {
    mFilterClassId = filter ? filter->GetClassId() : -1;
    SetFlag(kPlugFilteredChild, (flag & kPlugFilteredChild) != 0);
}

VFilteredPlug* VPlug::GetFilteredPlug(const VClassFilter* filter) const {
    int classId = filter ? filter->GetClassId() : -1;
    try {
        Links& links = GetLinks();
        for (const auto& view : links.mViews) {
            if (view->mClassId == classId) return view.get();
        }
        std::unique_ptr<VFilteredPlug> view(new VFilteredPlug(this, classId));
        links.mViews.push_back(std::move(view));
        return links.mViews.back().get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool VFilteredPlug::Refresh() const {
    // A view exists only once its plug has its links.
    const VPlug::Links& links = *mPlug->mLinks;
    if (mStamp == links.mStamp) return true;
    if (mRemovalStamp != links.mRemovalStamp) {
        // Something was removed: filter everything again.
        mSrc.Clear();
        mDst.Clear();
        mSrcSeen = 0;
        mDstSeen = 0;
    }
    // Connections only ever append, so what is past the seen counts is new. An entry is counted
    // as seen only once it is kept: a view that ran out of memory goes on from there next time.
    VClassFilter filter(mClassId);
    try {
        for (int n = mPlug->GetSrcCount(); mSrcSeen < n; ++mSrcSeen) {
            VPlug* p = mPlug->GetSrc(mSrcSeen);
            if (filter.Accepts(p)) mSrc.Append(p);
        }
        for (int n = mPlug->GetDstCount(); mDstSeen < n; ++mDstSeen) {
            VPlug* p = mPlug->GetDst(mDstSeen);
            if (filter.Accepts(p)) mDst.Append(p);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    mStamp = links.mStamp;
    mRemovalStamp = links.mRemovalStamp;
    return true;
}

// Without an up-to-date view (memory ran out refreshing it) the plug's own list is walked.
int VFilteredPlug::CountDirect(bool srcSide) const {
    VClassFilter filter(mClassId);
    int count = 0;
    for (int i = 0, n = srcSide ? mPlug->GetSrcCount() : mPlug->GetDstCount(); i < n; ++i)
        count += filter.Accepts(srcSide ? mPlug->GetSrc(i) : mPlug->GetDst(i));
    return count;
}

VPlug* VFilteredPlug::FindDirect(bool srcSide, int index) const {
    VClassFilter filter(mClassId);
    for (int i = 0, n = srcSide ? mPlug->GetSrcCount() : mPlug->GetDstCount(); i < n && index >= 0; ++i) {
        VPlug* p = srcSide ? mPlug->GetSrc(i) : mPlug->GetDst(i);
        if (filter.Accepts(p) && index-- == 0) return p;
    }
    return nullptr;
}

void VFilteredPlug::Removed(bool srcSide, const VPlug* plug, int position) {
    // Only a view that had seen every earlier removal can follow this one in place; any other
    // filters everything again on its next access.
    const VPlug::Links& links = *mPlug->mLinks;
    if (mRemovalStamp + 1 != links.mRemovalStamp) return;
    int& seen = srcSide ? mSrcSeen : mDstSeen;
    Accepted& accepted = srcSide ? mSrc : mDst;
    if (position < seen) {
        --seen;
        // An accepted entry sits in the view at most as far in as in the plug's list; the
        // entries that go first (the last child of a parent being emptied) are found at once.
        for (int i = std::min(position, accepted.Size() - 1); i >= 0; --i) {
            if (accepted.At(i) == plug) {
                accepted.Erase(i);
                break;
            }
        }
    }
    mRemovalStamp = links.mRemovalStamp;
    // A view that was current stays current; one with appends to catch up on filters just them.
    if (mStamp + 1 == links.mStamp) mStamp = links.mStamp;
}

void VFilteredPlug::Accepted::Erase(int index) {
    if (index == 0) {
        mItems[(size_t)mFront++] = nullptr;
        if (mFront == (int)mItems.size()) {
            Clear();
        } else if (mFront > 16 && 2 * mFront > (int)mItems.size()) {
            mItems.erase(mItems.begin(), mItems.begin() + mFront);
            mFront = 0;
        }
        return;
    }
    mItems.erase(mItems.begin() + mFront + index);
}

int VFilteredPlug::GetSrcCount() const {
    return Refresh() ? mSrc.Size() : CountDirect(true);
}

VPlug* VFilteredPlug::GetSrc(int index) const {
    if (!Refresh()) return FindDirect(true, index);
    return (index >= 0 && index < mSrc.Size()) ? mSrc.At(index) : nullptr;
}

int VFilteredPlug::GetDstCount() const {
    return Refresh() ? mDst.Size() : CountDirect(false);
}

VPlug* VFilteredPlug::GetDst(int index) const {
    if (!Refresh()) return FindDirect(false, index);
    return (index >= 0 && index < mDst.Size()) ? mDst.At(index) : nullptr;
}

VPlug* VFilteredPlug::Get(int index) const {
    const int sources = GetSrcCount();
    if (index < sources) return GetSrc(index);
    return GetDst(index - sources);
}
