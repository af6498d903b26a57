// The unroll filter and the key removal of the reducers work in place on the common shapes of
// captured motion. These tests hold them to the results of the general path through copies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "animation/filters/fcurve_filter_constant_key_reducer.h"
#include "animation/filters/fcurve_filter_unroll.h"
#include "animation/filters/filter_support.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Keys (time, value, flags, the four data words), the count and the default value, bit for bit;
// with `slots`, also the unused rest of the last block.
void ExpectSameCurve(const VFCurve& a, const VFCurve& b, bool slots = false) {
    ASSERT_EQ(a.KeyGetCount(), b.KeyGetCount());
    EXPECT_TRUE(SameBits(a.GetDefaultValue(), b.GetDefaultValue()));
    int end = a.KeyGetCount();
    if (slots && end > 0) end = ((end - 1) / VFCurve::eKeysPerBlock + 1) * VFCurve::eKeysPerBlock;
    for (int i = 0; i < end; ++i) {
        const VFCurveKey& x = *a.KeyGetPtr(i);
        const VFCurveKey& y = *b.KeyGetPtr(i);
        ASSERT_EQ(x.GetTime(), y.GetTime()) << "key " << i;
        ASSERT_TRUE(SameBits(x.GetValue(), y.GetValue())) << "key " << i;
        ASSERT_EQ(x.GetFlags(), y.GetFlags()) << "key " << i;
        for (int d = 0; d < 4; ++d)
            ASSERT_TRUE(SameBits(x.GetDataPtr()[d], y.GetDataPtr()[d])) << "key " << i << " data " << d;
    }
}

CurvePtr Copy(const VFCurve& source) {
    CurvePtr copy(VFCurve::Create());
    copy->CopyFrom(&source, true);
    return copy;
}

// A curve of `count` keys of every kind: constant, linear and cubic, with auto, user, break and
// TCB tangents, weights and velocities.
CurvePtr MixedCurve(std::mt19937& random, int count) {
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    std::uniform_int_distribution<int> pick(0, 99);
    CurvePtr curve(VFCurve::Create());
    curve->SetDefaultValue(7.5f);
    curve->ResizeKeyBuffer(count);
    int64_t t = 0;
    for (int i = 0; i < count; ++i) {
        t += kFrame * (1 + pick(random) % 3);
        const int kind = pick(random);
        // Runs of equal values give the reducer something to remove.
        const float v = pick(random) < 60 && i > 0 ? curve->KeyGetValue(i - 1) : value(random);
        if (kind < 8) {
            curve->KeySetTCB(i, VTime(t), v, value(random) / 50, value(random) / 50, value(random) / 50);
        } else {
            const unsigned interpolation = kind < 16   ? VFCurveKey::eInterpolationConstant
                                           : kind < 28 ? VFCurveKey::eInterpolationLinear
                                                       : VFCurveKey::eInterpolationCubic;
            static const unsigned kTangents[] = {VFCurveKey::eTangentAuto, VFCurveKey::eTangentAuto,
                                                 VFCurveKey::eTangentAutoBreak, VFCurveKey::eTangentUser,
                                                 VFCurveKey::eTangentUserBreak};
            const unsigned tangent = kTangents[pick(random) % 5];
            const bool flat = pick(random) < 50;
            const unsigned weights = (unsigned)(pick(random) % 4) << 24;
            curve->KeySet(i, VTime(t), v, interpolation, tangent, flat ? 0.0f : value(random) / 10,
                          flat ? 0.0f : value(random) / 10, weights, 0.2f + pick(random) / 200.0f,
                          0.2f + pick(random) / 200.0f, value(random), value(random));
            if (pick(random) < 20) curve->KeySetTangentVelocityMode(i, (unsigned)(pick(random) % 4) << 28);
        }
    }
    return curve;
}

// The removal as the general path did it: the survivors into a new curve, the left sides after
// each removed run restored, the new curve copied back.
void RemoveThroughCopy(VFCurve& curve, const std::vector<char>& removed) {
    int count = curve.KeyGetCount();
    int survivors = 0;
    for (int i = 0; i < count; ++i)
        survivors += removed[(size_t)i] ? 0 : 1;
    if (survivors == count) return;
    CurvePtr kept(VFCurve::Create());
    kept->CopyFrom(&curve, false);
    kept->ResizeKeyBuffer(survivors);
    kept->KeyModifyBegin();
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (!removed[(size_t)i]) kept->KeySet(n++, curve.KeyGet(i));
    }
    n = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        if (n > 0 && removed[(size_t)i - 1]) kept->KeySetLeftTangentInfo(n, curve.KeyGetLeftTangentInfo(i));
        ++n;
    }
    kept->KeyModifyEnd();
    curve.CopyFrom(kept.get(), true);
}

