#include "oxa_codec/vstream_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace {

struct Expected {
    int index;
    const char* name;
    int value;
};

void ExpectOptions(const VStreamOptionsBase& options, const Expected* expected, int count) {
    for (int index = 0; index <= VStreamOptionsBase::kOptionCount + 1; ++index) {
        const Expected* row = nullptr;
        for (int k = 0; k < count; ++k)
            if (expected[k].index == index) row = &expected[k];
        EXPECT_STREQ(options.GetOptionName(index), row ? row->name : "") << index;
        EXPECT_EQ(options.GetOptionValue(index), row ? row->value : 0) << index;
    }
}

TEST(VStreamOptionsGeometry, OutOfRangeIndexesAreInert) {
    VStreamOptions3ds options;
    for (int index : {-1, 0, 18, 1000}) {
        options.SetOptionValue(index, 5);
        EXPECT_EQ(options.GetOptionValue(index), 0);
        EXPECT_STREQ(options.GetOptionName(index), "");
        EXPECT_EQ(options.GetOption(index), nullptr);
    }
}

TEST(VStreamOptionsGeometry, ThreeDsDefaultsAndReset) {
    static const Expected kDefaults[] = {
        {1, "Create Reference Node", 0},
        {7, "Materials", 1},
        {8, "Texture Mapping", 1},
        {9, "Anim", 1},
        {10, "Geometries", 1},
        {11, "Lights", 1},
        {12, "Camera", 1},
        {13, "Ambient Light", 1},
        {14, "Rescale", 1},
        {15, "Reduce Keys", 0},
        {16, "Smooth Group", 1},
        {17, "UV per polygon", 1},
    };
    std::unique_ptr<VStreamOptions3ds> options(VStreamOptions3ds::Create());
    ExpectOptions(*options, kDefaults, 12);
    options->SetOptionValue(VStreamOptions3ds::eRESCALE, 0);
    options->SetOptionValue(3, 9);
    EXPECT_EQ(options->GetOptionValue(14), 0);
    options->Reset();
    ExpectOptions(*options, kDefaults, 12);
}

TEST(VStreamOptionsGeometry, ObjAndDxfDefaults) {
    static const Expected kObj[] = {{1, "Create Reference Node", 1},
                                    {2, "Force Triangulation", 0},
                                    {3, "Evaluate Link/Shape deformations", 1}};
    std::unique_ptr<VStreamOptionsObj> obj(VStreamOptionsObj::Create());
    ExpectOptions(*obj, kObj, 3);

    static const Expected kDxf[] = {{1, "Create Reference Node", 1},
                                    {2, "Force Triangulation", 1},
                                    {3, "Evaluate Link/Shape deformations", 1},
                                    {4, "Weld Vertices", 1},
                                    {5, "Object Derivation", 0},
                                    {6, "Layer~Block~Entity", 0}};
    VStreamOptionsDxf dxf;
    ExpectOptions(dxf, kDxf, 6);
    // Flag byte, kind word and second integer of each option.
    const int described[6][3] = {{1, 0, 1}, {1, 1, 1}, {1, 1, 1}, {1, 0, 1}, {1, 0, 0}, {1, 0, 2}};
    for (int index = 1; index <= 6; ++index) {
        const VStreamOption* option = dxf.GetOption(index);
        ASSERT_NE(option, nullptr);
        EXPECT_EQ(option->mFlag, described[index - 1][0]) << index;
        EXPECT_EQ(option->mKind, described[index - 1][1]) << index;
        EXPECT_EQ(option->mSecond, described[index - 1][2]) << index;
    }
}

TEST(VStreamOptionsGeometry, DxfGroupingModeMapping) {
    VStreamOptionsDxf dxf;
    // An unknown value before any mapping answers the construction mode.
    dxf.SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, 7);
    EXPECT_EQ(dxf.GetLayerBlockEntityMode(), 0);
    const int mapping[3][2] = {{1, 2}, {2, 1}, {0, 0}};
    for (const auto& pair : mapping) {
        dxf.SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, pair[0]);
        EXPECT_EQ(dxf.GetLayerBlockEntityMode(), pair[1]) << pair[0];
    }
    // Another unknown value keeps the last mode.
    dxf.SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, 2);
    dxf.GetLayerBlockEntityMode();
    dxf.SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, -1);
    EXPECT_EQ(dxf.GetLayerBlockEntityMode(), 1);
}

