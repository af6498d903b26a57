// A scene written by the 3DS writer and read back by the 3DS reader keeps its meshes, their
// materials and the transforms of its nodes frame by frame.
#include <gtest/gtest.h>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_material.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"

using namespace writer3ds;

namespace {

bool ReadBack(VOxaSdkManager& manager, VOxaScene* scene, const std::string& path) {
    VOxaReader3DS reader(&manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    const bool ok = reader.FileOpen(path.c_str()) && reader.Read(scene, options.get());
    if (!ok) ADD_FAILURE() << "read: " << reader.GetError().GetLastErrorString().Buffer();
    reader.FileClose();
    return ok;
}

void ExpectSameGlobal(VOxaNode* a, VOxaNode* b, VTime time) {
    const VgeAMatrix& ma = a->EvaluateGlobalTransform(time);
    VgeTVector ta = ma.GetT(), ra = ma.GetR(), sa = ma.GetS();
    const VgeAMatrix& mb = b->EvaluateGlobalTransform(time);
    VgeTVector tb = mb.GetT(), rb = mb.GetR(), sb = mb.GetS();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(ta[i], tb[i], 1e-3) << a->GetName() << " T" << i << " at " << time.GetSecondDouble();
        EXPECT_NEAR(ra[i], rb[i], 1e-2) << a->GetName() << " R" << i << " at " << time.GetSecondDouble();
        EXPECT_NEAR(sa[i], sb[i], 1e-4) << a->GetName() << " S" << i << " at " << time.GetSecondDouble();
    }
}

}  // namespace

TEST(writer3ds_roundtrip, MeshesMaterialsAndTransformsPerFrame) {
    ScratchDir dir("round");
    Rig rig;
    VOxaNode* arm = AddNode(rig.manager, rig.Root(), "Arm");
    arm->SetLclTranslation(VgeTVector(1, 2, 3, 1));
    VOxaNode* box = nullptr;
    VOxaMesh* mesh = AddMesh(rig.manager, arm, "Box", Square(), {{0, 1, 2, 3}}, &box);
    VOxaMaterial* red = rig.manager.CreateMaterial("Red");
    mesh->AddMaterial(red, 0);
    mesh->InitMaterialIndices(4);
    VOxaTakeNode* take = box->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(10), 5, -2, 1);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), Frame30(10), 20, 45,
         -30);
    Key3(take->GetScaleX(), take->GetScaleY(), take->GetScaleZ(), VTime(0), 1, 1, 1);
    Key3(take->GetScaleX(), take->GetScaleY(), take->GetScaleZ(), Frame30(10), 2, 1, 1);
    ASSERT_TRUE(rig.WriteTo(dir / "r.3ds"));

    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    ASSERT_TRUE(ReadBack(manager, scene, dir / "r.3ds"));
    VOxaNode* readBox = scene->GetRootNode()->FindChild("Box", true);
    VOxaNode* readArm = scene->GetRootNode()->FindChild("$$$DUMMY.Arm", true);
    ASSERT_NE(readBox, nullptr);
    ASSERT_NE(readArm, nullptr);
    EXPECT_EQ(readBox->GetParent(), readArm);
    VOxaMesh* readMesh = readBox->GetMesh();
    ASSERT_NE(readMesh, nullptr);
    EXPECT_EQ(readMesh->GetPolygonCount(), 2);
    ASSERT_EQ(readMesh->GetMaterialCount(0), 1);
    EXPECT_STREQ(readMesh->GetMaterial(0, 0)->GetNameWithoutPrefix(), "Red");
    for (int f = 0; f <= 10; ++f) {
        ExpectSameGlobal(box, readBox, Frame30(f));
        ExpectSameGlobal(arm, readArm, Frame30(f));
    }
    // The world positions of the vertices agree at rest.
    const VgeAMatrix& wa = box->EvaluateGlobalTransform(VTime(0));
    const VgeAMatrix& wb = readBox->EvaluateGlobalTransform(VTime(0));
    ASSERT_EQ(readMesh->GetControlPointsCount(), 4);
    for (int i = 0; i < 4; ++i) {
        VgeTVector pa = VgeAMatrix(wa).MultT(mesh->GetControlPoints()[i]);
        VgeTVector pb = VgeAMatrix(wb).MultT(readMesh->GetControlPoints()[i]);
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(pa[j], pb[j], 1e-3) << i;
    }
}

// A camera that nothing animates keeps its angle trip after trip, whether the keyframer is written
// or not: the reader gives the camera the focal length that shows the file's angle on its film.
TEST(writer3ds_roundtrip, StillCameraKeepsItsAngle) {
    for (int anim = 0; anim < 2; ++anim) {
        SCOPED_TRACE(anim ? "with keyframer" : "without keyframer");
        ScratchDir dir(anim ? "still_anim" : "still");
        Rig rig;
        rig.options->SetOptionValue(VStreamOptions3ds::eANIM, anim);
        VOxaNode* cam = AddNode(rig.manager, rig.Root(), "Cam");
        VOxaCamera* camera = rig.manager.CreateCamera();
        cam->SetNodeAttribute(camera);
        camera->SetApertureMode(VOxaCameraTypes::eHORIZONTAL);
        camera->SetFocalLength(35.0);
        const double angle = camera->ComputeFieldOfViewFromFocalLength();
        std::string path = dir / "t0.3ds";
        ASSERT_TRUE(rig.WriteTo(path));
        for (int trip = 1; trip <= 3; ++trip) {
            VOxaSdkManager manager;
            VOxaScene* scene = manager.CreateScene();
            ASSERT_TRUE(ReadBack(manager, scene, path));
            VOxaNode* read = scene->GetRootNode()->FindChild("Cam", true);
            ASSERT_NE(read, nullptr);
            ASSERT_NE(read->GetCamera(), nullptr);
            EXPECT_NEAR(read->GetCamera()->ComputeFieldOfViewFromFocalLength(), angle, 0.01)
                << "trip " << trip;
            VOxaWriter3DS writer(&manager);
            std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
            static_cast<VStreamOptionsBase*>(options.get())->SetOptionValue(VStreamOptions3ds::eANIM, anim);
            path = dir / ("t" + std::to_string(trip) + ".3ds");
            ASSERT_TRUE(writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()) &&
                        writer.FileClose());
        }
    }
}
