// The HTR file: header values and factors, the section state machine, base rotations, frame
// lines, the settings flag and the written lines.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/htr/voxa_file_htr.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/motion/htr/htr_test_util.h"

namespace {

using htr_test::Header;
using htr_test::WriteFile;

std::string gError;
std::string gWarning;
void OnError(const char* text) {
    gError = text;
}
void OnWarning(const char* text) {
    gWarning = text;
}

// A file object with diagnostics caught, opened on `text`.
struct Opened {
    explicit Opened(const std::string& text, const char* name = "file.htr") : file(true) {
        htr_test::UseSettings(nullptr);
        gError.clear();
        gWarning.clear();
        file.SetErrorCallback(OnError);
        file.SetWarningCallback(OnWarning);
        EXPECT_TRUE(file.Open(WriteFile(name, text).c_str(), "r"));
    }
    VOxaFileMotionAnalysisHtr file;
};

const char* kHierarchy2 = "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\n";
const char* kBase2 = "[BasePosition]\nA 1 2 3 0 0 0 10\nB 4 5 6 0 0 0 20\n";

std::string Structure(const std::string& header) {
    return header + kHierarchy2 + kBase2 + "[A]\n";
}

// Ends with the diagnostic `message` (the prefix carries the format and the line).
void ExpectError(const std::string& text, const char* message) {
    Opened o(text);
    EXPECT_FALSE(o.file.ReadStructure()) << message;
    EXPECT_NE(gError.find("HTR read error (line "), std::string::npos) << gError;
    EXPECT_NE(gError.find(message), std::string::npos) << "wanted " << message << ", got " << gError;
}

TEST(htr_File, OrderCodesFromTheLettersReadRightToLeft) {
    const char* names[] = {"ZYX", "YXZ", "XZY", "ZXY", "YZX", "XYZ"};
    const int codes[] = {0, 8, 4, 6, 2, 10};
    for (int k = 0; k < 6; ++k) {
        Opened o(Structure(Header(2, 0, std::string("EulerRotationOrder ") + names[k] + "\n")));
        ASSERT_TRUE(o.file.ReadStructure()) << names[k];
        EXPECT_EQ(o.file.GetRotationOrderKeyword(), k);
        EXPECT_EQ(o.file.GetRotationOrderCode(), codes[k]) << names[k];
    }
    // Each file angle turns about its own axis whatever its place in the order: with "YXZ" (Z
    // first, then X, then Y), a Y angle alone is a plain turn about Y.
    double m[4][4], want[4][4];
    VgeMatrixIdentity(m);
    VgeMatrixIdentity(want);
    const double angles[3] = {0.0, 30.0, 0.0};
    VOxaFileMotionAnalysisHtr::EulerToMatrix(m, angles, 8);
    VgeEulerXYZToMatrix(want, 0.0, 30.0, 0.0);
    EXPECT_EQ(VgeMatrixCompareAffine(m, want, 1e-12), 0);
    // "ZXY" (code 6, Y then X then Z): the Y turn is applied before the X turn.
    const double both[3] = {90.0, 90.0, 0.0};
    VOxaFileMotionAnalysisHtr::EulerToMatrix(m, both, 6);
    double p[3] = {0.0, 0.0, 1.0};
    VgeMatrixMultVector3(p, m, p);  // Y: (0,0,1) -> (1,0,0); X leaves it
    EXPECT_NEAR(p[0], 1.0, 1e-12);
    EXPECT_NEAR(p[1], 0.0, 1e-12);
    EXPECT_NEAR(p[2], 0.0, 1e-12);
}

TEST(htr_File, TranslationFactorIsCalibrationOverScaleFactor) {
    Opened o(Structure(Header(2, 0, "CalibrationUnits in\nScaleFactor 2\nRotationUnits Radians\n")));
    ASSERT_TRUE(o.file.ReadStructure());
    EXPECT_DOUBLE_EQ(o.file.GetCalibrationFactor(), 2.54);
    EXPECT_DOUBLE_EQ(o.file.GetTranslationFactor(), 1.27);
    const VOxaFileMotionAnalysisHtr::Segment* b = o.file.GetSegment(1);
    EXPECT_DOUBLE_EQ(b->mBaseTranslation[0], 4 * 1.27);
    EXPECT_DOUBLE_EQ(b->mBaseTranslation[2], 6 * 1.27);
    EXPECT_DOUBLE_EQ(b->mBoneLength, 20 * 1.27);
    EXPECT_EQ(o.file.GetSectionState(), VOxaFileMotionAnalysisHtr::eSECTION_ANIMATION);
    EXPECT_STREQ(o.file.GetCursor(), "[A]") << "stops on the first animation line";

    // Radians: a base rotation of pi about X is 180 degrees.
    Opened r(Header(1, 0, "RotationUnits Radians\n") + "[SegmentNames&Hierarchy]\nA GLOBAL\n" +
             "[BasePosition]\nA 0 0 0 3.141592653589793 0 0 1\n[A]\n");
    ASSERT_TRUE(r.file.ReadStructure());
    double angles[3];
    VgeMatrixToEulerXYZ(angles, r.file.GetSegment(0)->mBaseRotation);
    EXPECT_NEAR(std::fabs(angles[0]), 180.0, 1e-9);

    // Defaults: millimetres, degrees, ZYX, bone axis Y but no bone axis matrix without the key.
    Opened d(Structure(Header(2, 0)));
    ASSERT_TRUE(d.file.ReadStructure());
    EXPECT_DOUBLE_EQ(d.file.GetTranslationFactor(), 0.1);
    EXPECT_EQ(d.file.GetBoneLengthAxis(), 1);
    EXPECT_EQ(d.file.GetBoneAxisMatrix()[0][0], 1.0);
    EXPECT_EQ(d.file.GetFrameRate(), 30);
}

TEST(htr_File, BoneAxisMatrixTurnsXOntoTheAxis) {
    const char* axes[] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        Opened o(Structure(Header(2, 0, std::string("BoneLengthAxis ") + axes[a] + "\n")));
        ASSERT_TRUE(o.file.ReadStructure());
        double x[3] = {1.0, 0.0, 0.0};
        VgeMatrixMultVector3(x, o.file.GetBoneAxisMatrix(), x);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(x[k], k == a ? 1.0 : 0.0, 1e-12) << axes[a];
    }
}

