// The candidate of a curve, whole-curve copies, removal of key ranges and replacement of a span
// by the keys of another curve.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "animation/fcurve.h"
#include "animation/fcurve_internal.h"

using namespace fcurve_detail;

namespace {

typedef VFCurveKey Key;

// t + delta, kept on the time line (the infinities do not wrap around).
VTime SaturatedAdd(VTime t, int64_t delta) {
    return VTime(SaturateTicks((__int128)t.Get() + delta));
}

}  // namespace

// ---- Candidate ----------------------------------------------------------------------------------------

float VFCurve::CandidateEvaluate(VTime time, int* lastIndex) {
    if (time == mCandidateTime) return mCandidateValue;
    float value = Evaluate(time, lastIndex);
    mCandidateTime = time;
    mCandidateValue = value;
    return value;
}

bool VFCurve::CandidateClear() {
    EmptyCandidate();
    return true;
}

bool VFCurve::CandidateSet(VTime time, double value) {
    mCandidateTime = time;
    mCandidateValue = (float)value;
    return true;
}

void VFCurve::MakeCandidateKey(VFCurveKey& key, VTime time, float value, unsigned interpolation,
                               unsigned tangentMode, bool tangentBreak) const {
    if (interpolation == Key::eInterpolationCubic && tangentMode == Key::eTangentTCB) {
        key.SetTCB(time, value, 0.0f, tangentBreak ? -1.0f : 0.0f, 0.0f);
    } else if (interpolation == Key::eInterpolationCubic && tangentMode == Key::eTangentAuto) {
        if (tangentBreak)
            key.Set(time, value, Key::eInterpolationCubic, Key::eTangentAutoBreak, 100.0f, 100.0f);
        else
            key.Set(time, value, Key::eInterpolationCubic, Key::eTangentAuto, 0.0f, 0.0f);
    } else {
        key.Set(time, value, interpolation, tangentMode, 0.0f, 0.0f, Key::eWeightedNone, kFCurveDefaultWeight,
                kFCurveDefaultWeight);
    }
}

bool VFCurve::CandidateKey(int* lastIndex, unsigned interpolation, unsigned tangentMode, bool tangentBreak,
                           bool setKeyType, VTime time, double indexTolerance) {
    if (time != VTIME_INFINITE) mCandidateTime = time;
    if (!IsCandidate()) return false;
    const VTime candidateTime = mCandidateTime;
    const float candidateValue = mCandidateValue;
    const bool cubic = interpolation == Key::eInterpolationCubic;

    if (mKeyCount == 0) {
        // A first key: a TCB key here keeps continuity 0 even with a break.
        VFCurveKey key;
        MakeCandidateKey(key, candidateTime, candidateValue, interpolation, tangentMode,
                         tangentMode == Key::eTangentAuto && tangentBreak);
        int index = KeyAdd(candidateTime, key);
        if (lastIndex) *lastIndex = index;
        return true;
    }

    KeyModifyBegin();
    const int n = mKeyCount;
    double x = KeyFind(candidateTime);
    int onKey = -1, before, after;
    if (x >= 0.0 && x <= n - 1) {
        // Within the keys the tolerance (in key-index units) snaps the candidate onto a key.
        double lower = std::floor(x + indexTolerance), upper = std::ceil(x - indexTolerance);
        if (lower >= upper) onKey = std::min(n - 1, std::max(0, (int)std::floor(x + 0.5)));
        if (lower == upper) onKey = (int)lower;
    }
    if (onKey >= 0) {
        before = onKey - 1;
        after = onKey + 1;
    } else {
        before = (int)std::floor(x);
        after = (int)std::ceil(x);
    }
    VFCurveTangentInfo beforeRight, afterLeft;
    if (before >= 0) beforeRight = KeyGetRightTangentInfo(before);
    if (after < n) afterLeft = KeyGetLeftTangentInfo(after);

    VFCurveTangentInfo left, right;
    int index;
    if (onKey < 0) {
        left.mDerivative = EvaluateLeftDerivative(candidateTime);
        right.mDerivative = EvaluateRightDerivative(candidateTime);
        VFCurveKey key;
        MakeCandidateKey(key, candidateTime, candidateValue, interpolation, tangentMode, tangentBreak);
        index = KeyAdd(candidateTime, key);
        if (index < 0) {
            KeyModifyEnd();
            return false;
        }
        after = index + 1;
    } else {
        index = onKey;
        left = KeyGetLeftTangentInfo(index);
        right = KeyGetRightTangentInfo(index);
        if (!setKeyType) {
            KeySetValue(index, candidateValue);
            KeySetTime(index, candidateTime);
        } else {
            VFCurveKey key;
            MakeCandidateKey(key, candidateTime, candidateValue, interpolation, tangentMode, tangentBreak);
            *KeyGetPtr(index) = key;
            KeyChanged(eEventKeyReplaced, index);
        }
    }
    if (tangentBreak && cubic) {
        Key* key = KeyGetPtr(index);
        unsigned mode = key->GetTangentMode();
        if (mode == Key::eTangentAuto) {
            key->SetTangentMode(Key::eTangentAutoBreak);
        } else if (mode == Key::eTangentTCB) {
            key->SetDataRaw(Key::eTCBTension, 0.0f);
            key->SetDataRaw(Key::eTCBContinuity, -1.0f);
            key->SetDataRaw(Key::eTCBBias, 0.0f);
        }
        KeyChanged(eEventKeyOther, index);
        left.mAuto = 100.0f;
        right.mAuto = 100.0f;
    }
    KeySetLeftTangentInfo(index, left);
    KeySetRightTangentInfo(index, right);
    if (before >= 0) KeySetRightTangentInfo(before, beforeRight);
    if (after < mKeyCount && after > index) KeySetLeftTangentInfo(after, afterLeft);
    if (lastIndex) *lastIndex = index;
    KeyModifyEnd();
    return true;
}

