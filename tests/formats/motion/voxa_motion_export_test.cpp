// Getting a scene a reader made ready for a motion writer, as a program does it with the library
// alone: what is marked, the writer's options, and the frames.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "attributes/voxa_mesh.h"
#include "formats/motion/voxa_motion_export.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

namespace {

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("motion_export_");
    return folder + name;
}

// Three markers side by side over five frames at 50 Hz, starting at frame 3.
const char kAoa[] = "frames = 5 markers = 3 Hz = 50\n"
                    "1 2 3\n4 5 6\n7 8 9\n1 2 4\n4 5 7\n7 8 10\n1 2 5\n4 5 8\n7 8 11\n"
                    "1 2 6\n4 5 9\n7 8 12\n1 2 7\n4 5 10\n7 8 13\n";
const char kBvh[] =
    "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "  JOINT Spine\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    End Site\n    {\n      OFFSET 0 3 0\n    }\n  }\n}\n"
    "MOTION\nFrames: 3\nFrame Time: 0.04\n0 0 0 0 0 0 0 0 0\n1 0 0 10 0 0 0 0 0\n2 0 0 20 0 0 0 0 0\n";

struct Session {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VStreamOptions* read = nullptr;
    VStreamOptions* write = nullptr;
    VOxaExporter* exporter = nullptr;
    ~Session() {
        if (read) read->Destroy();
        if (write) write->Destroy();
        delete manager;
    }
    void Read(const std::string& extension, const std::string& text) {
        const std::string path = TempPath("in." + extension);
        oxa_test::WriteFile(path, text);
        VOxaImporter* importer = manager->CreateImporter();
        ASSERT_TRUE(importer->Initialize(path.c_str()));
        read = importer->GetReadOptions();
        ASSERT_TRUE(importer->Import(scene, read)) << importer->GetError().GetLastErrorString().Buffer();
        manager->DestroyImporter(importer);
    }
    VStreamOptionsMotion* WriteOptions(const std::string& path) {
        exporter = manager->CreateExporter();
        EXPECT_TRUE(exporter->Initialize(path.c_str()));
        EXPECT_TRUE(exporter->SetFileFormat(VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str()))));
        write = exporter->GetWriteOptions();
        return static_cast<VStreamOptionsMotion*>(write);
    }
    static VStreamOptionsMotion* Motion(VStreamOptions* options) { return static_cast<VStreamOptionsMotion*>(options); }
};

std::string Text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(MotionExport, WriterKinds) {
    EXPECT_EQ(VOxaGetMotionWriterKind(VOxaFindWriterFormat("bvh")), VOxaMotionWriterKind::eSkeleton);
    EXPECT_EQ(VOxaGetMotionWriterKind(VOxaFindWriterFormat("AMC")), VOxaMotionWriterKind::eSkeleton);
    EXPECT_EQ(VOxaGetMotionWriterKind(VOxaFindWriterFormat("vpm")), VOxaMotionWriterKind::eMarkers);
    EXPECT_EQ(VOxaGetMotionWriterKind(VOxaFindWriterFormat("obj")), VOxaMotionWriterKind::eNone);
    EXPECT_EQ(VOxaGetMotionWriterKind(-1), VOxaMotionWriterKind::eNone);
}

// Markers side by side go to a skeleton writer under their reference node, which becomes the
// root joint; they keep their positions through translation channels, over the frames read.
TEST(MotionExport, MarkersToASkeletonWriter) {
    Session s;
    s.Read("aoa", kAoa);
    const std::string out = TempPath("markers.bvh");
    VStreamOptionsMotion* motion = s.WriteOptions(out);
    VString why;
    ASSERT_TRUE(VOxaPrepareMotionExport(s.scene, VOxaFindWriterFormat("bvh"), motion, Session::Motion(s.read), &why));
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eTRANSLATION), 1);
    EXPECT_EQ(motion->GetFrameCount(), 5);
    EXPECT_DOUBLE_EQ(motion->GetFrameRate(), 50.0);
    ASSERT_TRUE(s.exporter->Export(s.scene, motion)) << s.exporter->GetError().GetLastErrorString().Buffer();
    const std::string bvh = Text(out);
    EXPECT_NE(bvh.find("Frames:\t5\nFrame Time:\t0.02\n"), std::string::npos) << bvh;
    // Three marker joints, each with its position channels, below one root.
    size_t joints = 0;
    for (size_t at = bvh.find("JOINT "); at != std::string::npos; at = bvh.find("JOINT ", at + 1))
        ++joints;
    EXPECT_EQ(joints, 3u) << bvh;
    // Nothing of the source's marks or options was there before: a second call changes nothing.
    ASSERT_TRUE(VOxaPrepareMotionExport(s.scene, VOxaFindWriterFormat("bvh"), motion, Session::Motion(s.read), &why));
    EXPECT_EQ(motion->GetFrameCount(), 5);
}