TEST(htr_File, HeaderErrorsAndWarnings) {
    ExpectError(Structure(Header(2, 0, "FileType bvh\n")), "Unknown file type");
    ExpectError(Structure(Header(2, 0, "DataType HTRX\n")), "Unknown data type");
    ExpectError(Structure(Header(2, 0, "EulerRotationOrder XXY\n")), "Unknown euler rotation order");
    ExpectError(Structure(Header(2, 0, "RotationUnits Grads\n")), "Unknown rotation units");
    ExpectError(Structure(Header(2, 0, "BoneLengthAxis W\n")), "Unknown bone length axis");
    ExpectError(Structure("[Header]\nNumSegments two\n"), "Can't read segment count");
    ExpectError(Structure("[Header]\nNumFrames -3\n"), "Can't read frame count");
    ExpectError(Structure("[Header]\nNumSegments 2\nDataFrameRate x\n"), "Can't read data frame rate");
    // A scale factor divides every length: 0, negative and non-finite values are refused.
    for (const char* bad : {"0", "-2", "inf", "nan", "1e999", "abc"})
        ExpectError(Structure(Header(2, 0, std::string("ScaleFactor ") + bad + "\n")),
                    "Can't read scale factor");
    ExpectError(Structure(Header(2, 0, "DataFrameRate 0\n")), "Can't read data frame rate");
    ExpectError(Structure(Header(2, 0, "DataFrameRate 1000001\n")),
                "a DataFrameRate of 1000001 is faster than the 1000000 frames per second");

    // Warnings leave the read going and keep the values; an unknown unit is said to the user.
    Opened o(Structure(
        Header(2, 0, "FileVersion x\nCalibrationUnits furlong\nGlobalAxisofGravity Q\nUnknownKey 5\n")));
    EXPECT_TRUE(o.file.ReadStructure());
    EXPECT_EQ(o.file.GetCalibrationUnits(), VOxaFileMotionAnalysisHtr::eMM);
    EXPECT_DOUBLE_EQ(o.file.GetTranslationFactor(), 0.1);
    EXPECT_EQ(o.file.GetGravityAxis(), 1);
    EXPECT_EQ(o.file.GetFileVersion(), 1);
    EXPECT_NE(gWarning.find("HTR read warning"), std::string::npos);
    EXPECT_NE(std::string(o.file.GetWarnings()).find("unknown CalibrationUnits \"furlong\""),
              std::string::npos)
        << o.file.GetWarnings();
    EXPECT_NE(std::string(o.file.GetWarnings()).find("GlobalAxisofGravity \"Q\" on line 11"),
              std::string::npos);
    // A gravity axis other than the scene's Y is not turned onto it: said.
    Opened z(Structure(Header(2, 0, "GlobalAxisofGravity Z\n")));
    EXPECT_TRUE(z.file.ReadStructure());
    EXPECT_EQ(z.file.GetGravityAxis(), 2);
    EXPECT_NE(std::string(z.file.GetWarnings()).find("GlobalAxisofGravity \"Z\" on line"), std::string::npos)
        << z.file.GetWarnings();

    // Every common length unit is read as what it says, as a whole word in any case.
    const struct {
        const char* unit;
        double centimetres;
    } units[] = {{"mm", 0.1},       {"MM", 0.1},       {"cm", 1.0},      {"dm", 10.0},        {"m", 100.0},
                 {"meters", 100.0}, {"Metres", 100.0}, {"in", 2.54},     {"inches", 2.54},    {"ft", 30.48},
                 {"feet", 30.48},   {"yd", 91.44},     {"km", 100000.0}, {"millimeters", 0.1}};
    for (const auto& unit : units) {
        Opened u(Structure(Header(2, 0, std::string("CalibrationUnits ") + unit.unit + "\n")));
        ASSERT_TRUE(u.file.ReadStructure()) << unit.unit;
        EXPECT_DOUBLE_EQ(u.file.GetTranslationFactor(), unit.centimetres) << unit.unit;
        EXPECT_STREQ(u.file.GetWarnings(), "") << unit.unit;
    }
    // A prefix of a unit is no unit.
    Opened prefix(Structure(Header(2, 0, "CalibrationUnits mmm\n")));
    ASSERT_TRUE(prefix.file.ReadStructure());
    EXPECT_NE(std::string(prefix.file.GetWarnings()).find("mmm"), std::string::npos);
}

