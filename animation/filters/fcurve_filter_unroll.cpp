#include "animation/filters/fcurve_filter_unroll.h"

#include <cmath>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_key_sync.h"
#include "animation/filters/filter_rotation.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {

const char* const kMessages[] = {"No key", "Left unchanged", "Need rotation curvenode", "Unexepected"};

const char* const kNeedRotation = "Unroll Filter, Works only on rotation CurveNodes.";
const char* const kNoKey = "Unroll Filter, No key to be filtered.";

// The index of the key of `curve` exactly at `time`, -1 when it has none there.
int KeyAt(const VFCurve& curve, VTime time, int* hint) {
    double f = curve.KeyFind(time, hint);
    if (f < 0.0 || f != std::floor(f)) return -1;
    return (int)f;
}

}  // namespace

bool VFCurveFilterUnroll::gUnrollInPlaceEnabled = true;

VFCurveFilterUnroll::VFCurveFilterUnroll() : VFCurveFilter("Unroll Filter", kMessages, 4) {
    Reset();
}

void VFCurveFilterUnroll::Reset() {
    VFCurveFilter::Reset();
    mQualityThreshold = VFCurveGetUnrollQualityThreshold();
    mQualityCheck = VFCurveGetUnrollQualityCheck();
}

bool VFCurveFilterUnroll::Apply(VFCurve&) {
    mError.SetLastError(2, kNeedRotation);
    return false;
}

bool VFCurveFilterUnroll::Apply(VFCurve** curves, int count) {
    if (count != 3 || !curves || !curves[0] || !curves[1] || !curves[2]) {
        mError.SetLastError(2, kNeedRotation);
        return false;
    }
    VFCurve* xyz[3] = {curves[0], curves[1], curves[2]};
    if (xyz[0]->KeyGetCount() + xyz[1]->KeyGetCount() + xyz[2]->KeyGetCount() == 0) {
        mError.SetLastError(0, kNoKey);
        return false;
    }
    return Unroll(xyz, 0);
}

bool VFCurveFilterUnroll::Apply(VFCurveNode& node, bool) {
    if (node.GetLayerType() != eFCURVENODE_LAYER_EULER_ROTATION || node.GetCount() != 3) {
        mError.SetLastError(2, kNeedRotation);
        return false;
    }
    VFCurve* xyz[3];
    for (int c = 0; c < 3; ++c) {
        xyz[c] = node.Get(c)->FCurveGet();
        if (!xyz[c]) {
            mError.SetLastError(2, kNeedRotation);
            return false;
        }
    }
    if (node.KeyGetCount(false) == 0) {
        mError.SetLastError(0, kNoKey);
        return false;
    }
    return Unroll(xyz, node.GetRotationOrder());
}

// The common case of captured motion: the three curves have their keys at the same times and the
// span holds all of them. Nothing then needs synchronising and the replacement of the whole key
// range by the filtered copy only changes values (the slopes kept at the edges belong to sides
// the end keys do not have), so the values are rewritten where they are. The one other effect of
// the replacement, the default value taken from the first key as the old keys are cleared, is
// kept. Answers false, having changed nothing, when the curves are not in that shape.
bool VFCurveFilterUnroll::UnrollInPlace(VFCurve* curves[3], int order, VTime start, VTime stop) {
    if (!gUnrollInPlaceEnabled) return false;
    if (curves[0] == curves[1] || curves[0] == curves[2] || curves[1] == curves[2]) return false;
    const int n = curves[0]->KeyGetCount();
    if (n < 2 || curves[1]->KeyGetCount() != n || curves[2]->KeyGetCount() != n) return false;
    if (start > curves[0]->KeyGetTime(0) || stop < curves[0]->KeyGetTime(n - 1)) return false;
    // Keys left out of order by raw time setters take the general path, whatever it makes of them.
    for (int i = 0; i < n; ++i) {
        VTime t = curves[0]->KeyGetTime(i);
        if (curves[1]->KeyGetTime(i) != t || curves[2]->KeyGetTime(i) != t) return false;
        if (i > 0 && !(curves[0]->KeyGetTime(i - 1) < t)) return false;
    }

    double previous[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < 3; ++c)
        curves[c]->KeyModifyBegin();
    const float firstValues[3] = {curves[0]->KeyGetValue(0), curves[1]->KeyGetValue(0),
                                  curves[2]->KeyGetValue(0)};
    for (int i = 0; i < n; ++i) {
        double triple[3], closest[3];
        for (int c = 0; c < 3; ++c)
            triple[c] = curves[c]->KeyGetPtr(i)->GetValue();
        EulerClosest(closest, triple, previous, order);
        for (int c = 0; c < 3; ++c)
            curves[c]->KeyGetPtr(i)->SetValue((float)closest[c]);
        if (!(mQualityCheck && UnrollQuality(closest, previous) < mQualityThreshold)) {
            for (int c = 0; c < 3; ++c)
                previous[c] = closest[c];
        }
    }
    for (int c = 0; c < 3; ++c) {
        // The replacement rebuilt the storage to fit the keys: room a reader reserved beyond them
        // is released here too, and the rest of the last block reads as empty keys.
        curves[c]->KeyShrink();
        const int blockEnd = ((n - 1) / VFCurve::eKeysPerBlock + 1) * VFCurve::eKeysPerBlock;
        for (int i = n; i < blockEnd; ++i)
            *curves[c]->KeyGetPtr(i) = VFCurveKey();
        // One value event for the whole range; the resize empties the candidate even inside an
        // outer bracket (the storage is already large enough).
        curves[c]->ResizeKeyBuffer(n);
        curves[c]->CallbackAddEvent(VFCurve::eEventKeyValue, 0);
        curves[c]->CallbackAddEvent(VFCurve::eEventKeyValue, n - 1);
        curves[c]->SetDefaultValue(firstValues[c]);
        curves[c]->KeyModifyEnd();
    }
    return true;
}

