// Default transforms follow changes made after a first evaluation: a scene written once, then
// changed (a node moved with its setter or through its property, a rotation order or pivot
// changed, a node given another parent) and written again, gives the file of a scene built with
// the changed values from the start. Checked through the OBJ, DXF, 3DS and BVH writers; and the
// default matrices themselves after each kind of change.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "animation/fcurve.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_skeleton.h"
#include "objects/vproperty.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

namespace {

using Edit = std::function<void(VOxaScene*)>;

VOxaNode* Named(VOxaScene* scene, const char* name) {
    return scene->GetRootNode()->FindChild(name, true);
}

// Two groups under the root, "Group" holding a mesh node "Shape" with a triangle, "Other" empty.
void BuildMeshScene(VOxaSdkManager* manager, VOxaScene* scene) {
    VOxaNode* group = manager->CreateNode("Group");
    VOxaNode* other = manager->CreateNode("Other");
    VOxaNode* shape = manager->CreateNode("Shape");
    scene->GetRootNode()->AddChild(group);
    scene->GetRootNode()->AddChild(other);
    group->AddChild(shape);
    group->SetLclTranslation(VgeTVector(1, 2, 3, 0));
    other->SetLclTranslation(VgeTVector(-4, 0, 1, 0));
    other->SetLclRotation(VgeTVector(0, 90, 0, 0));
    shape->SetLclRotation(VgeTVector(10, 20, 30, 0));
    VOxaMesh* mesh = manager->CreateMesh();
    shape->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[0] = VgeTVector(0, 0, 0, 1);
    mesh->GetControlPoints()[1] = VgeTVector(1, 0, 0, 1);
    mesh->GetControlPoints()[2] = VgeTVector(0, 1, 0, 1);
    mesh->BeginPolygon(-1, -1, -1);
    for (int v = 0; v < 3; ++v)
        mesh->AddPolygonVertex(v, -1);
    mesh->EndPolygon();
}

// A joint chain "Hips" > "Spine" > "Head" below a group "Rig", keyed on a take.
void BuildSkeletonScene(VOxaSdkManager* manager, VOxaScene* scene) {
    VOxaNode* rig = manager->CreateNode("Rig");
    scene->GetRootNode()->AddChild(rig);
    rig->SetLclTranslation(VgeTVector(0, 5, 0, 0));
    VOxaNode* parent = rig;
    for (const char* name : {"Hips", "Spine", "Head"}) {
        VOxaNode* node = manager->CreateNode(name);
        VOxaSkeleton* skeleton = manager->CreateSkeleton();
        skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
        node->SetNodeAttribute(skeleton);
        parent->AddChild(node);
        node->SetLclTranslation(VgeTVector(0, 10, 1, 0));
        node->AddTakeNode("Take");
        node->SetCurrentTakeNode("Take");
        VFCurve* rx = node->GetCurrentTakeNode()->GetEulerRotationX();
        rx->KeyAppendFast(VTime(0), 10.0f);
        rx->KeyAppendFast(VTime(VTime::kOneSecond / 30), 20.0f);
        parent = node;
    }
    Named(scene, "Hips")->SetMarked(1);
}

// Writes the scene with the writer of the path's extension (BVH: two frames, from the global
// position); false when the export fails.
bool Write(VOxaSdkManager* manager, VOxaScene* scene, const std::string& path) {
    VOxaExporter* exporter = manager->CreateExporter();
    if (!exporter || !exporter->Initialize(path.c_str()) ||
        !exporter->SetFileFormat(VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str()))))
        return false;
    VStreamOptions* options = exporter->GetWriteOptions();
    if (options && options->IsA(VStreamOptionsMotion::ClassId)) {
        auto* motion = static_cast<VStreamOptionsMotion*>(options);
        motion->SetTimeMode(0, 30.0);
        motion->SetFrameCount(2);
        motion->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    }
    const bool ok = exporter->Export(scene, options);
    if (options) options->Destroy();
    return ok;
}

class DefaultRefresh : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }

    // The file of a scene written, changed by `edit` and written again, beside the file of a scene
    // built with `edit` applied before anything was evaluated; also the first file.
    void Compare(void (*build)(VOxaSdkManager*, VOxaScene*), const char* extension, const Edit& edit,
                 const std::string& what) {
        oxa_test::ScratchDir dir("oxa_default_refresh_", extension);
        const std::string first = dir / (std::string("first.") + extension);
        const std::string again = dir / (std::string("again.") + extension);
        const std::string fresh = dir / (std::string("fresh.") + extension);
        // Each scene in a manager of its own, so that both keep the same node names.
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* changed = manager->CreateScene();
        build(manager, changed);
        const bool firstWritten = Write(manager, changed, first);
        edit(changed);
        const bool againWritten = Write(manager, changed, again);
        delete manager;
        manager = VOxaSdkManager::Create();
        VOxaScene* direct = manager->CreateScene();
        build(manager, direct);
        edit(direct);
        const bool freshWritten = Write(manager, direct, fresh);
        delete manager;
        ASSERT_TRUE(firstWritten && againWritten && freshWritten) << what;
        const std::string text = oxa_test::ReadFile(again);
        EXPECT_NE(text, oxa_test::ReadFile(first)) << what << ": the change did not reach the file";
        EXPECT_EQ(text, oxa_test::ReadFile(fresh)) << what;
    }

    VOxaSdkManager* mManager = nullptr;
};