TEST(htr_File, SectionStateMachine) {
    ExpectError(std::string(kHierarchy2) + kBase2, "Header not found");
    ExpectError(Header(2, 0) + kBase2, "Hierarchy not found");
    ExpectError(Header(2, 0) + kHierarchy2 + "[EndOfFile]\n", "Animation data not found");
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nA 1 2 3 0 0 0 10\n", "Unexpected end of file");
    ExpectError(Header(3, 0) + kHierarchy2 + kBase2 + "[A]\n", "Bad segment count");
    ExpectError(Header(0, 0) + "[SegmentNames&Hierarchy]\n[BasePosition]\n[A]\n", "Bad segment count");
    // Base positions out of hierarchy order.
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nB 4 5 6 0 0 0 20\nA 1 2 3 0 0 0 10\n[A]\n",
                "out of hierarchy order");
    // Short and unreadable lines.
    ExpectError(Header(2, 0) + "[SegmentNames&Hierarchy]\nA\n", "Can't read parent name");
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nA 1 2\n",
                "Can't read segment base translation");
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nA 1 2 1e999 0 0 0 1\n",
                "Can't read segment base translation");
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nA 1 2 3 0 nan 0 1\n",
                "Can't read segment base rotation");
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nA 1 2 3 0 0 0\n", "Can't read segment length");
    ExpectError(Header(2, 0) + kHierarchy2 + "[BasePosition]\nA 1 2 3 0 0 0 inf\n",
                "Can't read segment length");
    ExpectError("", "the file is empty");

    // Extra hierarchy lines beyond "NumSegments" are skipped.
    Opened o(Header(2, 0) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\nC B\n" + kBase2 + "[A]\n");
    ASSERT_TRUE(o.file.ReadStructure());
    EXPECT_EQ(o.file.GetSegmentCount(), 2);
    EXPECT_EQ(o.file.FindSegment("C"), nullptr);
    EXPECT_EQ(o.file.FindSegment("B"), o.file.GetSegment(1));
    EXPECT_EQ(o.file.FindSegment("b"), nullptr) << "names compare with case";
}

