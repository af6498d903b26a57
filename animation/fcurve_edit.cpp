// Editing many keys at once, moving keys across their neighbours while keeping the curve's shape,
// and reading the keys as the sequence that extrapolation repeats.

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_internal.h"

using namespace fcurve_detail;

namespace {
typedef VFCurveKey Key;
}  // namespace

// ---- Moving keys ----------------------------------------------------------------------------------------

int VFCurve::KeyMove(int index, VTime time) {
    const int n = mKeyCount;
    if (index < 0 || index >= n) return index;
    const VTime tolerance = GetTimeTolerance();
    const VTime current = KeyGetPtr(index)->mTime;
    KeyModifyBegin();
    bool clear;
    if (time >= current)
        clear = index == n - 1 || (__int128)KeyGetPtr(index + 1)->mTime.Get() - time.Get() >= tolerance.Get();
    else
        clear = index == 0 || (__int128)time.Get() - KeyGetPtr(index - 1)->mTime.Get() >= tolerance.Get();
    if (clear) {
        KeySetTime(index, time);
        KeyModifyEnd();
        return index;
    }
    // The key changes places. A time that falls exactly on another key is nudged later.
    for (;;) {
        int hint = index;
        double fraction;
        int k = KeyLocate(time.Get(), &hint, &fraction);
        if (k < 0 || k >= n || fraction != 0.0 || k == index) break;
        time += tolerance.Get() > 0 ? tolerance : VTime(1);
    }
    VFCurveKey record = *KeyGetPtr(index);
    VFCurveTangentInfo ownLeft = KeyGetLeftTangentInfo(index);
    bool hasFollower = index + 1 < n;
    VFCurveTangentInfo followerLeft;
    if (hasFollower) followerLeft = KeyGetLeftTangentInfo(index + 1);
    // The key that will follow the moved one at its new place keeps its left tangent too.
    int hint = index;
    double fraction;
    int k = KeyLocate(time.Get(), &hint, &fraction);
    int newFollower = k < 0 ? 0 : k + 1;
    if (newFollower == index) ++newFollower;
    bool hasNewFollower = newFollower < n && newFollower != index + 1;
    VFCurveTangentInfo newFollowerLeft;
    if (hasNewFollower) newFollowerLeft = KeyGetLeftTangentInfo(newFollower);

    KeyRemove(index);
    int newIndex = KeyAdd(time, record);
    KeySetLeftTangentInfo(newIndex, ownLeft);
    if (hasFollower) KeySetLeftTangentInfo(newIndex > index ? index : index + 1, followerLeft);
    if (hasNewFollower && newIndex + 1 < mKeyCount) KeySetLeftTangentInfo(newIndex + 1, newFollowerLeft);
    KeyModifyEnd();
    return newIndex;
}

bool VFCurve::KeyOffset(bool selectedOnly, VTime timeOffset, float valueOffset) {
    KeyModifyBegin();
    const int n = mKeyCount;
    if (n == 0) {
        if (!selectedOnly) SetDefaultValue(mDefaultValue + valueOffset);
    } else if (!selectedOnly) {
        for (int i = 0; i < n; ++i) {
            KeyIncTime(i, timeOffset);
            KeyIncValue(i, valueOffset);
        }
    } else if (timeOffset.Get() <= 0) {
        for (int i = 0; i < mKeyCount; ++i) {
            if (!KeyGetPtr(i)->GetSelected()) continue;
            int moved = KeyMove(i, KeyGetPtr(i)->mTime + timeOffset);
            KeyIncValue(moved, valueOffset);
        }
    } else {
        for (int i = mKeyCount - 1; i >= 0; --i) {
            if (!KeyGetPtr(i)->GetSelected()) continue;
            int moved = KeyMove(i, KeyGetPtr(i)->mTime + timeOffset);
            KeyIncValue(moved, valueOffset);
        }
    }
    KeyModifyEnd();
    return true;
}

