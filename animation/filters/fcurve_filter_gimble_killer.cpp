#include "animation/filters/fcurve_filter_gimble_killer.h"

#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_key_sync.h"
#include "animation/filters/filter_rotation.h"
#include "animation/filters/filter_support.h"
#include "base/vge_quaternion.h"

using namespace oxa_filter;

namespace {

const char* const kMessages[] = {"No key", "Left unchanged", "Not 3 curve", "Not rotation node"};

constexpr double kEulerStepLimit = 75.0;
constexpr double kShortestStep = 0.0008333333333333334;  // 1/1200 s
constexpr int kGrowth = 250;
// Keys inserted between two keys at most. Halving stops at 1/1200 s, but near
// gimbal lock a tiny turn can still be a large Euler step, and keys read from a
// file can lie hours apart.
constexpr int kMaxInserted = 1024;

double Distance2(const double a[3], const double b[3]) {
    double d = 0.0;
    for (int c = 0; c < 3; ++c)
        d += (a[c] - b[c]) * (a[c] - b[c]);
    return d;
}

// Appends keys to the three new curves, making room 250 keys at a time.
struct KeyWriter {
    VFCurve* curves[3];
    int capacity = 0;

    void Append(VTime time, const double triple[3]) {
        int count = curves[0]->KeyGetCount();
        if (count >= capacity) {
            capacity = count + kGrowth;
            for (VFCurve* curve : curves)
                curve->ResizeKeyBuffer(capacity);
        }
        for (int c = 0; c < 3; ++c)
            curves[c]->KeyAppendFast(time, (float)triple[c]);
    }
};

}  // namespace

VFCurveFilterGimbleKiller::VFCurveFilterGimbleKiller() : VFCurveFilter("Gimble Killer", kMessages, 4) {
    Reset();
}

void VFCurveFilterGimbleKiller::Reset() {
    VFCurveFilter::Reset();
    mKeySync = true;
}

bool VFCurveFilterGimbleKiller::Apply(VFCurve&) {
    mError.SetLastErrorID(2);
    return false;
}

bool VFCurveFilterGimbleKiller::Apply(VFCurve** curves, int count) {
    if (count != 3 || !curves || !curves[0] || !curves[1] || !curves[2]) {
        mError.SetLastError(2, "Need 3 VFCurve to apply a gimble killer filter.");
        return false;
    }
    VFCurve* xyz[3] = {curves[0], curves[1], curves[2]};
    return Kill(xyz, 0);
}

bool VFCurveFilterGimbleKiller::Apply(VFCurveNode& node, bool) {
    if (node.GetCount() != 3) {
        mError.SetLastError(2, "Gimble Killer. ioCurveNode does not have 3 childs.");
        return false;
    }
    if (node.GetLayerType() != eFCURVENODE_LAYER_EULER_ROTATION) {
        mError.SetLastError(3, "Gimble Killer. Not a Rotation node!");
        return false;
    }
    VFCurve* xyz[3];
    static const char* const kNames[3] = {"X", "Y", "Z"};
    for (int c = 0; c < 3; ++c) {
        int index = node.Find(kNames[c]);
        xyz[c] = index >= 0 ? node.Get(index)->FCurveGet() : nullptr;
        if (!xyz[c]) {
            mError.SetLastError(2, "Gimble Killer. ioCurveNode does not have X, Y and Z curves.");
            return false;
        }
    }
    return Kill(xyz, node.GetRotationOrder());
}

