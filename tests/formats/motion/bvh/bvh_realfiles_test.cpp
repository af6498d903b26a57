// The BVH reader and writer over real files of other programs (Debian's assimp-testmodels):
// joints, channels, frames and rate; the keyed rotations against the file's own values; and a
// write and read back.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/formats/motion/bvh/bvh_test_util.h"
#include "tests/support/corpus.h"

using namespace bvhtest;

namespace {

// The motion lines of a BVH file, read independently of the reader: every line after
// "Frame Time:" as numbers.
std::vector<std::vector<double>> MotionLines(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line) && line.find("Frame Time:") == std::string::npos) {
    }
    std::vector<std::vector<double>> lines;
    while (std::getline(in, line)) {
        std::istringstream numbers(line);
        std::vector<double> values;
        for (double v; numbers >> v;)
            values.push_back(v);
        if (!values.empty()) lines.push_back(values);
    }
    return lines;
}

struct Expected {
    const char* file;
    int joints;  // end sites included
    int channels;
    int frames;
    double rate;
};

// What the files hold, counted by hand from their text.
const Expected kExpected[] = {
    {"01_01.bvh", 38, 96, 2752, 120},
    {"01_03.bvh", 38, 96, 4511, 120},
    {"Boxing_Toes.bvh", 26, 66, 3069, 100},
};

const Expected* Find(const std::string& name) {
    for (const Expected& e : kExpected)
        if (name == e.file) return &e;
    return nullptr;
}

}  // namespace

class bvh_RealFiles : public Fixture {};

TEST_F(bvh_RealFiles, ReadCheckWriteReadBack) {
    corpustest::Corpus corpus = corpustest::FindCorpus("bvh");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    corpustest::CorpusReport report;
    for (const auto& file : corpus.files) {
        SCOPED_TRACE(file.string());
        const std::string name = file.filename().string();
        delete mManager;
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();

        VOxaReaderBiovision reader(mManager);
        ASSERT_TRUE(reader.FileOpen(file.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!options) {
            report.Refused("bvh", file, reader.GetError().GetLastErrorString().Buffer());
            ADD_FAILURE() << reader.GetError().GetLastErrorString().Buffer();
            continue;
        }
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        const double rate = motion->GetFrameRate();
        if (!reader.Read(mScene, options.get())) {
            report.Refused("bvh", file, reader.GetError().GetLastErrorString().Buffer());
            ADD_FAILURE() << reader.GetError().GetLastErrorString().Buffer();
            continue;
        }
        report.Read("bvh");
        VOxaFileBiovision* bvh = reader.GetFile();
        const int frames = motion->GetFrameCount();
        if (const Expected* e = Find(name)) {
            EXPECT_EQ(bvh->GetJointCount(), e->joints);
            EXPECT_EQ(bvh->GetChannelTotal(), e->channels);
            EXPECT_EQ(frames, e->frames);
            EXPECT_EQ(rate, e->rate);
        }
        VOxaNode* reference = mManager->GetNode("BVH:reference", 0);
        ASSERT_NE(reference, nullptr);
        EXPECT_EQ(reference->GetChildCount(true), bvh->GetJointCount());

        // At a few frames, the rotation of each joint's keys equals that of the file's values in
        // their channel order.
        const std::vector<std::vector<double>> lines = MotionLines(file.string());
        ASSERT_GE((int)lines.size(), frames);
        const VTime period = motion->GetFramePeriod();
        double worst = 0.0;
        for (int frame : {0, 1, frames / 3, frames / 2, frames - 1}) {
            const std::vector<double>& values = lines[(size_t)frame];
            ASSERT_EQ((int)values.size(), bvh->GetChannelTotal());
            size_t slice = 0;
            for (int j = 0; j < bvh->GetJointCount(); ++j) {
                BvhJoint* joint = bvh->GetJoint(j);
                int axes[6];
                double angles[6];
                int rotations = 0;
                for (int c = 0; c < joint->mChannelCount; ++c) {
                    if (joint->mChannels[c] >= BvhJoint::eXROTATION) {
                        axes[rotations] = joint->mChannels[c] - BvhJoint::eXROTATION;
                        angles[rotations++] = values[slice + (size_t)c];
                    }
                }
                slice += (size_t)joint->mChannelCount;
                if (!rotations) continue;
                double xyz[3];
                for (int a = 0; a < 3; ++a) {
                    int hint = 0;
                    VFCurve* curve = Curve(joint->mNode, "R", a);
                    ASSERT_NE(curve, nullptr);
                    xyz[a] = curve->Evaluate(period * (int64_t)frame, &hint);
                }
                worst = std::fmax(worst, MaxDifference(FromXYZ(xyz[0], xyz[1], xyz[2]),
                                                       FromChannels(axes, angles, rotations)));
            }
        }
        // The constant key reducer drops keys within 0.009 degrees (1.6e-4 radians) of a flat
        // stretch; the keys are single precision.
        EXPECT_LT(worst, 5e-4);

        // Write it and read it back: the same joints and values within the text's precision.
        VOxaNode* hips = reference->GetChild(0);
        ASSERT_NE(hips, nullptr);
        hips->SetMarked(1);
        const std::string out = TempPath("real_" + name);
        {
            VOxaWriterBiovision writer(mManager);
            ASSERT_TRUE(writer.FileCreate(out.c_str()));
            std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
            auto* w = static_cast<VStreamOptionsMotion*>(writeOptions.get());
            w->SetTimeMode(0, rate);
            w->SetFrameCount(frames);
            ASSERT_TRUE(writer.Write(mScene, writeOptions.get()))
                << writer.GetError().GetLastErrorString().Buffer();
            ASSERT_TRUE(writer.FileClose());
        }
        VOxaScene* first = mScene;
        mScene = mManager->CreateScene();
        std::string error;
        ASSERT_TRUE(ReadPath(out, &error)) << error;
        VOxaNode* again = mScene->GetRootNode()->FindChild("BVH:reference", false);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->GetChildCount(true), reference->GetChildCount(true));
        double worstMatrix = 0.0;
        for (int j = 0; j < bvh->GetJointCount(); ++j) {
            VOxaNode* a = bvh->GetJoint(j)->mNode;
            VOxaNode* b = again->FindChild(a->GetNameWithoutPrefix(), true);
            ASSERT_NE(b, nullptr) << a->GetName();
            for (int frame : {0, frames / 2, frames - 1}) {
                const VTime time = period * (int64_t)frame;
                const VgeAMatrix& ma = a->EvaluateLocalTransform(time);
                const VgeAMatrix& mb = b->EvaluateLocalTransform(time);
                for (int i = 0; i < 3; ++i)
                    for (int k = 0; k < 3; ++k)
                        worstMatrix = std::fmax(worstMatrix, std::fabs(ma.mData[i][k] - mb.mData[i][k]));
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(ma.mData[3][k], mb.mData[3][k], 1e-3 * (1 + std::fabs(ma.mData[3][k])));
            }
        }
        // Two reads reduce keys, and "%g" keeps six digits.
        EXPECT_LT(worstMatrix, 1e-3);
        (void)first;
        reader.FileClose();
        std::remove(out.c_str());
    }
    report.Print();
}
