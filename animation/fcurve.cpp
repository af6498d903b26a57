#include "animation/fcurve.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"

namespace {

// Bytes held by the key storage of every curve of the process.
int64_t gKeyMemoryTotal = 0;
// Key-move tolerance, set to 1e-5 second when the first curve is made.
VTime gTimeTolerance(0);

constexpr size_t kBlockBytes = sizeof(VFCurveKey) * VFCurve::eKeysPerBlock;

// A zeroed block of keys, or null when memory has run out.
VFCurveKey* AllocateBlock() {
    void* block = oxa_alloc::Allowed() ? std::calloc(VFCurve::eKeysPerBlock, sizeof(VFCurveKey)) : nullptr;
    if (!block) {
        oxa_alloc::NoteFailure();
        return nullptr;
    }
    gKeyMemoryTotal += (int64_t)kBlockBytes;
    return static_cast<VFCurveKey*>(block);
}

void FreeBlock(VFCurveKey* block) {
    if (!block) return;
    std::free(block);
    gKeyMemoryTotal -= (int64_t)kBlockBytes;
}

// The key that KeyAdd (time) and KeyAppendFast write: cubic, auto tangents with auto values 0,
// weights 1/3, no velocities.
VFCurveKey MakeDefaultKey() {
    VFCurveKey key;
    key.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 0.0f, 0.0f,
            VFCurveKey::eWeightedNone, kFCurveDefaultWeight, kFCurveDefaultWeight, 0.0f, 0.0f);
    return key;
}
// Made on first use, so that curves built by other static initialisers get it too.
const VFCurveKey& DefaultKey() {
    static const VFCurveKey key = MakeDefaultKey();
    return key;
}

}  // namespace

// ---- Lifecycle, bracket and notification ----------------------------------------------------------

VFCurve* VFCurve::Create() {
    return new VFCurve();
}

VFCurve::VFCurve()
    : mColor{1.0f, 1.0f, 1.0f},
      mDefaultValue(0.0f),
      mModificationCount(0),
      mNotifyNow(true),
      mCallbacksEnabled(true),
      mModifyDepth(0),
      mBlocks(nullptr),
      mKeyCount(0),
      mCapacity(0),
      mLastBlock(-1),
      mTableReserve(0),
      mPreExtrapolation(eExtrapolationConstant),
      mPreExtrapolationCount(0),
      mPostExtrapolation(eExtrapolationConstant),
      mPostExtrapolationCount(0),
      mOwnerTag(0),
      mLastIndex(0),
      mCandidateTime(VTIME_INFINITE),
      mCandidateValue(0.0f),
      mDeliveryIndex(-1) {
    VTime tolerance;
    tolerance.SetSecondDouble(1e-5);
    gTimeTolerance = tolerance;
}

VFCurve::~VFCurve() {
    KeyClear();
    mNotifyNow = true;
    mCallbacksEnabled = true;
    mModifyDepth = 0;
    CallbackAddEvent(eEventDestroy, -1);
    // The destroy event is told once: what listeners change in answer (keys added to the dying
    // curve) is not announced, and the keys are freed here.
    mDestroying = true;
    mListeners.clear();
    mCallbacksEnabled = false;
    FreeStorage();
    mKeyCount = 0;
    for (DeliveryGuard* guard = mDeliveryGuard; guard; guard = guard->mOuter)
        guard->mAlive = false;
}

void VFCurve::KeyModifyBegin() {
    ++mModifyDepth;
    mNotifyNow = false;
}

bool VFCurve::KeyModifyBegin(int keyCount) {
    KeyModifyBegin();
    return ResizeKeyBuffer(keyCount);
}

void VFCurve::KeyModifyEnd() {
    EndModifyAlive();
}

bool VFCurve::EndModifyAlive() {
    if (mModifyDepth <= 0) return true;
    if (--mModifyDepth > 0) return true;
    EmptyCandidate();
    mNotifyNow = true;
    return mPendingEvent.mEventCount > 0 ? DeliverPending() : true;
}

void VFCurve::KeyModifyEnd(int keyCount) {
    // A count beyond the prepared slots would expose unallocated storage: it is ignored.
    if (keyCount >= 0 && keyCount <= AllocatedKeySlots()) mKeyCount = keyCount;
    KeyModifyEnd();
}