// ---- Inserting ------------------------------------------------------------------------------------------

int VFCurve::KeyInsert(VTime time, int* lastIndex) {
    if (mKeyCount == 0) {
        KeyAdd(time, lastIndex);
        return 0;
    }
    int* hint = lastIndex ? lastIndex : &mLastIndex;
    double fraction;
    int k = KeyLocate(time.Get(), hint, &fraction);
    if (k >= 0 && k < mKeyCount && fraction == 0.0) return k;
    int i = std::min(k + 1, mKeyCount - 1);
    const Key* model = KeyGetPtr(i > 0 ? i - 1 : 0);
    unsigned interpolation = model->GetInterpolation();
    unsigned tangentMode = model->GetTangentMode();
    CandidateEvaluate(time, hint);
    int index = i;
    CandidateKey(&index, interpolation, tangentMode, false, true);
    return index;
}

void VFCurve::KeyInsertCurve(const VFCurve* source, VTime time, float leftDerivative, float leftWeight,
                             bool leftWeighted) {
    VFCurveTangentInfo info;
    info.mDerivative = leftDerivative;
    info.mWeight = leftWeight;
    info.mWeighted = leftWeighted;
    KeyInsertCurve(source, time, info);
}

void VFCurve::KeyInsertCurve(const VFCurve* source, VTime time, const VFCurveTangentInfo& leftTangent) {
    if (!source || source->mKeyCount == 0) return;
    if (source == this) {
        // Inserting a curve into itself: work from a copy of the keys as they were.
        VFCurve copy;
        copy.CopyFrom(this, true);
        KeyInsertCurve(&copy, time, leftTangent);
        return;
    }
    const int m = source->mKeyCount;
    const VTime offset = time - source->KeyGetPtr(0)->mTime;
    KeyModifyBegin(mKeyCount + m);
    if (mKeyCount == 0 || time > KeyGetPtr(mKeyCount - 1)->mTime) {
        int first = mKeyCount;
        for (int j = 0; j < m; ++j)
            KeyAppend(source->KeyGetPtr(j)->mTime + offset, source, j);
        KeySetLeftTangentInfo(first, leftTangent);
    } else {
        for (int j = 0; j < m; ++j) {
            const Key* sourceKey = source->KeyGetPtr(j);
            int n = KeyAdd(sourceKey->mTime + offset, *sourceKey);
            if (n < 0) continue;
            if (n > 0) {
                // The next-left data of key n-1 described the key now after key n.
                Key* prev = KeyGetPtr(n - 1);
                Key* key = KeyGetPtr(n);
                key->mData[1] = prev->mData[1];
                key->SetDataFloat(3, prev->GetDataFloat(3));
                key->SetTangentWeightMode(prev->mFlags, Key::eWeightedNextLeft);
            }
            if (j > 0) {
                if (source->KeyIsLeftWeighted(j))
                    KeySetLeftWeight(n, source->KeyGetLeftWeight(j));
                else
                    KeySetLeftWeighted(n, false);
            }
            KeySetLeftTangentInfo(n, j > 0 ? source->KeyGetLeftTangentInfo(j) : leftTangent);
        }
    }
    EmptyCandidate();
    KeyModifyEnd();
}

// ---- Values of many keys ------------------------------------------------------------------------------

void VFCurve::KeySetValueAll(bool selectedOnly, float value) {
    KeyModifyBegin();
    if (mKeyCount == 0 && !selectedOnly) SetDefaultValue(value);
    for (int i = 0; i < mKeyCount; ++i)
        if (!selectedOnly || KeyGetPtr(i)->GetSelected()) KeySetValue(i, value);
    KeyModifyEnd();
}

void VFCurve::KeyMultValueAll(bool selectedOnly, float factor) {
    KeyModifyBegin();
    if (!selectedOnly) SetDefaultValue(mDefaultValue * factor);
    for (int i = 0; i < mKeyCount; ++i)
        if (!selectedOnly || KeyGetPtr(i)->GetSelected()) KeyMultValue(i, factor);
    KeyModifyEnd();
}

