#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "oxa_codec/voxa.h"

namespace {

VTime Sec(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

std::vector<uint8_t> WriteFile(bool binary, const std::function<void(VOxa&)>& body, int version = 5000) {
    VOxa oxa;
    EXPECT_TRUE(oxa.MemoryCreate(binary));
    oxa.SectionWriteBegin("Curves", version);
    body(oxa);
    oxa.SectionWriteEnd();
    EXPECT_TRUE(oxa.FileClose());
    return std::vector<uint8_t>(oxa.GetMemoryData(), oxa.GetMemoryData() + oxa.GetMemorySize());
}

// Opens the file's first section for reading.
void OpenFile(VOxa& oxa, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
}

void ExpectSameCurve(const VFCurve& a, const VFCurve& b) {
    EXPECT_EQ(a.GetDefaultValue(), b.GetDefaultValue());
    EXPECT_EQ(a.GetPreExtrapolation(), b.GetPreExtrapolation());
    EXPECT_EQ(a.GetPreExtrapolationCount(), b.GetPreExtrapolationCount());
    EXPECT_EQ(a.GetPostExtrapolation(), b.GetPostExtrapolation());
    EXPECT_EQ(a.GetPostExtrapolationCount(), b.GetPostExtrapolationCount());
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(a.GetColor()[c], b.GetColor()[c]);
    ASSERT_EQ(a.KeyGetCount(), b.KeyGetCount());
    for (int i = 0; i < a.KeyGetCount(); ++i) {
        const VFCurveKey *x = a.KeyGetPtr(i), *y = b.KeyGetPtr(i);
        EXPECT_EQ(x->GetTime(), y->GetTime()) << i;
        EXPECT_EQ(x->GetValue(), y->GetValue()) << i;
        EXPECT_EQ(x->GetFlags(), y->GetFlags()) << i;
        if (x->GetTangentMode() == VFCurveKey::eTangentTCB &&
            x->GetInterpolation() == VFCurveKey::eInterpolationCubic) {
            for (int d = 0; d < 3; ++d)
                EXPECT_EQ(x->GetDataRaw(d), y->GetDataRaw(d)) << i;
        } else {
            for (int d = 0; d < 6; ++d)
                EXPECT_EQ(x->GetDataFloat(d), y->GetDataFloat(d)) << i << " data " << d;
        }
    }
}

// One key of every kind the writer knows.
void FillVaried(VFCurve& curve) {
    curve.SetDefaultValue(1.5f);
    curve.ResizeKeyBuffer(9);
    curve.KeySet(0, Sec(-1), 2.0f, VFCurveKey::eInterpolationConstant, 0);
    curve.KeySet(1, Sec(0), 3.0f, VFCurveKey::eInterpolationConstant, VFCurveKey::eConstantNext);
    curve.KeySet(2, Sec(0.5), -1.0f, VFCurveKey::eInterpolationLinear, 0);
    // Unbroken auto keys keep opposite auto values on their two sides (key 4: 20 and -20).
    curve.KeySet(3, Sec(1), 4.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 0.0f, -20.0f);
    curve.KeySet(4, Sec(1.25), 5.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 20.0f,
                 -35.0f);
    curve.KeySet(5, Sec(2), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAutoBreak, 100.0f,
                 100.0f, VFCurveKey::eWeightedRight, 0.6f);
    curve.KeySet(6, Sec(2.5), 1.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 3.0f, -2.0f,
                 VFCurveKey::eWeightedAll, 0.25f, 0.75f);
    curve.KeySet(7, Sec(3), 2.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak, 1.0f, 7.0f,
                 VFCurveKey::eWeightedNextLeft, kFCurveDefaultWeight, 0.5f);
    curve.KeySetTCB(8, Sec(4), -3.0f, 0.25f, -0.5f, 0.125f);
    curve.SetPreExtrapolation(VFCurve::eExtrapolationRepetition);
    curve.SetPreExtrapolationCount(2);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationMirrorRepetition);
    curve.SetPostExtrapolationCount(-1);
    curve.SetColor(0.25f, 0.5f, 0.75f);
}

class FCurveStore : public ::testing::TestWithParam<bool> {
protected:
    bool Binary() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(BinaryAndText, FCurveStore, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Binary" : "Text";
                         });

TEST_P(FCurveStore, RoundTripGivesTheSameCurve) {
    for (int version : {5000, 1000}) {  // ticks, and times as seconds in older sections
        VFCurve curve;
        FillVaried(curve);
        std::vector<uint8_t> bytes = WriteFile(
            Binary(), [&](VOxa& oxa) { EXPECT_TRUE(curve.OxaStore(&oxa)); }, version);
        VOxa oxa;
        OpenFile(oxa, bytes);
        VFCurve back;
        ASSERT_TRUE(back.Retrieve(&oxa));
        if (version == 5000) {
            ExpectSameCurve(curve, back);
        } else {
            ASSERT_EQ(back.KeyGetCount(), curve.KeyGetCount());
            for (int i = 0; i < curve.KeyGetCount(); ++i)
                EXPECT_NEAR(back.KeyGetTime(i).GetSecondDouble(), curve.KeyGetTime(i).GetSecondDouble(),
                            1e-9);
        }
    }
}

TEST_P(FCurveStore, WhatIsWritten) {
    // Without keys: the default value and the colour, nothing else.
    VFCurve empty;
    empty.SetPostExtrapolation(VFCurve::eExtrapolationRepetition);
    std::vector<uint8_t> bytes = WriteFile(Binary(), [&](VOxa& oxa) { empty.OxaStore(&oxa, false, true); });
    VOxa oxa;
    OpenFile(oxa, bytes);
    EXPECT_TRUE(oxa.FieldReadBegin("Default"));
    oxa.FieldReadEnd();
    EXPECT_TRUE(oxa.FieldReadBegin("Color"));
    oxa.FieldReadEnd();
    EXPECT_FALSE(oxa.FieldReadBegin("KeyCount"));
    EXPECT_FALSE(oxa.FieldReadBegin("Post-Extrapolation"));

    VFCurve curve;
    curve.ResizeKeyBuffer(2);
    curve.KeySet(0, Sec(0), 1.0f, VFCurveKey::eInterpolationLinear, 0);
    curve.KeySet(1, Sec(1), 2.0f);  // cubic auto with zero auto values
    curve.SetPostExtrapolationCount(3);
    bytes = WriteFile(Binary(), [&](VOxa& o) { curve.OxaStore(&o, false, false); });
    VOxa reader;
    OpenFile(reader, bytes);
    EXPECT_FALSE(reader.FieldReadBegin("Color"));
    EXPECT_EQ(reader.FieldReadIOrDefault("KeyVer", 0), 4004);
    EXPECT_EQ(reader.FieldReadIOrDefault("KeyCount", 0), 2);
    ASSERT_TRUE(reader.FieldReadBegin("Key"));
    EXPECT_EQ(reader.FieldReadRemaining(), 3 + 4);  // time, value, "L"; time, value, "U", "a"
    reader.FieldReadT();
    reader.FieldReadD();
    EXPECT_EQ(reader.FieldReadC(), 'L');
    reader.FieldReadT();
    reader.FieldReadD();
    EXPECT_EQ(reader.FieldReadC(), 'U');
    EXPECT_EQ(reader.FieldReadC(), 'a');
    reader.FieldReadEnd();
    EXPECT_FALSE(reader.FieldReadBegin("Pre-Extrapolation"));  // mode 1, count 0
    ASSERT_TRUE(reader.FieldReadBegin("Post-Extrapolation"));
    ASSERT_TRUE(reader.FieldReadBlockBegin());
    EXPECT_EQ(reader.FieldReadCOrDefault("Type", 0), 'C');
    EXPECT_EQ(reader.FieldReadIOrDefault("Repetition", 0), 3);
    reader.FieldReadBlockEnd();
    reader.FieldReadEnd();

    // Only the default value.
    bytes = WriteFile(Binary(), [&](VOxa& o) { curve.OxaStore(&o, true, true); });
    VOxa only;
    OpenFile(only, bytes);
    EXPECT_TRUE(only.FieldReadBegin("Default"));
    only.FieldReadEnd();
    EXPECT_FALSE(only.FieldReadBegin("Color"));
    EXPECT_FALSE(only.FieldReadBegin("Key"));
}

TEST_P(FCurveStore, VersionFiveWritesSlopes) {
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    curve.KeySet(0, Sec(0), 0.0f);
    curve.KeySet(1, Sec(1), 3.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 40.0f, -40.0f);
    curve.KeySet(2, Sec(2), 1.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 2.0f, 2.0f);
    std::vector<uint8_t> bytes = WriteFile(Binary(), [&](VOxa& o) { curve.OxaStore(&o, false, true, true); });
    VOxa oxa;
    OpenFile(oxa, bytes);
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    oxa.FieldReadT(), oxa.FieldReadD();
    EXPECT_EQ(oxa.FieldReadC(), 'U');
    // Zero auto values, but the next key is written with slopes: its left slope goes along.
    EXPECT_EQ(oxa.FieldReadC(), 'd');
    EXPECT_FLOAT_EQ((float)oxa.FieldReadD(), curve.KeyGetLeftDerivative(1));
    EXPECT_EQ(oxa.FieldReadC(), 'n');
    oxa.FieldReadT(), oxa.FieldReadD();
    EXPECT_EQ(oxa.FieldReadC(), 'U');
    EXPECT_EQ(oxa.FieldReadC(), 's');  // auto values become the slopes they give
    EXPECT_FLOAT_EQ((float)oxa.FieldReadD(), curve.KeyGetRightDerivative(1));
    EXPECT_FLOAT_EQ((float)oxa.FieldReadD(), curve.KeyGetLeftDerivative(2));
    EXPECT_EQ(oxa.FieldReadC(), 'n');
    oxa.FieldReadEnd();
    // An auto key with zero auto values before a user key writes that key's left slope.
    curve.KeySetDataFloat(1, 0, 0.0f);
    curve.KeySetDataFloat(0, 1, 0.0f);
    curve.KeySetDataFloat(1, 1, 0.0f);
    bytes = WriteFile(Binary(), [&](VOxa& o) { curve.OxaStore(&o, false, true, true); });
    VOxa again;
    OpenFile(again, bytes);
    ASSERT_TRUE(again.FieldReadBegin("Key"));
    for (int skip = 0; skip < 4; ++skip)
        again.FieldReadS();
    again.FieldReadT(), again.FieldReadD(), again.FieldReadC();
    EXPECT_EQ(again.FieldReadC(), 'd');
    EXPECT_FLOAT_EQ((float)again.FieldReadD(), curve.KeyGetLeftDerivative(2));
}

// Writes `curve` in the version-5 layout, reads it back, and checks the shape: the values between
// the keys and the slopes at the keys.
void ExpectVersionFiveKeepsTheShape(bool binary, const VFCurve& curve, const std::string& what) {
    std::vector<uint8_t> bytes = WriteFile(binary, [&](VOxa& o) { curve.OxaStore(&o, false, true, true); });
    VOxa oxa;
    OpenFile(oxa, bytes);
    VFCurve back;
    ASSERT_TRUE(back.Retrieve(&oxa)) << what;
    ASSERT_EQ(back.KeyGetCount(), curve.KeyGetCount()) << what;
    const int n = curve.KeyGetCount();
    for (int i = 0; i < n; ++i) {
        float left = curve.KeyGetLeftDerivative(i), right = curve.KeyGetRightDerivative(i);
        EXPECT_NEAR(back.KeyGetLeftDerivative(i), left, 1e-4 * (1 + std::fabs(left))) << what << " key " << i;
        EXPECT_NEAR(back.KeyGetRightDerivative(i), right, 1e-4 * (1 + std::fabs(right)))
            << what << " key " << i;
        if (i + 1 == n) break;
        double t0 = curve.KeyGetTime(i).GetSecondDouble(), t1 = curve.KeyGetTime(i + 1).GetSecondDouble();
        for (double u = 0.125; u < 1; u += 0.25) {
            VTime t = Sec(t0 + u * (t1 - t0));
            float expected = curve.Evaluate(t);
            EXPECT_NEAR(back.Evaluate(t), expected, 1e-4 * (1 + std::fabs(expected)))
                << what << " segment " << i << " at " << u;
        }
    }
}

TEST_P(FCurveStore, VersionFiveKeepsTheShape) {
    // Auto keys with and without auto values next to every other kind of key: the file has no
    // auto values, yet it must read back as the same curve.
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    curve.KeySet(0, Sec(0), 0.0f);  // zero auto values
    curve.KeySet(1, Sec(1), 3.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 40.0f, 0.0f);
    curve.KeySet(2, Sec(2), 1.0f);
    ExpectVersionFiveKeepsTheShape(Binary(), curve, "zero auto values before a key with slopes");

    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-5, 5), slope(-8, 8), autoValue(-300, 300),
        weight(0.1f, 0.8f);
    for (int round = 0; round < 300; ++round) {
        const int n = 2 + round % 6;
        VFCurve random;
        random.ResizeKeyBuffer(n);
        std::string what = "round " + std::to_string(round) + ":";
        for (int i = 0; i < n; ++i) {
            int kind = (int)(rng() % 8);
            // Auto values are zero half the time, so that every auto form is reached.
            float d0 = rng() % 2 ? 0.0f : autoValue(rng), d1 = rng() % 2 ? 0.0f : autoValue(rng);
            unsigned weights = rng() % 4 == 0 ? (unsigned)(rng() % 4) << 24 : 0u;
            unsigned interpolation = kind == 0   ? VFCurveKey::eInterpolationConstant
                                     : kind == 1 ? VFCurveKey::eInterpolationLinear
                                                 : VFCurveKey::eInterpolationCubic;
            unsigned mode = kind == 2 || kind == 3 ? VFCurveKey::eTangentAuto
                            : kind == 4            ? VFCurveKey::eTangentAutoBreak
                            : kind == 5            ? VFCurveKey::eTangentUser
                            : kind == 6            ? VFCurveKey::eTangentUserBreak
                                                   : VFCurveKey::eTangentAuto;
            if (mode == VFCurveKey::eTangentUser || mode == VFCurveKey::eTangentUserBreak)
                d0 = slope(rng), d1 = slope(rng);
            if (interpolation != VFCurveKey::eInterpolationCubic) d0 = 0.0f, weights = 0;
            random.KeySet(i, Sec(1.5 * i + 0.5 * (rng() % 3)), value(rng), interpolation, mode, d0, d1,
                          weights, weight(rng), weight(rng));
            what += " " + std::to_string(interpolation) + "/" + std::to_string(mode) + "/" +
                    std::to_string(d0) + "/" + std::to_string(d1) + "/" + std::to_string(weights >> 24);
        }
        ExpectVersionFiveKeepsTheShape(Binary(), random, what);
        if (HasFailure()) break;
    }
}