void VFCurve::CallbackRegister(VFCurveCallback callback, void* data) {
    mListeners.push_back({callback, data});
}

void VFCurve::CallbackUnregister(VFCurveCallback callback, void* data) {
    for (size_t i = mListeners.size(); i-- > 0;) {
        if (mListeners[i].mCallback == callback && mListeners[i].mData == data) {
            mListeners.erase(i);
            if ((int)i <= mDeliveryIndex) --mDeliveryIndex;
            return;
        }
    }
}

void VFCurve::CallbackAddEvent(unsigned event, int index) {
    AddEventAlive(event, index);
}

bool VFCurve::AddEventAlive(unsigned event, int index) {
    if (!mCallbacksEnabled || mDestroying) return true;
    VFCurveEvent& pending = mPendingEvent;
    pending.mEventType |= event;
    if (pending.mEventCount == 0) {
        pending.mKeyIndexStart = index;
        pending.mKeyIndexStop = index;
    } else {
        if (pending.mKeyIndexStart == -1 || index == -1)
            pending.mKeyIndexStart = -1;
        else
            pending.mKeyIndexStart = std::min(pending.mKeyIndexStart, index);
        pending.mKeyIndexStop = std::max(pending.mKeyIndexStop, index);
    }
    ++pending.mEventCount;
    mModificationCount += (event & eEventSelection) ? 0x10000u : 1u;
    return mNotifyNow ? DeliverPending() : true;
}

void VFCurve::SetNotifyNow(bool notifyNow) {
    mNotifyNow = notifyNow;
    if (notifyNow && mPendingEvent.mEventCount > 0) DeliverPending();
}

void VFCurve::CallbackResetEvent() {
    mPendingEvent = VFCurveEvent();
}

bool VFCurve::DeliverPending() {
    // A listener may unregister itself (or others) while being called: CallbackUnregister moves
    // the walk's position back when it removes an entry at or before it, so that no listener is
    // skipped (a listener that drops its link on eEventDestroy must not hide the next one).
    // The event is taken out of the pending slot before the first call, so that a change made by
    // a listener is told as itself, not again as the event being delivered (a listener answering
    // every destroy with a key would otherwise be told "destroy" without end). A listener may
    // also destroy the curve (through its node): the guard tells the walk to stop.
    // A listener that throws stops there: the walk goes on with the next one, and the guard
    // leaves the curve as the walk ends whichever way it does.
    VFCurveEvent event = mPendingEvent;
    CallbackResetEvent();
    struct Walk {
        VFCurve* mCurve;
        DeliveryGuard mGuard;
        int mOuterIndex;
        ~Walk() {
            if (!mGuard.mAlive) return;
            mCurve->mDeliveryIndex = mOuterIndex;
            mCurve->mDeliveryGuard = mGuard.mOuter;
        }
    } walk{this, {true, mDeliveryGuard}, mDeliveryIndex};
    mDeliveryGuard = &walk.mGuard;
    for (mDeliveryIndex = 0; mDeliveryIndex < (int)mListeners.size(); ++mDeliveryIndex) {
        Listener listener = mListeners[(size_t)mDeliveryIndex];
        if (listener.mCallback) oxa_delivery::Call([&] { listener.mCallback(this, &event, listener.mData); });
        if (!walk.mGuard.mAlive) return false;
    }
    return true;
}

// ---- Key storage ------------------------------------------------------------------------------------