TEST(VStreamOptionsClass, IsAFollowsTheHierarchy) {
    VStreamOptions3ds ds;
    VStreamOptionsObj obj;
    VStreamOptionsDxf dxf;
    std::unique_ptr<VStreamOptionsMotion> motion(VStreamOptionsMotion::Create());
    const VPlug* all[] = {&ds, &obj, &dxf, motion.get()};
    const int own[] = {VStreamOptions3ds::ClassId, VStreamOptionsObj::ClassId, VStreamOptionsDxf::ClassId,
                       VStreamOptionsMotion::ClassId};
    for (int a = 0; a < 4; ++a) {
        EXPECT_TRUE(all[a]->IsA(VStreamOptions::ClassId));
        EXPECT_TRUE(all[a]->IsA(VPlug::ClassId));
        EXPECT_EQ(all[a]->IsA(VStreamOptionsBase::ClassId), a < 3);
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(all[a]->IsA(own[b]), a == b) << a << " " << b;
    }
    EXPECT_STREQ(dxf.GetClassName(), "VStreamOptionsDxf");
}

TEST(VStreamOptionsCallbacks, DefaultsDoNothingAndSetOnesAreCalled) {
    VStreamOptionsObj options;
    options.Progress("nothing", 10.0f);
    EXPECT_EQ(options.Dialog("Title", "Load?", "Yes", "No"), 0);
    options.Message("Error", "text");

    static std::string seen;
    static float percent = 0.0f;
    options.SetProgressCallback([](void* handle, const char* text, float p) {
        seen = std::string(handle ? "handle " : "") + text;
        percent = p;
    });
    options.Progress("Reading animation frames", 12.5f);
    EXPECT_EQ(seen, "Reading animation frames");
    EXPECT_EQ(percent, 12.5f);

    options.SetMessageCallback(
        [](const char* title, const char* text, const char* a1, const char* a2, const char* a3, void* data) {
            seen = std::string(title) + "|" + text + "|" + a1 + (a2 || a3 || data ? "|extra" : "");
            return 1;
        });
    options.Message("Warning", "renamed");
    EXPECT_EQ(seen, "Warning|renamed|Ok");

    options.SetDialogCallback(
        [](const char*, const char*, const char*, const char* a2, const char*, void*) { return a2 ? 2 : 1; });
    EXPECT_EQ(options.Dialog("Time Code File", "Load x.tc?", "Yes", "No"), 2);
    options.ResetCallbacks();
    EXPECT_EQ(options.Dialog("Time Code File", "Load x.tc?", "Yes", "No"), 0);
    options.SetDialogCallback(nullptr);
    EXPECT_EQ(options.Dialog("t", "t", "a", "b"), 0);
}