TEST(htr_File, HeaderOnlyFillsTheOptions) {
    Opened o(Structure(Header(2, 250, "", 120)));
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    ASSERT_TRUE(o.file.ReadHeaderOnly(options));
    EXPECT_EQ(options->GetFrameCount(), 250);
    EXPECT_TRUE(options->IsCustomFrameRate());
    EXPECT_DOUBLE_EQ(options->GetFrameRate(), 120.0);
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE), 1);
    // The structure read afterwards starts again from the top.
    EXPECT_TRUE(o.file.ReadStructure());
    options->Destroy();

    Opened bad("[Header]\nNumFrames 10\n");
    VStreamOptionsMotion* other = VStreamOptionsMotion::Create();
    EXPECT_FALSE(bad.file.ReadHeaderOnly(other)) << "the file ends inside the header";
    other->Destroy();
}

TEST(htr_File, ScaleFactorsPerFrameAndTheFirstFrameNumber) {
    // Frames numbered from 5 at 20 per second: the take starts at 4 / 20 s.
    Opened o(Header(1, 4, "DataFrameRate 20\n") + "[SegmentNames&Hierarchy]\nA GLOBAL\n" +
             "[BasePosition]\nA 0 0 0 0 0 0 10\n[A]\n5 0 0 0 0 0 0 1.0\n6 0 0 0 0 0 0 2.5\n"
             "7 0 0 0 0 0 0 0\n8 0 0 0 0 0 0 1e9\n");
    VStreamOptionsMotion options;
    ASSERT_TRUE(o.file.ReadHeaderOnly(&options));
    VTime start;
    start.SetSecondDouble(4.0 / 20.0);
    EXPECT_EQ(options.GetStartTime().Get(), (options.GetFramePeriod() * 4).Get());
    EXPECT_NEAR(options.GetStartTime().GetSecondDouble(), start.GetSecondDouble(), 1e-9);
    ASSERT_TRUE(o.file.ReadStructure());
    VOxaFileMotionAnalysisHtr::Segment* a = o.file.FindSegmentBlock();
    ASSERT_NE(a, nullptr);
    a->BeginKeys(4);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(o.file.ReadNextLine());
        ASSERT_TRUE(o.file.ReadFrameLine(a, i, VTime(i + 1)));
    }
    a->EndKeys();
    // Each frame's factor; 0 and 1e9 are read as 1, with one warning.
    EXPECT_EQ(a->mScales, (std::vector<float>{1.0f, 2.5f, 1.0f, 1.0f}));
    const std::string warnings = o.file.GetWarnings();
    EXPECT_NE(warnings.find("has the scale factor 0 on line"), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find("1e+09"), std::string::npos) << warnings;
    // A file whose every factor is 1 keeps none.
    Opened plain(Header(1, 1) +
                 "[SegmentNames&Hierarchy]\nA GLOBAL\n[BasePosition]\nA 0 0 0 0 0 0 10\n[A]\n" +
                 "1 0 0 0 0 0 0 1.0\n");
    ASSERT_TRUE(plain.file.ReadStructure());
    VOxaFileMotionAnalysisHtr::Segment* p = plain.file.FindSegmentBlock();
    ASSERT_TRUE(plain.file.ReadNextLine());
    ASSERT_TRUE(plain.file.ReadFrameLine(p, 0, VTime(1)));
    EXPECT_TRUE(p->mScales.empty());
}