void VFCurve::KeyMultValueAndDerivativeAll(bool selectedOnly, float factor) {
    KeyModifyBegin();
    if (!selectedOnly) SetDefaultValue(mDefaultValue * factor);
    for (int i = 0; i < mKeyCount; ++i) {
        if (selectedOnly && !KeyGetPtr(i)->GetSelected()) continue;
        KeyMultValue(i, factor);
        KeyMultDerivative(i, factor);
    }
    KeyModifyEnd();
}

void VFCurve::KeyMultDerivativeAll(bool selectedOnly, float factor) {
    KeyModifyBegin();
    for (int i = 0; i < mKeyCount; ++i)
        if (!selectedOnly || KeyGetPtr(i)->GetSelected()) KeyMultDerivative(i, factor);
    KeyModifyEnd();
}

// ---- Selection and modes of many keys -----------------------------------------------------------------

int VFCurve::KeyGetSelectionCount() const {
    int count = 0;
    for (int i = 0; i < mKeyCount; ++i)
        if (KeyGetPtr(i)->GetSelected()) ++count;
    return count;
}

void VFCurve::KeySelectAll() {
    KeyModifyBegin();
    for (int i = 0; i < mKeyCount; ++i)
        if (!KeyGetPtr(i)->GetSelected()) KeySetSelected(i, true);
    KeyModifyEnd();
}

void VFCurve::KeyUnselectAll() {
    KeyModifyBegin();
    for (int i = 0; i < mKeyCount; ++i)
        if (KeyGetPtr(i)->GetSelected()) KeySetSelected(i, false);
    KeyModifyEnd();
}

void VFCurve::KeyClearEditStateAll() {
    KeyModifyBegin();
    for (int i = 0; i < mKeyCount; ++i)
        if (KeyGetPtr(i)->GetEditState()) KeySetEditState(i, 0);
    KeyModifyEnd();
}

void VFCurve::SetAllKeysMode(bool selectedOnly, unsigned value, bool interpolation) {
    const int n = mKeyCount;
    // All slopes are read before any key changes: a key's new mode also changes how the slot
    // holding its left side is read, so slopes read during the walk would already be off.
    std::vector<float> left((size_t)n), right((size_t)n);
    for (int i = 0; i < n; ++i) {
        left[(size_t)i] = KeyGetLeftDerivative(i);
        right[(size_t)i] = KeyGetRightDerivative(i);
    }
    KeyModifyBegin();
    for (int i = n - 1; i >= 0; --i) {
        Key* key = KeyGetPtr(i);
        if (selectedOnly && !key->GetSelected()) continue;
        if ((interpolation ? key->GetInterpolation() : key->GetTangentMode()) == value) continue;
        bool hasNext = i + 1 < n;
        key->mData[0] = 0.0f;
        key->mData[1] = 0.0f;
        if (interpolation)
            key->SetInterpolation(value);
        else
            key->SetTangentMode(value);
        key->SetEditState(0);
        if (hasNext) KeyGetPtr(i + 1)->SetEditState(0);
        KeyChanged(eEventKeyOther, i);
        // Written back in the new mode (auto sides take the matching auto values).
        if (i > 0) KeySetLeftDerivative(i, left[(size_t)i]);
        KeySetRightDerivative(i, right[(size_t)i]);
        if (hasNext) KeySetLeftDerivative(i + 1, left[(size_t)i + 1]);
    }
    KeyModifyEnd();
}

void VFCurve::KeySetInterpolationAll(bool selectedOnly, unsigned interpolation) {
    SetAllKeysMode(selectedOnly, interpolation, true);
}

void VFCurve::KeySetTangentModeAll(bool selectedOnly, unsigned tangentMode) {
    SetAllKeysMode(selectedOnly, tangentMode, false);
}