bool VFCurveFilterUnroll::Unroll(VFCurve* curves[3], int order) {
    // The span: the filter's, narrowed to the keys of the three curves.
    VTime first = VTIME_INFINITE, last = VTIME_MINUS_INFINITE;
    for (int c = 0; c < 3; ++c) {
        int count = curves[c]->KeyGetCount();
        if (count == 0) continue;
        if (curves[c]->KeyGetTime(0) < first) first = curves[c]->KeyGetTime(0);
        if (curves[c]->KeyGetTime(count - 1) > last) last = curves[c]->KeyGetTime(count - 1);
    }
    VTime start = mStart > first ? mStart : first;
    VTime stop = mStop < last ? mStop : last;

    if (UnrollInPlace(curves, order, start, stop)) return true;

    // The work happens on copies, so a failure leaves the curves as they were.
    CurvePtr copies[3] = {CurvePtr(NewCurveCopy(*curves[0], true)), CurvePtr(NewCurveCopy(*curves[1], true)),
                          CurvePtr(NewCurveCopy(*curves[2], true))};
    VFCurve* work[3] = {copies[0].get(), copies[1].get(), copies[2].get()};

    VFCurveFilterKeySync sync;
    sync.SetStartTime(start);
    sync.SetStopTime(stop);
    if (sync.NeedApply(work, 3)) sync.Apply(work, 3);

    VFCurve& x = *work[0];
    if (x.KeyGetCount() == 0) {
        mError.SetLastError(0, kNoKey);
        return false;
    }
    int i0 = (int)x.KeyFind(start);
    int i1 = (int)x.KeyFind(stop);

    // Y and Z are read at X's key times; after the synchronisation they have keys
    // there, except outside the span where the curves may still differ.
    int hints[3] = {0, 0, 0};
    auto readTriple = [&](int i, double triple[3], int keys[3]) {
        VTime t = x.KeyGetTime(i);
        for (int c = 0; c < 3; ++c) {
            keys[c] = c == 0 ? i : KeyAt(*work[c], t, &hints[c]);
            triple[c] = keys[c] >= 0 ? work[c]->KeyGetValue(keys[c]) : work[c]->Evaluate(t);
        }
    };

    double previous[3] = {0.0, 0.0, 0.0};
    int keys[3];
    if (i0 > 0) readTriple(i0, previous, keys);
    for (int i = i0; i <= i1; ++i) {
        double triple[3], closest[3];
        readTriple(i, triple, keys);
        EulerClosest(closest, triple, previous, order);
        for (int c = 0; c < 3; ++c) {
            if (keys[c] >= 0) work[c]->KeySetValue(keys[c], (float)closest[c]);
        }
        if (!(mQualityCheck && UnrollQuality(closest, previous) < mQualityThreshold)) {
            for (int c = 0; c < 3; ++c)
                previous[c] = closest[c];
        }
    }

    if (i0 != i1) {
        for (int c = 0; c < 3; ++c)
            curves[c]->Replace(work[c], start, stop);
    }
    return true;
}