// ---- Copies -------------------------------------------------------------------------------------------

void VFCurve::CopyFrom(const VFCurve* source, bool withKeys) {
    if (!source || source == this) return;
    KeyModifyBegin();
    if (!withKeys) {
        KeyClear();
        SetDefaultValue(source->mDefaultValue);
    } else {
        if (source->mKeyCount > 0)
            mDefaultValue = source->mDefaultValue;
        else
            SetDefaultValue(source->mDefaultValue);
        int oldCount = mKeyCount;
        int count = source->mKeyCount;
        if (!ResizeKeyBuffer(count)) {
            // No room for the copy: this curve keeps its keys and the caller hears of it.
            KeyModifyEnd();
            throw std::bad_alloc();
        }
        if (oldCount > 0) {
            CallbackAddEvent(eEventKeyRemoved, 0);
            CallbackAddEvent(eEventKeyRemoved, oldCount - 1);
        }
        mKeyCount = count;
        if (count > 0) {
            int blocks = (count - 1) / eKeysPerBlock + 1;
            for (int b = 0; b < blocks; ++b)
                std::memcpy((void*)mBlocks[b], (const void*)source->mBlocks[b],
                            sizeof(VFCurveKey) * eKeysPerBlock);
            CallbackAddEvent(eEventKeyAdded, 0);
            CallbackAddEvent(eEventKeyAdded, count - 1);
        }
    }
    std::memcpy(mColor, source->mColor, sizeof mColor);
    mOwnerTag = source->mOwnerTag;
    mPreExtrapolation = source->mPreExtrapolation;
    mPreExtrapolationCount = source->mPreExtrapolationCount;
    mPostExtrapolation = source->mPostExtrapolation;
    mPostExtrapolationCount = source->mPostExtrapolationCount;
    CallbackAddEvent(eEventKeyOther, -1);
    if (!EndModifyAlive()) return;
    // After the bracket, whose end empties the candidate.
    mCandidateTime = source->mCandidateTime;
    mCandidateValue = source->mCandidateValue;
}

VFCurve* VFCurve::Copy(VTime start, VTime stop) const {
    VFCurve* copy = Create();
    if (start.Get() <= VTime::kMinusInfinite && stop == VTIME_INFINITE) {
        copy->CopyFrom(this, true);
    } else {
        copy->mDefaultValue = mDefaultValue;
        copy->mOwnerTag = mOwnerTag;
        copy->mCandidateTime = mCandidateTime;
        copy->mCandidateValue = mCandidateValue;
        copy->mModificationCount = mModificationCount;
    }
    return copy;
}

// ---- Removing ranges ----------------------------------------------------------------------------------