TEST(htr_File, FrameLineAddsTheBaseAndComposesFrameBeforeBase) {
    Opened o(Header(1, 2, "CalibrationUnits cm\n") + "[SegmentNames&Hierarchy]\nA GLOBAL\n" +
             "[BasePosition]\nA 1 2 3 0 0 90 10\n[A]\n1 10 20 30 90 0 0 1.0\n2 0 0 0 0 0 0\n");
    ASSERT_TRUE(o.file.ReadStructure());
    VOxaFileMotionAnalysisHtr::Segment* a = o.file.FindSegmentBlock();
    ASSERT_EQ(a, o.file.GetSegment(0));
    VFCurve* curves[9];
    for (auto*& curve : curves)
        curve = VFCurve::Create();
    for (int c = 0; c < 9; ++c)
        a->mCurves[c] = curves[c];
    a->BeginKeys(2);
    ASSERT_TRUE(o.file.ReadNextLine());
    ASSERT_TRUE(o.file.ReadFrameLine(a, 0, VTime(1000)));
    ASSERT_TRUE(o.file.ReadNextLine());
    EXPECT_FALSE(o.file.ReadFrameLine(a, 1, VTime(2000)));
    EXPECT_NE(gError.find("Can't read frame scaling"), std::string::npos) << gError;
    a->EndKeys();

    EXPECT_FLOAT_EQ(curves[0]->KeyGetValue(0), 11.0f);
    EXPECT_FLOAT_EQ(curves[1]->KeyGetValue(0), 22.0f);
    EXPECT_FLOAT_EQ(curves[2]->KeyGetValue(0), 33.0f);
    EXPECT_EQ(curves[0]->KeyGetTime(0), VTime(1000));
    EXPECT_EQ(curves[0]->KeyGetInterpolation(0), (unsigned)VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(curves[0]->KeyGetTangentMode(0), (unsigned)VFCurveKey::eTangentAuto);
    for (int c = 6; c < 9; ++c)
        EXPECT_FLOAT_EQ(curves[c]->KeyGetValue(0), 1.0f);
    // Frame X 90 then base Z 90 (row vectors): Rx(90) x Rz(90).
    double want[4][4], frame[4][4], base[4][4], angles[3];
    VgeMatrixIdentity(want);
    VgeEulerXYZToMatrix(frame, 90, 0, 0);
    VgeEulerXYZToMatrix(base, 0, 0, 90);
    VgeMatrixMultRotation(want, base, frame);
    VgeMatrixToEulerXYZ(angles, want);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(curves[3 + k]->KeyGetValue(0), angles[k], 1e-4);
    // The other order would differ.
    VgeMatrixMultRotation(want, frame, base);
    double other[3];
    VgeMatrixToEulerXYZ(other, want);
    EXPECT_GT(std::fabs(other[0] - angles[0]) + std::fabs(other[2] - angles[2]), 1.0);
    for (VFCurve* curve : curves)
        delete curve;
}

TEST(htr_File, EulerExtractionAtThePoles) {
    // Frame rotations of Y -90 and +90 about a base of X 30 land on the poles of the XYZ rule.
    Opened o(Header(1, 2) + "[SegmentNames&Hierarchy]\nA GLOBAL\n[BasePosition]\nA 0 0 0 0 0 0 1\n[A]\n" +
             "1 0 0 0 30 90 0 1\n2 0 0 0 30 -90 0 1\n");
    ASSERT_TRUE(o.file.ReadStructure());
    VOxaFileMotionAnalysisHtr::Segment* a = o.file.FindSegmentBlock();
    ASSERT_NE(a, nullptr);
    VFCurve* curves[9];
    for (int c = 0; c < 9; ++c)
        a->mCurves[c] = curves[c] = VFCurve::Create();
    a->BeginKeys(2);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(o.file.ReadNextLine());
        ASSERT_TRUE(o.file.ReadFrameLine(a, i, VTime(i + 1)));
    }
    a->EndKeys();
    EXPECT_FLOAT_EQ(curves[4]->KeyGetValue(0), 90.0f);
    EXPECT_FLOAT_EQ(curves[5]->KeyGetValue(0), 0.0f);
    EXPECT_FLOAT_EQ(curves[4]->KeyGetValue(1), -90.0f);
    EXPECT_FLOAT_EQ(curves[5]->KeyGetValue(1), 0.0f);
    // The angles rebuild the rotation at both poles.
    for (int i = 0; i < 2; ++i) {
        // The rotation fills the 3x3 part only; the comparison also reads the translation row.
        double got[4][4] = {}, want[4][4] = {};
        VgeEulerXYZToMatrix(got, curves[3]->KeyGetValue(i), curves[4]->KeyGetValue(i),
                            curves[5]->KeyGetValue(i));
        VgeEulerXYZToMatrix(want, 30, i == 0 ? 90 : -90, 0);
        EXPECT_EQ(VgeMatrixCompareAffine(got, want, 1e-5), 0) << i;
    }
    for (VFCurve* curve : curves)
        delete curve;
}