// ---- Expanded keys --------------------------------------------------------------------------------------

int VFCurve::KeyGetIndexAll(int expandedIndex, int* zone) const {
    int z;
    int result;
    const int n = mKeyCount;
    const int64_t e = expandedIndex;
    if (n == 0) {
        if (zone) *zone = eZoneBefore;
        return -1;
    }
    const int64_t span = n - 1;
    // Counts read as unsigned: -1 repeats without end.
    const int64_t pre = (int64_t)(uint32_t)mPreExtrapolationCount;
    const int64_t post = (int64_t)(uint32_t)mPostExtrapolationCount;
    const int64_t preKeys = span == 0 ? 0 : pre * span;
    const int64_t postKeys = span == 0 ? 0 : post * span;
    if (e < 0) {
        z = eZoneBefore, result = 0;
    } else if (e < preKeys) {
        z = eZonePre;
        int64_t r = e % span;
        switch (mPreExtrapolation) {
            case eExtrapolationRepetition:
                result = (int)r;
                break;
            case eExtrapolationMirrorRepetition:
                result = ((pre - e / span) % 2 == 1) ? (int)(n - 1 - r) : (int)r;
                break;
            default:
                result = 0;
        }
    } else if (e < preKeys + n) {
        z = eZoneKeys, result = (int)(e - preKeys);
    } else if (e >= preKeys + n + postKeys) {
        z = eZoneAfter, result = n - 1;
    } else {
        z = eZonePost;
        // Copy c (1 next to the keys) holds positions 1..span; a copy's last position is the
        // next copy's first, so it counts with that copy: mirrored copies are the odd ones.
        int64_t r = (n - preKeys - 1 + e) % span;
        int64_t cycle = (e - preKeys - n + 1) / span + 1;
        switch (mPostExtrapolation) {
            case eExtrapolationRepetition:
                result = (int)r;
                break;
            case eExtrapolationMirrorRepetition:
                result = (cycle % 2 == 1) ? (int)(n - 1 - r) : (int)r;
                break;
            default:
                result = n - 1;
        }
    }
    if (zone) *zone = z;
    return result;
}

VFCurveKey* VFCurve::KeyGetPtrAll(int expandedIndex) {
    int index = KeyGetIndexAll(expandedIndex);
    return index < 0 ? nullptr : KeyGetPtr(index);
}

VTime VFCurve::KeyGetTimeAll(int expandedIndex) const {
    const int n = mKeyCount;
    if (n == 0) return VTime(0);
    int zone;
    int index = KeyGetIndexAll(expandedIndex, &zone);
    const int64_t t0 = KeyGetPtr(0)->mTime.Get();
    const int64_t tN = KeyGetPtr(n - 1)->mTime.Get();
    const int64_t ti = KeyGetPtr(index)->mTime.Get();
    const __int128 span = (__int128)tN - t0;
    const int64_t keySpan = n - 1;
    const int64_t e = expandedIndex;
    switch (zone) {
        case eZonePre: {
            const int64_t pre = (int64_t)(uint32_t)mPreExtrapolationCount;
            int64_t distance = pre - e / keySpan;  // 1 for the copy next to the keys
            if (mPreExtrapolation == eExtrapolationRepetition)
                return VTime(SaturateTicks(ti - span * distance));
            if (mPreExtrapolation == eExtrapolationMirrorRepetition) {
                if (distance % 2 == 1)
                    return VTime(SaturateTicks(t0 - span * distance + ((__int128)tN - ti)));
                return VTime(SaturateTicks(ti - span * distance));
            }
            return VTime(t0);
        }
        case eZonePost: {
            const int64_t preKeys = (int64_t)(uint32_t)mPreExtrapolationCount * keySpan;
            int64_t cycle = (e - preKeys - n + 1) / keySpan + 1;  // 1 for the copy next to the keys
            __int128 copyStart = (__int128)tN + span * (cycle - 1);
            if (mPostExtrapolation == eExtrapolationMirrorRepetition && cycle % 2 == 1)
                return VTime(SaturateTicks(copyStart + ((__int128)tN - ti)));
            if (mPostExtrapolation == eExtrapolationRepetition ||
                mPostExtrapolation == eExtrapolationMirrorRepetition)
                return VTime(SaturateTicks(copyStart + ((__int128)ti - t0)));
            return VTime(tN);
        }
        case eZoneAfter:
            return VTime(tN);
        case eZoneBefore:
            return VTime(t0);
        default:
            return VTime(ti);
    }
}