bool VFCurve::ResizeKeyBuffer(int keyCount) {
    if (keyCount < 0) return true;
    if (keyCount == 0 && !mBlocks) {
        EmptyCandidate();
        return true;
    }
    int length = mCapacity / eKeysPerBlock;
    if (keyCount > mCapacity) {
        int steps = (keyCount + eKeysPerTableStep - 1) / eKeysPerTableStep;
        length = steps * eBlocksPerTableStep;
    }
    const int lastNeeded = keyCount > 0 ? (keyCount - 1) / eKeysPerBlock : 0;
    // The table the curve reports grows in steps of 64 blocks; the allocation underneath holds the
    // blocks in use and grows geometrically, so that a curve of a few keys keeps a table of a few
    // pointers and adding keys one by one stays linear overall.
    if (lastNeeded >= mTableReserve) {
        int reserve = mTableReserve > length / 2 ? length : std::max(2 * mTableReserve, lastNeeded + 1);
        if (reserve < lastNeeded + 1) reserve = lastNeeded + 1;
        if (reserve > length) reserve = length;
        VFCurveKey** table =
            oxa_alloc::Allowed()
                ? static_cast<VFCurveKey**>(std::calloc((size_t)reserve, sizeof(VFCurveKey*)))
                : nullptr;
        if (!table) {
            oxa_alloc::NoteFailure();
            return false;
        }
        if (mBlocks) {
            std::memcpy(table, mBlocks, sizeof(VFCurveKey*) * (size_t)(mLastBlock + 1));
            std::free(mBlocks);
        }
        gKeyMemoryTotal += (int64_t)(reserve - mTableReserve) * (int64_t)sizeof(VFCurveKey*);
        mBlocks = table;
        mTableReserve = reserve;
    }
    // The blocks one by one: when one cannot be had, those allocated here are given back, so that
    // a failure leaves the keys and the room as they were.
    const int firstNew = mLastBlock + 1;
    for (int b = firstNew; b <= lastNeeded; ++b) {
        mBlocks[b] = AllocateBlock();
        if (!mBlocks[b]) {
            for (int k = firstNew; k < b; ++k) {
                FreeBlock(mBlocks[k]);
                mBlocks[k] = nullptr;
            }
            return false;
        }
    }
    if (lastNeeded > mLastBlock) mLastBlock = lastNeeded;
    mCapacity = length * eKeysPerBlock;
    EmptyCandidate();
    return true;
}

void VFCurve::FreeStorage() {
    if (mBlocks) {
        for (int b = 0; b <= mLastBlock; ++b)
            FreeBlock(mBlocks[b]);
        std::free(mBlocks);
        gKeyMemoryTotal -= (int64_t)mTableReserve * (int64_t)sizeof(VFCurveKey*);
    }
    mBlocks = nullptr;
    mCapacity = 0;
    mTableReserve = 0;
    mLastBlock = -1;
}

void VFCurve::FreeBlocksPast(int lastNeeded) {
    for (int b = lastNeeded + 1; b <= mLastBlock; ++b) {
        FreeBlock(mBlocks[b]);
        mBlocks[b] = nullptr;
    }
    if (mLastBlock > lastNeeded) mLastBlock = lastNeeded;
}

void VFCurve::KeyShrink() {
    if (mKeyCount == 0) {
        FreeStorage();
        return;
    }
    FreeBlocksPast((mKeyCount - 1) / eKeysPerBlock);
    int length = mCapacity / eKeysPerBlock;
    int groups = length / eBlocksPerTableStep;
    if (groups > mKeyCount / eKeysPerTableStep + 1) {
        int newGroups = (mKeyCount + eKeysPerTableStep - 1) / eKeysPerTableStep;
        int newLength = newGroups * eBlocksPerTableStep;
        mCapacity = newLength * eKeysPerBlock;
        // A smaller table is only a saving: when it cannot be had the larger one stays.
        if (mTableReserve <= newLength) return;
        VFCurveKey** table = static_cast<VFCurveKey**>(std::calloc((size_t)newLength, sizeof(VFCurveKey*)));
        if (!table) return;
        std::memcpy(table, mBlocks, sizeof(VFCurveKey*) * (size_t)(mLastBlock + 1));
        std::free(mBlocks);
        gKeyMemoryTotal -= (int64_t)(mTableReserve - newLength) * (int64_t)sizeof(VFCurveKey*);
        mBlocks = table;
        mTableReserve = newLength;
    }
}

void VFCurve::KeyClear() {
    EmptyCandidate();
    int oldCount = mKeyCount;
    FreeStorage();
    mKeyCount = 0;
    KeyModifyBegin();
    CallbackAddEvent(eEventKeyRemoved, 0);
    CallbackAddEvent(eEventKeyRemoved, oldCount);
    KeyModifyEnd();
}