TEST(VStreamOptionsMotionTest, CreateResetsEverything) {
    static const char* const kNames[18] = {"Translation",
                                           "Rotation",
                                           "Scaling",
                                           "UnusedSegments",
                                           "ImportAsOpticalSegments",
                                           "ImportExactZeroAsOccluded",
                                           "ImportSetOccludedToLastValidPosition",
                                           "ImportActorPrefix",
                                           "ImportCreateReferenceNode",
                                           "ImportDummyNodes",
                                           "ImportLimits",
                                           "ExportGapsAsValidData",
                                           "ExportC3DRealFormat",
                                           "ExportFromGlobalPosition",
                                           "ExportRequireSingleRootNode",
                                           "ExportFrameRate",
                                           "ExportFrameRange",
                                           "RenameDuplicateNames"};
    const int savedMode = VTime::GetGlobalTimeMode();
    VTime::SetGlobalTimeMode(VTime::ePAL);
    std::unique_ptr<VStreamOptionsMotion> options(VStreamOptionsMotion::Create());
    VTime::SetGlobalTimeMode(savedMode);

    for (int index = 0; index < 18; ++index) {
        EXPECT_EQ(options->GetOption(index), -1) << index;
        EXPECT_STREQ(VStreamOptionsMotion::GetOptionName(index), kNames[index]);
        options->SetOption(index, index);
    }
    for (int index = 0; index < 18; ++index)
        EXPECT_EQ(options->GetOption(index), index);
    for (int index : {-1, 18, 99}) {
        options->SetOption(index, 1);
        EXPECT_EQ(options->GetOption(index), -1);
        EXPECT_STREQ(VStreamOptionsMotion::GetOptionName(index), "");
    }
    options->ResetOptions();
    EXPECT_EQ(options->GetOption(17), -1);

    EXPECT_EQ(options->GetStartTime().Get(), 0);
    EXPECT_EQ(options->GetFrameCount(), 0);
    EXPECT_EQ(options->GetTimeMode(), VTime::ePAL);
    EXPECT_EQ(options->GetFrameRate(), 25.0);
    EXPECT_EQ(options->GetFramePeriod().Get(), VTime::kOneSecond / 25);

    options->SetFrameCount(-4);
    EXPECT_EQ(options->GetFrameCount(), 0);
    options->SetFrameCount(120);
    EXPECT_EQ(options->GetFrameCount(), 120);
    options->SetStartTime(VTime(VTime::kOneSecond * 3600));
    EXPECT_EQ(options->GetStartTime().Get(), VTime::kOneSecond * 3600);
}

TEST(VStreamOptionsMotionTest, TimeModesAndCustomRates) {
    VStreamOptionsMotion options;
    // A table mode.
    options.SetTimeMode(VTime::eFRAMES30);
    EXPECT_EQ(options.GetTimeMode(), 6);
    EXPECT_EQ(options.GetFrameRate(), 30.0);
    EXPECT_FALSE(options.IsCustomFrameRate());
    EXPECT_EQ(options.GetFramePeriod().Get(), 1539538600);

    // A custom rate that the table knows keeps its rate and finds its mode.
    options.SetTimeMode(0, 120.0);
    EXPECT_TRUE(options.IsCustomFrameRate());
    EXPECT_EQ(options.GetTimeMode(), 1);
    EXPECT_EQ(options.GetFramePeriod().Get(), 384884650);

    // A rate the table lacks: mode 0, period 1 / rate seconds.
    options.SetTimeMode(0, 13.5);
    EXPECT_EQ(options.GetTimeMode(), 0);
    EXPECT_EQ(options.GetFrameRate(), 13.5);
    VTime expected;
    expected.SetSecondDouble(1.0 / 13.5);
    EXPECT_EQ(options.GetFramePeriod().Get(), expected.Get());

    // No rate, or one that makes no period: the global default mode.
    for (double rate :
         {0.0, -25.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        options.SetTimeMode(0, rate);
        EXPECT_FALSE(options.IsCustomFrameRate()) << rate;
        EXPECT_EQ(options.GetTimeMode(), VTime::GetGlobalTimeMode()) << rate;
        EXPECT_GT(options.GetFramePeriod().Get(), 0) << rate;
    }
}

class Counted : public VPlug {
public:
    explicit Counted(int* destroyed) : mDestroyed(destroyed) {}
    ~Counted() override { ++*mDestroyed; }

private:
    int* mDestroyed;
};

TEST(VStreamOptionsMotionTest, AttachedObjectOwnership) {
    int destroyed = 0;
    Counted kept(&destroyed);
    {
        VStreamOptionsMotion options;
        options.SetAttachedObject(new Counted(&destroyed), true);
        ASSERT_NE(options.GetAttachedObject(), nullptr);
        // Attaching another object destroys the owned one.
        options.SetAttachedObject(&kept, false);
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(options.GetAttachedObject(), &kept);
        options.SetAttachedObject(new Counted(&destroyed), true);
        EXPECT_EQ(destroyed, 1);  // the unowned one is left alone
    }
    EXPECT_EQ(destroyed, 2);  // the owned one went with the options
    {
        VStreamOptionsMotion options;
        options.SetAttachedObject(&kept, false);
    }
    EXPECT_EQ(destroyed, 2);
}

}  // namespace
