// Our BVH files read by an independent reader, the assimp library (libassimp-dev): the same
// joints and frame count, in both channel layouts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/formats/motion/bvh/bvh_test_util.h"

#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

using namespace bvhtest;

namespace {

const char* const kBody =
    "HIERARCHY\n"
    "ROOT Hips\n"
    "{\n"
    "  OFFSET 0 0 0\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Yrotation Xrotation\n"
    "  JOINT Spine\n"
    "  {\n"
    "    OFFSET 0 10 0\n"
    "    CHANNELS 3 Zrotation Yrotation Xrotation\n"
    "    JOINT Head\n"
    "    {\n"
    "      OFFSET 0 8 1\n"
    "      CHANNELS 3 Zrotation Yrotation Xrotation\n"
    "      End Site\n"
    "      {\n"
    "        OFFSET 0 3 0\n"
    "      }\n"
    "    }\n"
    "  }\n"
    "  JOINT Leg\n"
    "  {\n"
    "    OFFSET 2 -1 0\n"
    "    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    JOINT Foot\n"
    "    {\n"
    "      OFFSET 0 -9 0\n"
    "      CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    }\n"
    "  }\n"
    "}\n"
    "MOTION\n"
    "Frames: 5\n"
    "Frame Time: 0.04\n"
    "0 1 2 10 20 30 1 2 3 4 5 6 7 8 9 10 11 12\n"
    "0 1 3 11 20 30 1 2 3 4 5 6 7 8 9 10 11 12\n"
    "0 1 4 12 20 30 1 2 3 4 5 6 7 8 9 10 11 12\n"
    "0 1 5 13 20 30 1 2 3 4 5 6 7 8 9 10 11 15\n"
    "0 1 6 14 20 30 1 2 3 4 5 6 7 8 9 10 11 18\n";

}  // namespace

class bvh_Interop : public Fixture {};

TEST_F(bvh_Interop, AssimpReadsOurFiles) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "the assimp library is not installed (Debian package libassimp-dev)";
#else
    ASSERT_TRUE(ReadText("interop_in.bvh", kBody));
    Node("Hips")->SetMarked(1);
    for (int translation : {0, 1}) {
        SCOPED_TRACE(translation);
        const std::string path = TempPath("interop_out" + std::to_string(translation) + ".bvh");
        VOxaWriterBiovision writer(mManager);
        ASSERT_TRUE(writer.FileCreate(path.c_str()));
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        motion->SetTimeMode(0, 25.0);
        motion->SetFrameCount(5);
        motion->SetOption(VStreamOptionsMotion::eTRANSLATION, translation);
        ASSERT_TRUE(writer.Write(mScene, options.get()));
        ASSERT_TRUE(writer.FileClose());

        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, 0);
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        ASSERT_NE(scene->mRootNode, nullptr);
        for (const char* name : {"Hips", "Spine", "Head", "Leg", "Foot"})
            EXPECT_NE(scene->mRootNode->FindNode(name), nullptr) << name;
        ASSERT_EQ(scene->mNumAnimations, 1u);
        const aiAnimation* animation = scene->mAnimations[0];
        EXPECT_EQ(animation->mNumChannels, 5u);
        for (unsigned c = 0; c < animation->mNumChannels; ++c) {
            const aiNodeAnim* channel = animation->mChannels[c];
            const std::string name = channel->mNodeName.C_Str();
            EXPECT_EQ(channel->mNumRotationKeys, 5u) << name;
            // A joint without position channels has one position key there: its offset.
            const bool positions = translation == 1 || name == "Hips";
            EXPECT_EQ(channel->mNumPositionKeys, positions ? 5u : 1u) << name;
        }
        EXPECT_NEAR(animation->mTicksPerSecond, 25.0, 1e-3);
    }
#endif
}