bool VFCurve::KeyRemoveRange(int first, int last) {
    if (mKeyCount == 0) return false;
    EmptyCandidate();
    float firstValue = KeyGetPtr(0)->mValue;
    first = std::max(first, 0);
    last = std::min(last, mKeyCount - 1);
    KeyModifyBegin();
    if (first == last) {
        KeyRemove(first);
    } else if (first == 0 && last == mKeyCount - 1) {
        KeyClear();
    } else if (first < last) {
        bool hasNext = last + 1 < mKeyCount;
        VFCurveTangentInfo next;
        if (hasNext) next = KeyGetLeftTangentInfo(last + 1);
        RemoveSlots(first, last - first + 1);
        mKeyCount -= last - first + 1;
        // Release the blocks that no key reaches any more.
        FreeBlocksPast((mKeyCount - 1) / eKeysPerBlock);
        if (hasNext) KeySetLeftTangentInfo(first, next);
        CallbackAddEvent(eEventKeyRemoved, first);
        CallbackAddEvent(eEventKeyRemoved, last);
    }
    if (mKeyCount == 0) SetDefaultValue(firstValue);
    KeyModifyEnd();
    return true;
}

bool VFCurve::KeyRemoveTimeRange(VTime start, VTime stop) {
    if (mKeyCount == 0) return false;
    const int n = mKeyCount;
    double fraction;
    // First key strictly after start, last key strictly before stop.
    int k = KeyLocate(start.Get(), &mLastIndex, &fraction);
    int first = k < 0 ? 0 : std::min(k + 1, n);
    k = KeyLocate(stop.Get(), &mLastIndex, &fraction);
    int last = k < 0 ? -1 : (k >= n ? n - 1 : (fraction == 0.0 ? k - 1 : k));
    if (first > last) return true;
    return KeyRemoveRange(first, last);
}

// ---- Replacement --------------------------------------------------------------------------------------

namespace {

enum { eReplacePlain, eReplaceOffsets, eReplaceScale };

// Adds `offset` to a key's value, or mirrors it around the offset (offset - value, user slopes
// negated).
void ApplyOffset(VFCurveKey& key, float offset, bool mirror) {
    if (!mirror) {
        key.SetValue(key.GetValue() + offset);
        return;
    }
    key.SetValue(offset - key.GetValue());
    if (IsUserMode(key.GetTangentMode())) {
        key.SetDataFloat(0, -key.GetDataFloat(0));
        key.SetDataFloat(1, -key.GetDataFloat(1));
    }
}

}  // namespace