// The marker writers place every joint where it is in the world; a skeleton read for a skeleton
// writer keeps rotations only when no joint below the root moves by translation.
TEST(MotionExport, SkeletonToMarkerAndSkeletonWriters) {
    Session s;
    s.Read("bvh", kBvh);
    VStreamOptionsMotion* markers = VStreamOptionsMotion::Create();
    VOxaMarkMotionToWrite(s.scene, VOxaFindWriterFormat("trc"), markers);
    EXPECT_EQ(markers->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION), 1);
    EXPECT_EQ(markers->GetOption(VStreamOptionsMotion::eTRANSLATION), -1);
    markers->Destroy();
    VStreamOptionsMotion* joints = VStreamOptionsMotion::Create();
    VOxaMarkMotionToWrite(s.scene, VOxaFindWriterFormat("htr"), joints);
    EXPECT_EQ(joints->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION), -1);
    EXPECT_EQ(joints->GetOption(VStreamOptionsMotion::eTRANSLATION), -1);
    // A geometry writer's row marks nothing and sets nothing.
    VOxaMarkMotionToWrite(s.scene, VOxaFindWriterFormat("obj"), joints);
    EXPECT_EQ(joints->GetOption(VStreamOptionsMotion::eTRANSLATION), -1);
    joints->Destroy();
}

// The source's rate, else the scene's; another rate set afterwards gives its own frame count; a
// rate whose frames no writer writes is refused with the reason.
TEST(MotionExport, RatesAndFrames) {
    Session s;
    s.Read("bvh", kBvh);
    VStreamOptionsMotion* motion = VStreamOptionsMotion::Create();
    VOxaUseSourceRate(motion, Session::Motion(s.read), s.scene);
    EXPECT_DOUBLE_EQ(motion->GetFrameRate(), 25.0);
    ASSERT_TRUE(VOxaSetMotionFramesToWrite(motion, s.scene, 3));
    EXPECT_EQ(motion->GetFrameCount(), 3);
    // A count already set is kept.
    motion->SetTimeMode(0, 100.0);
    ASSERT_TRUE(VOxaSetMotionFramesToWrite(motion, s.scene, 3));
    EXPECT_EQ(motion->GetFrameCount(), 3);
    motion->SetFrameCount(0);
    ASSERT_TRUE(VOxaSetMotionFramesToWrite(motion, s.scene, 3));
    EXPECT_EQ(motion->GetFrameCount(), 9);  // 0.08 s at 100 Hz
    motion->SetFrameCount(0);
    motion->SetTimeMode(0, 4e10);  // a tick a frame
    VString why;
    EXPECT_FALSE(VOxaSetMotionFramesToWrite(motion, s.scene, 3, &why));
    EXPECT_EQ(motion->GetFrameCount(), 0);
    EXPECT_NE(std::string(why.Buffer()).find("the take would need more than 999999999 frames"), std::string::npos)
        << why.Buffer();
    // Without read options (a geometry file), the scene's own rate.
    VStreamOptionsMotion* fromScene = VStreamOptionsMotion::Create();
    fromScene->SetTimeMode(0, 77.0);
    VOxaUseSourceRate(fromScene, nullptr, s.scene);
    EXPECT_DOUBLE_EQ(fromScene->GetFrameRate(), VTime::GetFrameRate(s.scene->GetGlobalTimeSettings().GetTimeMode()));
    fromScene->Destroy();
    motion->Destroy();
}

// A skeleton beside a mesh: the writers' refusal says where the chain forks and what to do.
TEST(MotionExport, ASkeletonBesideAMeshIsRefusedSayingWhatToDo) {
    Session s;
    s.Read("bvh", kBvh);
    VOxaNode* box = s.manager->CreateNode("Box");
    box->SetNodeAttribute(s.manager->CreateMesh());
    s.scene->GetRootNode()->AddChild(box);
    const std::string out = TempPath("beside.bvh");
    VStreamOptionsMotion* motion = s.WriteOptions(out);
    ASSERT_TRUE(VOxaPrepareMotionExport(s.scene, VOxaFindWriterFormat("bvh"), motion, Session::Motion(s.read)));
    EXPECT_FALSE(s.exporter->Export(s.scene, motion));
    const std::string error = s.exporter->GetError().GetLastErrorString().Buffer();
    EXPECT_NE(error.find("forks at the scene's root: write a scene that holds the skeleton alone"), std::string::npos)
        << error;
}

// Markers side by side further down the chain (their reference node below a plain group) still get
// their reference node as the skeleton writers' root.
TEST(MotionExport, MarkersBelowAGroupToASkeletonWriter) {
    Session s;
    s.Read("aoa", kAoa);
    VOxaNode* root = s.scene->GetRootNode();
    ASSERT_EQ(root->GetChildCount(), 1);
    VOxaNode* reference = root->GetChild(0);
    VOxaNode* group = s.manager->CreateNode("Group");
    ASSERT_TRUE(root->RemoveChild(reference) != nullptr);
    root->AddChild(group);
    group->AddChild(reference);
    const std::string out = TempPath("grouped.htr");
    VStreamOptionsMotion* motion = s.WriteOptions(out);
    ASSERT_TRUE(VOxaPrepareMotionExport(s.scene, VOxaFindWriterFormat("htr"), motion, Session::Motion(s.read)));
    EXPECT_TRUE(reference->IsMarked());
    EXPECT_FALSE(group->IsMarked());
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eTRANSLATION), 1);
    EXPECT_TRUE(s.exporter->Export(s.scene, motion)) << s.exporter->GetError().GetLastErrorString().Buffer();
}