int VFCurve::KeyGetCountAll() const {
    if (mKeyCount == 0) return 0;
    // Counts are read as unsigned: -1 is an unlimited number of repetitions.
    uint64_t repetitions =
        (uint64_t)(uint32_t)mPreExtrapolationCount + (uint64_t)(uint32_t)mPostExtrapolationCount;
    uint64_t spans = (uint64_t)(mKeyCount - 1);
    if (spans != 0 && repetitions > ((uint64_t)INT_MAX - (uint64_t)mKeyCount) / spans) return INT_MAX;
    return (int)((uint64_t)mKeyCount + repetitions * spans);
}

bool VFCurve::IsStorageValid() const {
    if (!mBlocks) return mKeyCount == 0 && mCapacity == 0 && mLastBlock == -1;
    int length = mCapacity / eKeysPerBlock;
    if (mCapacity != length * eKeysPerBlock || mKeyCount > mCapacity || mLastBlock >= length) return false;
    int need = mKeyCount > 0 ? (mKeyCount - 1) / eKeysPerBlock : -1;
    int last = std::max(need, mLastBlock);
    for (int b = 0; b < mTableReserve; ++b) {
        bool present = mBlocks[b] != nullptr;
        if (present != (b <= last)) return false;
    }
    return true;
}

int64_t VFCurve::GetKeyMemoryTotal() {
    return gKeyMemoryTotal;
}

VTime VFCurve::GetTimeTolerance() {
    return gTimeTolerance;
}

// Moves keys index..count-1 up one slot (room for count + 1 keys must exist), a block's run at a
// time from the end.
void VFCurve::InsertSlot(int index) {
    int srcEnd = mKeyCount;
    int dstEnd = mKeyCount + 1;
    while (srcEnd > index) {
        int srcRun = srcEnd % eKeysPerBlock == 0 ? eKeysPerBlock : srcEnd % eKeysPerBlock;
        int dstRun = dstEnd % eKeysPerBlock == 0 ? eKeysPerBlock : dstEnd % eKeysPerBlock;
        int run = std::min(std::min(srcRun, dstRun), srcEnd - index);
        std::memmove((void*)KeyGetPtr(dstEnd - run), (const void*)KeyGetPtr(srcEnd - run),
                     sizeof(VFCurveKey) * (size_t)run);
        srcEnd -= run;
        dstEnd -= run;
    }
}

// Moves keys first+count..count-1 down to first; the key count is not changed here.
void VFCurve::RemoveSlots(int first, int count) {
    int src = first + count;
    int dst = first;
    while (src < mKeyCount) {
        int run = std::min(std::min(eKeysPerBlock - src % eKeysPerBlock, eKeysPerBlock - dst % eKeysPerBlock),
                           mKeyCount - src);
        std::memmove((void*)KeyGetPtr(dst), (const void*)KeyGetPtr(src), sizeof(VFCurveKey) * (size_t)run);
        src += run;
        dst += run;
    }
}

// ---- Adding, setting and removing keys ---------------------------------------------------------------

int VFCurve::KeyAdd(VTime time, const VFCurveKey& keyIn, int* lastIndex) {
    // A copy first: the key may be one of this curve's own, which the insertion moves.
    const VFCurveKey key = keyIn;
    EmptyCandidate();
    if (!ResizeKeyBuffer(mKeyCount + 1)) return -1;
    int index = 0;
    if (mKeyCount > 0) {
        // The integer search gives the insertion point, so that a fraction rounded to a whole
        // number never places a key on the wrong side of a neighbour.
        double fraction = 0.0;
        int k = KeyLocate(time.Get(), lastIndex ? lastIndex : &mLastIndex, &fraction);
        if (k >= 0 && k < mKeyCount && fraction == 0.0) {
            VFCurveKey copy = key;
            copy.SetTime(time);
            return KeySet(k, copy) ? k : -1;
        }
        index = k < 0 ? 0 : (k >= mKeyCount ? mKeyCount : k + 1);
        InsertSlot(index);
    }
    VFCurveKey* slot = KeyGetPtr(index);
    *slot = key;
    slot->SetTime(time);
    ++mKeyCount;
    KeyChanged(eEventKeyAdded, index);
    if (lastIndex) *lastIndex = index;
    return index;
}