// The changes every writer is checked with.
const struct {
    const char* name;
    Edit edit;
} kMeshEdits[] = {
    {"setter", [](VOxaScene* s) { Named(s, "Group")->SetLclTranslation(VgeTVector(7, -1, 2, 0)); }},
    {"property",
     [](VOxaScene* s) {
         const double r[4] = {0, 0, 45, 0};
         Named(s, "Shape")->GetNodeProperties()->FindProperty("Lcl Rotation")->SetValue(r);
     }},
    {"scaling", [](VOxaScene* s) { Named(s, "Group")->SetLclScaling(VgeTVector(2, 2, 2, 0)); }},
    {"parent", [](VOxaScene* s) { Named(s, "Other")->AddChild(Named(s, "Shape")); }},
};

}  // namespace

TEST_F(DefaultRefresh, MeshWritersWriteTheMovedScene) {
    for (const char* extension : {"obj", "dxf", "3ds"})
        for (const auto& change : kMeshEdits)
            Compare(BuildMeshScene, extension, change.edit, std::string(extension) + " " + change.name);
}

TEST_F(DefaultRefresh, BvhWritesTheMovedRig) {
    // The root joint is written from its global position: its parent's changes count.
    Compare(
        BuildSkeletonScene, "bvh",
        [](VOxaScene* s) { Named(s, "Rig")->SetLclTranslation(VgeTVector(3, 1, 0, 0)); }, "bvh parent moved");
    Compare(
        BuildSkeletonScene, "bvh",
        [](VOxaScene* s) {
            const double t[4] = {2, 12, 0, 0};
            Named(s, "Spine")->GetNodeProperties()->FindProperty("Lcl Translation")->SetValue(t);
        },
        "bvh joint moved through its property");
    Compare(
        BuildSkeletonScene, "bvh",
        [](VOxaScene* s) {
            VOxaNode* rig = Named(s, "Rig");
            rig->SetLclRotation(VgeTVector(0, 0, 30, 0));
            rig->SetRotationActive(true);
            rig->SetRotationOrder(0, eEULER_ZYX);
            rig->SetRotationPivot(0, VgeTVector(1, 0, 0, 0));
        },
        "bvh parent order and pivot");
}

TEST_F(DefaultRefresh, DefaultMatricesFollowEachKindOfChange) {
    VOxaScene* scene = mManager->CreateScene();
    BuildMeshScene(mManager, scene);
    VOxaNode* group = Named(scene, "Group");
    VOxaNode* shape = Named(scene, "Shape");
    EXPECT_EQ(shape->GetDefaultGlobalTransform()[3][0], 1.0);
    EXPECT_EQ(group->GetDefaultLocalTransform()[3][1], 2.0);

    VgeTVector pivotGlobal;
    shape->GetPivotGlobalTranslation(pivotGlobal, 0);
    EXPECT_EQ(pivotGlobal[0], 1.0);
    group->SetLclTranslation(VgeTVector(5, -2, 3, 0));
    EXPECT_EQ(group->GetDefaultLocalTransform()[3][0], 5.0);
    EXPECT_EQ(shape->GetDefaultGlobalTransform()[3][0], 5.0);
    // The pivot-set global matrix (what the DXF writer places geometry with) follows too.
    shape->GetPivotGlobalTranslation(pivotGlobal, 0);
    EXPECT_EQ(pivotGlobal[0], 5.0);
    EXPECT_EQ(pivotGlobal[1], -2.0);
    EXPECT_EQ(pivotGlobal[2], 3.0);

    // Pivots, offsets and the rotation order move the global matrix.
    group->SetRotationOffset(0, VgeTVector(1, 0, 0, 0));
    EXPECT_EQ(shape->GetDefaultGlobalTransform()[3][0], 6.0);
    group->SetLclRotation(VgeTVector(0, 0, 90, 0));
    group->SetRotationPivot(0, VgeTVector(1, 0, 0, 0));
    // (0, 0, 0) about the pivot (1, 0, 0) turned 90 degrees about Z lands at (1, -1, 0).
    EXPECT_NEAR(shape->GetDefaultGlobalTransform()[3][0], 7.0, 1e-12);
    EXPECT_NEAR(shape->GetDefaultGlobalTransform()[3][1], -3.0, 1e-12);
    const VgeAMatrix xyz = shape->GetDefaultGlobalTransform();
    group->SetLclRotation(VgeTVector(90, 0, 90, 0));
    group->SetRotationActive(true);
    const VgeAMatrix beforeOrder = shape->GetDefaultGlobalTransform();
    group->SetRotationOrder(0, eEULER_ZYX);
    EXPECT_NE(shape->GetDefaultGlobalTransform()[0][1], beforeOrder[0][1]);
    EXPECT_NE(shape->GetDefaultGlobalTransform()[0][1], xyz[0][1]);

    // A new parent.
    VOxaNode* other = Named(scene, "Other");
    other->AddChild(shape);
    EXPECT_EQ(shape->GetDefaultGlobalTransform()[3][0], -4.0);
    scene->GetRootNode()->AddChild(shape);
    EXPECT_EQ(shape->GetDefaultGlobalTransform()[3][0], 0.0);

    // The take cache keeps its rule: same time, same answer until the take is set again.
    VOxaNode* node = mManager->CreateNode("Keyed");
    scene->GetRootNode()->AddChild(node);
    node->SetLclTranslation(VgeTVector(1, 0, 0, 0));
    EXPECT_EQ(node->EvaluateLocalTransform(VTime(0))[3][0], 1.0);
    node->SetLclTranslation(VgeTVector(2, 0, 0, 0));
    EXPECT_EQ(node->EvaluateLocalTransform(VTime(0))[3][0], 1.0);
    EXPECT_EQ(node->GetDefaultLocalTransform()[3][0], 2.0);
    node->SetCurrentTakeNode(0);
    EXPECT_EQ(node->EvaluateLocalTransform(VTime(0))[3][0], 2.0);
}