TEST_P(FCurveStore, DroppedKeys) {
    // A key with an unknown tangent letter and a key that does not move forward in time are
    // read and then dropped.
    std::vector<uint8_t> bytes = WriteFile(Binary(), [](VOxa& o) {
        o.FieldWriteBegin("Default");
        o.FieldWriteD(0);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyVer");
        o.FieldWriteI(4004);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyCount");
        o.FieldWriteI(5);
        o.FieldWriteEnd();
        o.FieldWriteBegin("Key");
        o.FieldWriteT(Sec(0)), o.FieldWriteD(1), o.FieldWriteC('L');
        o.FieldWriteT(Sec(1)), o.FieldWriteD(2), o.FieldWriteC('U'), o.FieldWriteC('x');
        o.FieldWriteT(Sec(2)), o.FieldWriteD(3), o.FieldWriteC('L');
        o.FieldWriteT(Sec(2)), o.FieldWriteD(4), o.FieldWriteC('L');
        o.FieldWriteT(Sec(3)), o.FieldWriteD(5), o.FieldWriteC('L');
        o.FieldWriteEnd();
    });
    VOxa oxa;
    OpenFile(oxa, bytes);
    VFCurve curve;
    ASSERT_TRUE(curve.Retrieve(&oxa));
    ASSERT_EQ(curve.KeyGetCount(), 3);
    EXPECT_EQ(curve.KeyGetValue(0), 1.0f);
    EXPECT_EQ(curve.KeyGetValue(1), 3.0f);
    EXPECT_EQ(curve.KeyGetValue(2), 5.0f);
}