// ---- Inspection -----------------------------------------------------------------------------------------

void VFCurve::KeyGetSpacing(VTime& average, VTime& smallest, VTime& largest) const {
    const int n = mKeyCount;
    if (n < 2) {
        average = VTIME_INFINITE;
        smallest = VTIME_INFINITE;
        largest = VTime(0);
        return;
    }
    int64_t low = INT64_MAX, high = 0;
    for (int i = 0; i + 1 < n; ++i) {
        int64_t d = SaturateTicks((__int128)KeyGetPtr(i + 1)->mTime.Get() - KeyGetPtr(i)->mTime.Get());
        low = std::min(low, d);
        high = std::max(high, d);
    }
    smallest = VTime(low);
    largest = VTime(high);
    average =
        VTime((int64_t)(((__int128)KeyGetPtr(n - 1)->mTime.Get() - KeyGetPtr(0)->mTime.Get()) / (n - 1)));
}

bool VFCurve::KeyIsRegular(VTime& average, VTime& smallest, VTime& largest) const {
    KeyGetSpacing(average, smallest, largest);
    if (mKeyCount < 2) return false;
    return SecondsBetween(largest.Get(), smallest.Get()) <= 1e-4;
}

bool VFCurve::KeyIsDefaultAuto(int index) const {
    const Key* key = KeyGetPtr(index);
    if (!(key->GetInterpolation() & Key::eInterpolationCubic) || !(key->GetTangentMode() & Key::eTangentAuto))
        return false;
    return KeyGetLeftAuto(index) == 0.0f && KeyGetRightAuto(index) == 0.0f && !KeyIsRightWeighted(index);
}

bool VFCurve::HasFlatAutoKey() const {
    for (int i = 1; i < mKeyCount; ++i) {
        const Key* key = KeyGetPtr(i);
        if (key->GetInterpolation() == Key::eInterpolationCubic &&
            key->GetTangentMode() == Key::eTangentAuto && key->mData[0] == 0.0f && key->mData[1] == 0.0f)
            return true;
    }
    return false;
}

bool VFCurve::KeyGetPeriod(VTime& firstTime, VTime& period) const {
    period = VTime(0);
    const int n = mKeyCount;
    if (n < 2) return false;
    const unsigned interpolation = KeyGetPtr(0)->GetInterpolation();
    auto spacing = [this](int i) {
        return SaturateTicks((__int128)KeyGetPtr(i + 1)->mTime.Get() - KeyGetPtr(i)->mTime.Get());
    };
    const int64_t step = spacing(0);
    int64_t previous = step;
    for (int i = 0; i < n; ++i) {
        const Key* key = KeyGetPtr(i);
        if (key->GetInterpolation() != interpolation) return false;
        if (interpolation == Key::eInterpolationCubic && !IsAutoMode(key->GetTangentMode())) return false;
        if (i + 1 < n) {
            // Consecutive spacings agree within one tick (frame times rounded to ticks).
            int64_t d = spacing(i);
            if ((__int128)d - previous > 1 || (__int128)previous - d > 1) return false;
            previous = d;
        }
    }
    firstTime = KeyGetPtr(0)->mTime;
    period = VTime(step);
    return true;
}