int VFCurve::KeyAdd(VTime time, int* lastIndex) {
    VFCurveKey key = DefaultKey();
    key.SetValue(Evaluate(time, lastIndex));
    return KeyAdd(time, key, lastIndex);
}

int VFCurve::KeyAdd(VTime time, const VFCurve* source, int sourceIndex, int* lastIndex) {
    if (!source) return -1;
    return KeyAdd(time, *source->KeyGetPtr(sourceIndex), lastIndex);
}

bool VFCurve::KeySet(int index, const VFCurve* source, int sourceIndex) {
    if (!source) return false;
    return KeySet(index, *source->KeyGetPtr(sourceIndex));
}

int VFCurve::KeyAppend(VTime time, const VFCurve* source, int sourceIndex) {
    if (!source) return -1;
    VFCurveKey key = *source->KeyGetPtr(sourceIndex);
    if (mKeyCount + 1 > AllocatedKeySlots() && !ResizeKeyBuffer(mKeyCount + 1)) return -1;
    int index = mKeyCount;
    VFCurveKey* slot = KeyGetPtr(index);
    *slot = key;
    slot->SetTime(time);
    ++mKeyCount;
    KeyChanged(eEventKeyAdded, index);
    return index;
}

int VFCurve::KeyAppendFast(VTime time, float value) {
    if (mKeyCount + 1 > AllocatedKeySlots() && !ResizeKeyBuffer(mKeyCount + 1)) return -1;
    int index = mKeyCount;
    VFCurveKey* slot = KeyGetPtr(index);
    *slot = DefaultKey();
    slot->mTime = time;
    slot->mValue = value;
    ++mKeyCount;
    EmptyCandidate();
    ++mModificationCount;
    return index;
}

bool VFCurve::KeySet(int index, const VFCurveKey& key) {
    if (index < 0 || index >= AllocatedKeySlots()) return false;
    if (index > 0 && key.GetTime() <= KeyGetPtr(index - 1)->GetTime()) return false;
    if (index < mKeyCount - 1 && key.GetTime() >= KeyGetPtr(index + 1)->GetTime()) return false;
    *KeyGetPtr(index) = key;
    EmptyCandidate();
    if (index < mKeyCount) {
        CallbackAddEvent(eEventKeyReplaced, index);
    } else {
        int oldCount = mKeyCount;
        mKeyCount = index + 1;
        if (AddEventAlive(eEventKeyAdded, oldCount)) CallbackAddEvent(eEventKeyAdded, index);
    }
    return true;
}

bool VFCurve::KeySet(int index, VTime time, float value, unsigned interpolation, unsigned tangentMode,
                     float data0, float data1, unsigned weightMode, float data2, float data3, float data4,
                     float data5) {
    if (index < 0 || index >= AllocatedKeySlots()) return false;
    KeyGetPtr(index)->Set(time, value, interpolation, tangentMode, data0, data1, weightMode, data2, data3,
                          data4, data5);
    EmptyCandidate();
    if (index < mKeyCount) {
        CallbackAddEvent(eEventKeyReplaced, index);
    } else {
        int oldCount = mKeyCount;
        mKeyCount = index + 1;
        if (AddEventAlive(eEventKeyAdded, oldCount)) CallbackAddEvent(eEventKeyAdded, index);
    }
    return true;
}

bool VFCurve::KeySetTCB(int index, VTime time, float value, float tension, float continuity, float bias) {
    if (index < 0 || index >= AllocatedKeySlots()) return false;
    KeyGetPtr(index)->SetTCB(time, value, tension, continuity, bias);
    EmptyCandidate();
    if (index < mKeyCount) {
        CallbackAddEvent(eEventKeyReplaced, index);
    } else {
        int oldCount = mKeyCount;
        mKeyCount = index + 1;
        if (AddEventAlive(eEventKeyAdded, oldCount)) CallbackAddEvent(eEventKeyAdded, index);
    }
    return true;
}