// Three rotation curves keyed every frame, some channels spinning through +-180.
void RotationCurves(std::mt19937& random, int frames, CurvePtr out[3]) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int c = 0; c < 3; ++c) {
        std::vector<float> values((size_t)frames);
        const double speed = 0.05 + 0.2 * std::fabs(unit(random)), phase = 3 * unit(random);
        const bool spin = unit(random) > 0.0;
        for (int f = 0; f < frames; ++f) {
            double v = 170 * std::sin(speed * f + phase);
            if (spin) v = std::remainder(13.0 * f + 50 * phase, 360.0);
            values[(size_t)f] = (float)v;
        }
        out[c] = FrameCurve(values);
        out[c]->SetDefaultValue(-3.0f);
    }
}

}  // namespace

TEST(filter_inplace, RemoveMarkedKeysMatchesTheCopyPath) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> pick(0, 99);
    for (int round = 0; round < 300; ++round) {
        const int count = 1 + pick(random) % 90;
        CurvePtr original = MixedCurve(random, count);
        std::vector<char> removed((size_t)count);
        const int rate = pick(random);
        for (char& r : removed)
            r = pick(random) < rate ? 1 : 0;
        if (round % 50 == 0) removed.assign((size_t)count, 1);  // every key
        // Keys left out of order by a raw time setter.
        if (round % 7 == 3 && count > 3) original->KeySetTime(1, original->KeyGetTime(count - 1));
        CurvePtr inPlace = Copy(*original), throughCopy = Copy(*original);
        oxa_filter::RemoveMarkedKeys(*inPlace, removed);
        RemoveThroughCopy(*throughCopy, removed);
        ExpectSameCurve(*inPlace, *throughCopy, true);
        EXPECT_TRUE(inPlace->IsStorageValid());
        if (HasFailure()) return;
    }
}

TEST(filter_inplace, ConstantKeyReducerOnMixedKeys) {
    // The reducer's result through the in-place removal equals the removal through a copy of the
    // keys it chose (those absent from the result).
    std::mt19937 random(17);
    for (int round = 0; round < 100; ++round) {
        CurvePtr curve = MixedCurve(random, 20 + round);
        CurvePtr reduced = Copy(*curve);
        VFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(*reduced);
        if (reduced->KeyGetCount() == 0) continue;
        std::vector<char> removed((size_t)curve->KeyGetCount(), 1);
        int k = 0;
        for (int i = 0; i < curve->KeyGetCount() && k < reduced->KeyGetCount(); ++i) {
            if (curve->KeyGetTime(i) == reduced->KeyGetTime(k)) {
                removed[(size_t)i] = 0;
                ++k;
            }
        }
        RemoveThroughCopy(*curve, removed);
        ExpectSameCurve(*reduced, *curve);
        if (HasFailure()) return;
    }
}

TEST(filter_inplace, UnrollMatchesTheCopyPath) {
    std::mt19937 random(23);
    for (int round = 0; round < 40; ++round) {
        CurvePtr curves[3];
        RotationCurves(random, 2 + round * 7, curves);
        CurvePtr general[3] = {Copy(*curves[0]), Copy(*curves[1]), Copy(*curves[2])};
        VFCurve* fast[3] = {curves[0].get(), curves[1].get(), curves[2].get()};
        VFCurve* slow[3] = {general[0].get(), general[1].get(), general[2].get()};

        VFCurveFilterUnroll filter;
        filter.SetQualityCheck(round % 2 == 1);
        ASSERT_TRUE(filter.Apply(fast, 3));
        VFCurveFilterUnroll::SetInPlaceEnabled(false);
        bool slowAnswer = filter.Apply(slow, 3);
        VFCurveFilterUnroll::SetInPlaceEnabled(true);
        ASSERT_TRUE(slowAnswer);
        for (int c = 0; c < 3; ++c)
            ExpectSameCurve(*curves[c], *general[c], true);
        if (HasFailure()) return;
    }
}

TEST(filter_inplace, UnrollNodeInEveryOrderMatchesTheCopyPath) {
    std::mt19937 random(29);
    for (int order = 0; order < 6; ++order) {
        NodePtr nodes[2];
        CurvePtr curves[3];
        RotationCurves(random, 120, curves);
        for (NodePtr& node : nodes) {
            node.reset(MakeChannel("R", eFCURVENODE_LAYER_EULER_ROTATION));
            node->SetRotationOrder(order);
            for (int c = 0; c < 3; ++c)
                Axis(node.get(), c)->CopyFrom(curves[c].get(), true);
        }
        VFCurveFilterUnroll filter;
        ASSERT_TRUE(filter.Apply(*nodes[0], true));
        VFCurveFilterUnroll::SetInPlaceEnabled(false);
        bool slowAnswer = filter.Apply(*nodes[1], true);
        VFCurveFilterUnroll::SetInPlaceEnabled(true);
        ASSERT_TRUE(slowAnswer);
        for (int c = 0; c < 3; ++c)
            ExpectSameCurve(*Axis(nodes[0].get(), c), *Axis(nodes[1].get(), c));
    }
}