TEST_P(FCurveStore, MalformedKeyDataFailCleanly) {
    auto header = [](VOxa& o, int version, int count) {
        o.FieldWriteBegin("Default");
        o.FieldWriteD(5);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyVer");
        o.FieldWriteI(version);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyCount");
        o.FieldWriteI(count);
        o.FieldWriteEnd();
    };
    std::vector<std::vector<uint8_t>> files;
    // A count far beyond the values present (no allocation is sized by it).
    files.push_back(WriteFile(Binary(), [&](VOxa& o) {
        header(o, 4004, 2000000000);
        o.FieldWriteBegin("Key");
        o.FieldWriteT(Sec(0)), o.FieldWriteD(1), o.FieldWriteC('L');
        o.FieldWriteEnd();
    }));
    // An unknown key version.
    files.push_back(WriteFile(Binary(), [&](VOxa& o) {
        header(o, 9000, 1);
        o.FieldWriteBegin("Key");
        o.FieldWriteT(Sec(0)), o.FieldWriteD(1), o.FieldWriteC('L');
        o.FieldWriteEnd();
    }));
    // A truncated key: the tangent data are missing.
    files.push_back(WriteFile(Binary(), [&](VOxa& o) {
        header(o, 4004, 2);
        o.FieldWriteBegin("Key");
        o.FieldWriteT(Sec(0)), o.FieldWriteD(1), o.FieldWriteC('L');
        o.FieldWriteT(Sec(1)), o.FieldWriteD(1), o.FieldWriteC('U'), o.FieldWriteC('s'), o.FieldWriteD(1);
        o.FieldWriteEnd();
    }));
    // Keys announced but no "Key" field, and a negative count.
    files.push_back(WriteFile(Binary(), [&](VOxa& o) { header(o, 4004, 3); }));
    files.push_back(WriteFile(Binary(), [&](VOxa& o) { header(o, 4004, -3); }));
    if (Binary()) {
        // Times that are not numbers.
        files.push_back(WriteFile(true, [&](VOxa& o) {
            header(o, 4004, 1);
            o.FieldWriteBegin("Key");
            o.FieldWriteS("zero"), o.FieldWriteD(1), o.FieldWriteC('L');
            o.FieldWriteEnd();
        }));
    }
    for (size_t f = 0; f < files.size(); ++f) {
        VOxa oxa;
        OpenFile(oxa, files[f]);
        VFCurve curve;
        curve.KeyAppendFast(Sec(9), 9.0f);
        EXPECT_FALSE(curve.Retrieve(&oxa)) << f;
        EXPECT_EQ(curve.KeyGetCount(), 0) << f;
        VOxa again;
        OpenFile(again, files[f]);
        EXPECT_EQ(VFCurve::CreateFromOxa(&again), nullptr) << f;
    }
    // No "Default" field: nothing to create.
    std::vector<uint8_t> none = WriteFile(Binary(), [](VOxa& o) {
        o.FieldWriteBegin("Other");
        o.FieldWriteI(1);
        o.FieldWriteEnd();
    });
    VOxa oxa;
    OpenFile(oxa, none);
    VFCurve curve;
    EXPECT_FALSE(curve.Retrieve(&oxa));
    EXPECT_EQ(VFCurve::CreateFromOxa(&oxa), nullptr);
}