bool VFCurve::KeyRemove(int index) {
    if (index < 0 || index >= mKeyCount) return false;
    EmptyCandidate();
    KeyModifyBegin();
    if (mKeyCount == 1) SetDefaultValue(KeyGetPtr(0)->GetValue());
    if (index < mKeyCount - 1) {
        VFCurveTangentInfo left = KeyGetLeftTangentInfo(index + 1);
        RemoveSlots(index, 1);
        --mKeyCount;
        KeySetLeftTangentInfo(index, left);
    } else {
        --mKeyCount;
    }
    CallbackAddEvent(eEventKeyRemoved, index);
    KeyModifyEnd();
    return true;
}

// ---- Per-key attributes --------------------------------------------------------------------------------

void VFCurve::KeySetInterpolation(int index, unsigned interpolation) {
    KeyGetPtr(index)->SetInterpolation(interpolation);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetConstantMode(int index, unsigned mode) {
    KeyGetPtr(index)->SetConstantMode(mode);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetTangentMode(int index, unsigned mode) {
    KeyGetPtr(index)->SetTangentMode(mode);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetTangentWeightMode(int index, unsigned mode, unsigned mask) {
    KeyGetPtr(index)->SetTangentWeightMode(mode, mask);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetTangentVelocityMode(int index, unsigned mode, unsigned mask) {
    KeyGetPtr(index)->SetTangentVelocityMode(mode, mask);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetDataFloat(int index, int dataIndex, float value) {
    KeyGetPtr(index)->SetDataFloat(dataIndex, value);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetDataRaw(int index, int dataIndex, float value) {
    KeyGetPtr(index)->SetDataRaw(dataIndex, value);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeyMultDerivative(int index, float factor) {
    KeyGetPtr(index)->MultDerivative(factor);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetBreak(int index, bool on) {
    KeyGetPtr(index)->SetBreak(on);
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetValue(int index, float value) {
    KeyGetPtr(index)->SetValue(value);
    KeyChanged(eEventKeyValue, index);
}

void VFCurve::KeyIncValue(int index, float delta) {
    KeyGetPtr(index)->IncValue(delta);
    KeyChanged(eEventKeyValue, index);
}

void VFCurve::KeyMultValue(int index, float factor) {
    KeyGetPtr(index)->MultValue(factor);
    KeyChanged(eEventKeyValue, index);
}

void VFCurve::KeySetTime(int index, VTime time) {
    KeyGetPtr(index)->SetTime(time);
    KeyChanged(eEventKeyTime, index);
}

void VFCurve::KeyIncTime(int index, VTime delta) {
    KeyGetPtr(index)->IncTime(delta);
    KeyChanged(eEventKeyTime, index);
}

void VFCurve::KeySetSelected(int index, bool selected) {
    KeyGetPtr(index)->SetSelected(selected);
    CallbackAddEvent(eEventSelection, index);
}

void VFCurve::KeySetEditState(int index, unsigned state) {
    KeyGetPtr(index)->SetEditState(state);
    CallbackAddEvent(eEventSelection, index);
}

// ---- Curve settings ------------------------------------------------------------------------------------

void VFCurve::SetDefaultValue(float value) {
    // Without keys the default is the curve's value everywhere: a candidate left by an earlier
    // evaluation would keep answering the old one.
    if (mKeyCount == 0 && value != mDefaultValue) EmptyCandidate();
    mDefaultValue = value;
    CallbackAddEvent(eEventDefaultValue, -1);
}

void VFCurve::SetColor(const float* rgb) {
    if (!rgb) return;
    mColor[0] = rgb[0];
    mColor[1] = rgb[1];
    mColor[2] = rgb[2];
}

void VFCurve::SetColor(float red, float green, float blue) {
    float rgb[3] = {red, green, blue};
    SetColor(rgb);
}

void VFCurve::SetPreExtrapolation(int mode) {
    mPreExtrapolation = mode;
    CallbackAddEvent(eEventKeyOther, -1);
}

void VFCurve::SetPreExtrapolationCount(int count) {
    mPreExtrapolationCount = count;
    CallbackAddEvent(eEventKeyOther, -1);
}

void VFCurve::SetPostExtrapolation(int mode) {
    mPostExtrapolation = mode;
    CallbackAddEvent(eEventKeyOther, -1);
}

void VFCurve::SetPostExtrapolationCount(int count) {
    mPostExtrapolationCount = count;
    CallbackAddEvent(eEventKeyOther, -1);
}