void VFCurve::ReplaceImpl(const VFCurve* source, VTime start, VTime stop, bool exactSpan, bool keyOnNoKey,
                          int mode, float a, float b, bool pasteMirror, bool afterMirror) {
    if (!source) return;
    if (source == this) {
        // Pasting a curve into itself: work from a copy of the keys as they were.
        VFCurve copy;
        copy.CopyFrom(this, true);
        ReplaceImpl(&copy, start, stop, exactSpan, keyOnNoKey, mode, a, b, pasteMirror, afterMirror);
        return;
    }
    const int sourceCount = source->mKeyCount;
    if (start.Get() <= VTime::kMinusInfinite && sourceCount > 0) start = source->KeyGetPtr(0)->mTime;
    if (stop == VTIME_INFINITE && sourceCount > 0) stop = source->KeyGetPtr(sourceCount - 1)->mTime;
    const bool startIsMin = start.Get() <= VTime::kMinusInfinite;
    const bool stopIsMax = stop == VTIME_INFINITE;

    // The source keys of the span: first one at or after start, last one at or before stop.
    int firstSource = 0, lastSource = -1;
    if (sourceCount > 0) {
        int hint = 0;
        double fraction;
        int k = source->KeyLocate(start.Get(), &hint, &fraction);
        firstSource = k < 0 ? 0 : (k >= sourceCount ? sourceCount : (fraction == 0.0 ? k : k + 1));
        k = source->KeyLocate(stop.Get(), &hint, &fraction);
        lastSource = k < 0 ? -1 : std::min(k, sourceCount - 1);
        if (!exactSpan && firstSource <= lastSource) {
            start = source->KeyGetPtr(firstSource)->mTime;
            stop = source->KeyGetPtr(lastSource)->mTime;
        }
    }
    const bool sourceHasKeys = firstSource <= lastSource;

    KeyModifyBegin();
    VTime beforeStart = SaturatedAdd(start, -1);
    VTime afterStop = SaturatedAdd(stop, 1);
    float leftDerivative = EvaluateLeftDerivative(start);
    float rightDerivative = EvaluateRightDerivative(stop);
    float valueBefore = Evaluate(beforeStart);
    float valueAfter = Evaluate(afterStop);
    if (mKeyCount > 0) KeyRemoveTimeRange(beforeStart, afterStop);

    int firstPasted = -1, lastPasted = -1;
    if (!sourceHasKeys && keyOnNoKey) {
        const unsigned cubic = VFCurveKey::eInterpolationCubic, user = VFCurveKey::eTangentUser;
        if (!startIsMin) {
            CandidateSet(beforeStart, valueBefore);
            CandidateKey(nullptr, cubic, user, false, true);
        }
        if (!stopIsMax) {
            CandidateSet(afterStop, valueAfter);
            CandidateKey(nullptr, cubic, user, false, true);
        }
        int index = -1;
        CandidateSet(start, source->mDefaultValue);
        CandidateKey(&index, cubic, user, false, true);
        firstPasted = index;
        CandidateSet(stop, source->mDefaultValue);
        CandidateKey(&index, cubic, user, false, true);
        lastPasted = index;
    } else {
        EmptyCandidate();
        const bool offsetPaste = mode == eReplaceOffsets && std::fabs(a) > 1e-7f;
        const double spanTicks = TickDelta(stop.Get(), start.Get());
        for (int j = firstSource; j <= lastSource; ++j) {
            VFCurveKey key = *source->KeyGetPtr(j);
            if (offsetPaste) ApplyOffset(key, a, pasteMirror);
            if (mode == eReplaceScale) {
                float f = spanTicks != 0.0 ? (float)(TickDelta(key.GetTime().Get(), start.Get()) / spanTicks)
                                           : 0.0f;
                key.SetValue(key.GetValue() * ((1.0f - f) * a + f * b));
            }
            int index = KeyAdd(key.GetTime(), key);
            if (index < 0) continue;
            if (firstPasted < 0) {
                firstPasted = index;
                if (offsetPaste && pasteMirror && index > 0) {
                    VFCurveKey* before = KeyGetPtr(index - 1);
                    if (IsUserMode(before->GetTangentMode()))
                        before->SetDataFloat(1, -before->GetDataFloat(1));
                }
            }
            lastPasted = index;
        }
    }

    // Keep the slopes the curve had at the edges of the span.
    if (firstPasted >= 0 && !startIsMin) {
        int index = firstPasted;
        if (KeyGetPtr(index)->mTime < start && index + 1 <= lastPasted) ++index;
        if (KeyGetPtr(index)->GetTangentMode() & (VFCurveKey::eTangentUser | VFCurveKey::eTangentAuto))
            KeySetLeftDerivative(index, leftDerivative);
    }
    if (lastPasted >= 0 && !stopIsMax) {
        if (KeyGetPtr(lastPasted)->GetTangentMode() & (VFCurveKey::eTangentUser | VFCurveKey::eTangentAuto))
            KeySetRightDerivative(lastPasted, rightDerivative);
    }

    if (mode == eReplaceOffsets && std::fabs(b) > 1e-7f && lastPasted >= 0) {
        for (int i = lastPasted + 1; i < mKeyCount; ++i) {
            VFCurveKey* key = KeyGetPtr(i);
            ApplyOffset(*key, b, afterMirror);
            KeyChanged(eEventKeyValue, i);
        }
        if (afterMirror && lastPasted + 1 < mKeyCount) {
            VFCurveKey* before = KeyGetPtr(lastPasted);
            if (IsUserMode(before->GetTangentMode())) before->SetDataFloat(1, -before->GetDataFloat(1));
        }
    }
    KeyModifyEnd();
}

void VFCurve::Replace(const VFCurve* source, VTime start, VTime stop, bool exactSpan, bool keyOnNoKey) {
    ReplaceImpl(source, start, stop, exactSpan, keyOnNoKey, eReplacePlain, 0.0f, 0.0f, false, false);
}

void VFCurve::ReplaceWithOffsets(const VFCurve* source, VTime start, VTime stop, float pasteOffset,
                                 float afterOffset, bool pasteMirror, bool afterMirror, bool exactSpan,
                                 bool keyOnNoKey) {
    ReplaceImpl(source, start, stop, exactSpan, keyOnNoKey, eReplaceOffsets, pasteOffset, afterOffset,
                pasteMirror, afterMirror);
}

void VFCurve::ReplaceWithScale(const VFCurve* source, VTime start, VTime stop, float startFactor,
                               float endFactor, bool exactSpan, bool keyOnNoKey) {
    ReplaceImpl(source, start, stop, exactSpan, keyOnNoKey, eReplaceScale, startFactor, endFactor, false,
                false);
}