bool VFCurveFilterGimbleKiller::Kill(VFCurve* curves[3], int order) {
    VFCurve& x = *curves[0];
    if (x.KeyGetCount() == 0) {
        mError.SetLastErrorID(0);
        return false;
    }
    if (mKeySync) {
        VFCurveFilterKeySync sync;
        if (sync.NeedApply(curves, 3)) {
            sync.SetStartTime(mStart);
            sync.SetStopTime(mStop);
            sync.Apply(curves, 3);
        }
    }

    int i0 = GetStartKeyIndex(x);
    int count = x.KeyGetCount();
    CurvePtr created[3] = {CurvePtr(NewCurveCopy(*curves[0], false)),
                           CurvePtr(NewCurveCopy(*curves[1], false)),
                           CurvePtr(NewCurveCopy(*curves[2], false))};
    KeyWriter out{{created[0].get(), created[1].get(), created[2].get()}};

    // Y and Z are read at X's key times: their key there when they have one
    // (always after the synchronisation), their value there otherwise.
    int hints[3] = {0, 0, 0};
    auto readTriple = [&](int i, double triple[3]) {
        VTime t = x.KeyGetTime(i);
        triple[0] = x.KeyGetValue(i);
        for (int c = 1; c < 3; ++c)
            triple[c] = curves[c]->Evaluate(t, &hints[c]);
    };

    VTime t0 = x.KeyGetTime(i0);
    double previous[3];
    readTriple(i0, previous);
    out.capacity = kGrowth;
    for (int c = 0; c < 3; ++c) {
        VFCurve* curve = out.curves[c];
        curve->ResizeKeyBuffer(out.capacity);
        curve->KeyModifyBegin();
        double f = curves[c]->KeyFind(t0);
        if (f >= 0.0 && f == std::floor(f)) {
            curve->KeySet(0, curves[c], (int)f);
        } else {
            curve->KeySet(0, t0, (float)previous[c]);
        }
    }
    double tp = Seconds(t0);

    for (int i = i0 + 1; i < count; ++i) {
        double current[3];
        readTriple(i, current);
        VTime keyTime = x.KeyGetTime(i);
        double tc = Seconds(keyTime);
        double rotation[4][4];
        RotationFromTriple(rotation, current, order);
        for (int inserted = 0;; ++inserted) {
            double candidate[3];
            EulerClosest(candidate, current, previous, order);
            if (Distance2(candidate, previous) < kEulerStepLimit || tc - tp < kShortestStep ||
                inserted >= kMaxInserted) {
                out.Append(keyTime, candidate);
                for (int c = 0; c < 3; ++c)
                    previous[c] = candidate[c];
                tp = tc;
                break;
            }
            // The rotation from the previous orientation to this key's: C x
            // transpose(P).
            double p[4][4], pt[4][4], step[4][4];
            RotationFromTriple(p, previous, order);
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c)
                    pt[r][c] = p[c][r];
            }
            RotationProduct(step, rotation, pt);
            double q[4];
            VgeMatrixToQuaternion(q, step);
            // The short way round: blending towards the identity from the other sign
            // would take the long one.
            if (q[3] < 0.0) {
                for (double& component : q)
                    component = -component;
            }
            double fraction = 0.5;
            double tf = tp;
            for (;;) {
                tf = (1.0 - fraction) * tp + fraction * tc;
                double partial[4] = {fraction * q[0], fraction * q[1], fraction * q[2],
                                     fraction * q[3] + 1.0 - fraction};
                double m[4][4], oriented[4][4], triple[3];
                VgeQuaternionToMatrix(m, partial);
                RotationProduct(oriented, m, p);
                TripleFromRotation(triple, oriented, order);
                EulerClosest(candidate, triple, previous, order);
                if (Distance2(candidate, previous) >= kEulerStepLimit && tf - tp >= kShortestStep) {
                    fraction *= 0.5;
                    continue;
                }
                break;
            }
            out.Append(FromSeconds(tf), candidate);
            for (int c = 0; c < 3; ++c)
                previous[c] = candidate[c];
            tp = tf;
        }
    }

    for (int c = 0; c < 3; ++c)
        out.curves[c]->KeyModifyEnd();
    for (int c = 0; c < 3; ++c)
        curves[c]->Replace(out.curves[c], mStart, mStop);
    return true;
}