TEST(htr_File, KeySlotsFollowTheLinesNotTheHeader) {
    VOxaFileMotionAnalysisHtr::Segment segment;
    VFCurve* curve = VFCurve::Create();
    segment.mCurves[0] = curve;
    segment.BeginKeys(2000000000);
    EXPECT_LE(curve->KeyGetCountAll(), 0);
    EXPECT_LE(VFCurve::GetKeyMemoryTotal(), 64 << 20) << "no slots for two billion frames";
    const double zero[3] = {0, 0, 0};
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(segment.AddFrameKeys(i, VTime(i + 1), zero, zero, zero));
    segment.EndKeys();
    EXPECT_EQ(curve->KeyGetCount(), 5000);
    delete curve;
}

TEST(htr_File, SettingsFlag) {
    struct Case {
        const char* value;
        bool on;
    } cases[] = {{nullptr, true}, {"Yes", true}, {"yes", true}, {"YES", true}, {"No", false}, {"1", false}};
    for (const Case& c : cases) {
        htr_test::UseSettings(c.value);
        VOxaFileMotionAnalysisHtr file;
        EXPECT_EQ(file.GetMinimizeRotationOffset(), c.on) << (c.value ? c.value : "no file");
    }
    // A file without the key keeps the default.
    htr_test::UseSettings(nullptr);
    {
        VConfigFile settings("@Application.txt");
        settings.WriteValue("Other", "Key", "No");
    }
    VOxaFileMotionAnalysisHtr file;
    EXPECT_TRUE(file.GetMinimizeRotationOffset());
    htr_test::UseSettings(nullptr);
}

TEST(htr_File, WrittenLines) {
    std::string path = htr_test::TempPath("lines.htr");
    {
        VOxaFileMotionAnalysisHtr file;
        ASSERT_TRUE(file.Open(path.c_str(), "w"));
        file.WriteHeader(2, 3, 29);
        file.WriteHierarchyTitle();
        file.WriteHierarchyLine("A", nullptr);
        file.WriteHierarchyLine("B", "A");
        file.WriteBasePositionTitle();
        const double t[3] = {1.5, -2, 1e-7}, r[3] = {0, 90, 123.456789};
        file.WriteBasePositionLine("A", t, r, 250);
        file.WriteSegmentTitle("A");
        file.WriteFrameLine(1, t, r);
        file.WriteEndOfFile();
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(htr_test::ReadFile(path),
              "[Header]\nFileType HTR\nDataType HTRS\nFileVersion 1\nNumSegments 2\nNumFrames 3\n"
              "DataFrameRate 29\nEulerRotationOrder ZYX\nCalibrationUnits mm\nRotationUnits Degrees\n"
              "GlobalAxisofGravity Y\nBoneLengthAxis Y\nScaleFactor 1.0\n"
              "[SegmentNames&Hierarchy]\nA\tGLOBAL\nB\tA\n"
              "[BasePosition]\nA\t1.5\t-2\t1e-07\t0\t90\t123.45679\t250\n"
              "[A]\n1\t1.5\t-2\t1e-07\t0\t90\t123.45679\t1.0\n"
              "[EndOfFile]\n");
}

}  // namespace