TEST_P(FCurveStore, OlderKeyVersions) {
    // Version 4000: an auto key carries one more value, its next-left auto value.
    std::vector<uint8_t> bytes = WriteFile(Binary(), [](VOxa& o) {
        o.FieldWriteBegin("Default");
        o.FieldWriteD(0);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyVer");
        o.FieldWriteI(4000);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyCount");
        o.FieldWriteI(3);
        o.FieldWriteEnd();
        o.FieldWriteBegin("Key");
        o.FieldWriteT(Sec(0)), o.FieldWriteD(0), o.FieldWriteC('L');
        o.FieldWriteT(Sec(1)), o.FieldWriteD(2), o.FieldWriteC('U'), o.FieldWriteC('a'), o.FieldWriteD(100);
        o.FieldWriteT(Sec(2)), o.FieldWriteD(6), o.FieldWriteC('L');
        o.FieldWriteEnd();
    });
    VOxa oxa;
    OpenFile(oxa, bytes);
    VFCurve curve;
    ASSERT_TRUE(curve.Retrieve(&oxa));
    ASSERT_EQ(curve.KeyGetCount(), 3);
    // After a linear key the auto key's right side follows the other segment (-100); the linear
    // key after it takes the left auto value 100: the incoming slope.
    EXPECT_EQ(curve.KeyGetDataFloat(1, 0), -100.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), 2.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(2), 4.0f);
    // Files without a key version use the oldest dialect; the last key becomes a cubic auto key.
    bytes = WriteFile(Binary(), [](VOxa& o) {
        o.FieldWriteBegin("Default");
        o.FieldWriteD(0);
        o.FieldWriteEnd();
        o.FieldWriteBegin("KeyCount");
        o.FieldWriteI(2);
        o.FieldWriteEnd();
        o.FieldWriteBegin("Key");
        o.FieldWriteT(Sec(0)), o.FieldWriteD(0), o.FieldWriteC('L');
        o.FieldWriteT(Sec(1)), o.FieldWriteD(2), o.FieldWriteC('L');
        o.FieldWriteEnd();
    });
    VOxa old;
    OpenFile(old, bytes);
    ASSERT_TRUE(curve.Retrieve(&old));
    ASSERT_EQ(curve.KeyGetCount(), 2);
    EXPECT_EQ(curve.KeyGetInterpolation(1), VFCurveKey::eInterpolationCubic);
    EXPECT_FLOAT_EQ(curve.Evaluate(Sec(0.5)), 1.0f);
}

}  // namespace
