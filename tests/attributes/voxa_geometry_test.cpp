#include "attributes/voxa_geometry.h"

#include <gtest/gtest.h>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_shape.h"
#include "objects/vdatatype.h"
#include "objects/voxa_property_handler.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// A geometry that is not a mesh, for the behaviours that differ.
class PatchLike : public VOxaGeometry {
public:
    using VOxaGeometry::VOxaGeometry;
    int GetAttributeType() const override { return ePatch; }
};

void ExpectColor(VFCurve* curve, float r, float g, float b, const char* what) {
    ASSERT_NE(curve, nullptr) << what;
    EXPECT_FLOAT_EQ(curve->GetColor()[0], r) << what;
    EXPECT_FLOAT_EQ(curve->GetColor()[1], g) << what;
    EXPECT_FLOAT_EQ(curve->GetColor()[2], b) << what;
}

}  // namespace

TEST(attributes_Geometry, LinksAndOutOfRange) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    EXPECT_EQ(mesh->GetLink(-1), nullptr);
    EXPECT_EQ(mesh->GetLastErrorID(), 0);
    EXPECT_STREQ(mesh->GetLastErrorString(), "Parameter out of range.");
    EXPECT_EQ(mesh->GetShape(0), nullptr);
    EXPECT_EQ(mesh->GetShapeName(0), nullptr);
    EXPECT_EQ(mesh->RemoveLink(0), nullptr);

    VOxaLink* a = manager.CreateLink();
    VOxaLink* b = manager.CreateLink();
    EXPECT_EQ(mesh->AddLink(a), 0);
    EXPECT_EQ(mesh->AddLink(b), 1);
    EXPECT_EQ(mesh->RemoveLink(0), a) << "removed, not destroyed";
    EXPECT_EQ(mesh->GetLink(0), b);
    mesh->ClearLinks();
    EXPECT_EQ(mesh->GetLinkCount(), 0);
    mesh->AddLink(a);
    EXPECT_EQ(manager.GetLinkCount(), 2);
    manager.DestroyNodeAttribute(mesh);
    EXPECT_EQ(manager.GetLinkCount(), 1) << "the geometry destroys the links it holds";
}

TEST(attributes_Geometry, AddShapeErrorsAndNames) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    VOxaShape* smile = manager.CreateShape();
    VOxaShape* frown = manager.CreateShape();
    EXPECT_EQ(mesh->AddShape(nullptr, "A"), -1);
    EXPECT_EQ(mesh->GetLastErrorID(), 1);
    EXPECT_EQ(mesh->AddShape(smile, " Smile "), 0);
    EXPECT_STREQ(mesh->GetShapeName(0), "Smile");
    EXPECT_EQ(mesh->AddShape(smile, "Other"), -1);
    EXPECT_EQ(mesh->GetLastErrorID(), 6);
    EXPECT_EQ(mesh->AddShape(frown, "   "), -1);
    EXPECT_EQ(mesh->GetLastErrorID(), 7);
    EXPECT_EQ(mesh->AddShape(frown, nullptr), -1);
    EXPECT_EQ(mesh->GetLastErrorID(), 7);
    EXPECT_EQ(mesh->AddShape(frown, "Smile"), -1);
    EXPECT_EQ(mesh->GetLastErrorID(), 8);
    EXPECT_STREQ(mesh->GetLastErrorString(), "Shape name is already used.");
    EXPECT_EQ(mesh->GetShapeCount(), 1) << "failures change nothing";
    EXPECT_EQ(mesh->AddShape(frown, "smile"), 1) << "names differing in case are different";
    EXPECT_EQ(mesh->GetShape(1), frown);
    EXPECT_EQ(mesh->GetDefaultShapeChannelValue(0), 0.0) << "no node";
}

TEST(attributes_Geometry, ShapeChannelsInEveryTake) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Face");
    ASSERT_NE(node->AddTakeNode("Take 001"), nullptr);
    VOxaMesh* mesh = manager.CreateMesh();
    // A shape added before attaching gets its channel and property on SetNode.
    mesh->AddShape(manager.CreateShape(), "S0");
    node->SetNodeAttribute(mesh);
    for (int i = 1; i < 21; ++i) {
        std::string name = "S" + std::to_string(i);
        ASSERT_EQ(mesh->AddShape(manager.CreateShape(), name.c_str()), i);
    }
    for (int t = 0; t < 2; ++t) {
        VOxaTakeNode* take = node->GetTakeNode(t);
        ExpectColor(mesh->GetShapeChannel(take, 0), 1.0f, 0.0f, 0.0f, "S0");
        ExpectColor(mesh->GetShapeChannel(take, 2), 0.0f, 0.0f, 1.0f, "S2");
        ExpectColor(mesh->GetShapeChannel(take, 14), 0.65f, 0.49f, 0.31f, "S14");
        ExpectColor(mesh->GetShapeChannel(take, 20), 1.0f, 0.0f, 0.0f, "S20 wraps to the first colour");
    }
    VProperty* property = node->GetPropertyHandler()->FindProperty("S2");
    ASSERT_NE(property, nullptr);
    EXPECT_STREQ(property->GetDataType()->GetName(), "Shape");
    EXPECT_TRUE(property->IsAnimatable());
    EXPECT_TRUE(property->HasStateFlag(kPropertyAnimated));
    EXPECT_EQ(property->GetDouble(), 0.0);
    EXPECT_NE(node->GetPropertyHandler()->FindProperty("S0"), nullptr);

    // A take added later gets the channels too.
    VOxaTakeNode* later = node->AddTakeNode("Take 002");
    ASSERT_NE(later, nullptr);
    EXPECT_NE(mesh->GetShapeChannel(later, 5), nullptr);

    VOxaTakeNode elsewhere("Elsewhere");
    EXPECT_EQ(mesh->GetShapeChannel(&elsewhere, 0), nullptr);
    EXPECT_EQ(mesh->GetLastErrorID(), 9);
    EXPECT_STREQ(mesh->GetLastErrorString(), "No shape curve found.");
    EXPECT_EQ(mesh->GetShapeChannel(nullptr, 0), nullptr);
    EXPECT_EQ(mesh->GetShapeChannel(later, 21), nullptr);

    mesh->SetDefaultShapeChannelValue(3, 0.25);
    EXPECT_EQ(mesh->GetDefaultShapeChannelValue(3), 0.25);
    EXPECT_EQ(mesh->GetShapeChannel(node->GetDefaultTakeNode(), 3)->GetDefaultValue(), 0.25f);
    mesh->SetDefaultShapeChannelValue(3, 1e300);  // saturates, no undefined conversion
    EXPECT_GT(mesh->GetDefaultShapeChannelValue(3), 1e38);

    mesh->ClearShapes();
    EXPECT_EQ(mesh->GetShapeCount(), 0);
    EXPECT_EQ(mesh->GetNode(), node);
    for (int t = 0; t < node->GetTakeNodeCount(); ++t) {
        EXPECT_EQ(node->GetTakeNode(t)->GetVFCurveNode()->FindChild("S2"), nullptr) << t;
    }
}

TEST(attributes_Geometry, CopyReplacesLinksAndShapes) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Target");
    scene->GetRootNode()->AddChild(node);

    VOxaMesh* source = manager.CreateMesh();
    source->InitControlPoints(3);
    VOxaLink* link = manager.CreateLink();
    link->AddControlPointIndex(2, 0.5);
    source->AddLink(link);
    VOxaShape* open = manager.CreateShape();
    open->InitControlPoints(3);
    open->GetControlPoints()[1] = VgeTVector(0, 1, 0, 1);
    source->AddShape(open, "Open");
    source->AddShape(manager.CreateShape(), "Closed");
    VgeAMatrix pivot(VgeTVector(1, 2, 3, 0), VgeTVector(0, 0, 0, 0), VgeTVector(1, 1, 1, 0));
    source->SetPivot(pivot);

    VOxaMesh* target = manager.CreateMesh();
    node->SetNodeAttribute(target);
    target->AddShape(manager.CreateShape(), "Old");
    target->AddLink(manager.CreateLink());
    ASSERT_NE(target->GetShapeChannel(node->GetDefaultTakeNode(), 0), nullptr);

    *target = *source;
    ASSERT_EQ(target->GetLinkCount(), 1);
    EXPECT_NE(target->GetLink(0), link);
    ASSERT_EQ(target->GetLink(0)->GetControlPointIndicesCount(), 1);
    EXPECT_EQ(target->GetLink(0)->GetControlPointIndices()[0], 2);
    EXPECT_EQ(manager.GetLinkCount(), 2) << "the old link was destroyed";
    ASSERT_EQ(target->GetShapeCount(), 2);
    EXPECT_NE(target->GetShape(0), open);
    EXPECT_STREQ(target->GetShapeName(1), "Closed");
    EXPECT_EQ(target->GetShape(0)->GetControlPoints()[1], VgeTVector(0, 1, 0, 1));
    VFCurveNode* root = node->GetDefaultTakeNode()->GetVFCurveNode();
    EXPECT_EQ(root->FindChild("Old"), nullptr);
    EXPECT_NE(target->GetShapeChannel(node->GetDefaultTakeNode(), 1), nullptr);
    VgeAMatrix copied;
    EXPECT_EQ(target->GetPivot(copied)[3][2], 3.0);

    // Destroying the node's mesh later must not reach the destroyed shapes.
    EXPECT_TRUE(manager.DestroyNodeAttribute(target));
}

TEST(attributes_Geometry, ApplyPivotToPointsAndNormals) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(3);
    VgeTVector* points = mesh->GetControlPoints();
    points[0] = VgeTVector(1, 0, 0, 0.5);
    points[1] = VgeTVector(0, 1, 0, 1);
    points[2] = VgeTVector(0, 0, 1, 1);
    mesh->InitNormals();
    VgeTVector* normals = mesh->GetNormals();
    normals[0] = VgeTVector(1, 0, 0, 7);
    normals[1] = VgeTVector(0, 1, 0, 1);
    normals[2] = VgeTVector(0, 0, 1, 1);

    // A pure translation moves the points and leaves the normals.
    mesh->SetPivot(VgeAMatrix(VgeTVector(1, 2, 3, 0), VgeTVector(), VgeTVector(1, 1, 1, 0)));
    mesh->ApplyPivot();
    EXPECT_EQ(points[0], VgeTVector(2, 2, 3, 0));
    EXPECT_EQ(points[0][3], 0.5) << "w is kept";
    EXPECT_EQ(normals[0], VgeTVector(1, 0, 0, 0));

    // Mirrored in x and turned 90 degrees about z. The 3x3 part is S x Rz with rows
    // (0, -1, 0), (-1, 0, 0), (0, 0, 1). Its rotation, with all three scales taken as -1, has
    // rows (0, 1, 0), (1, 0, 0), (0, 0, -1).
    points[0] = VgeTVector(1, 0, 0, 1);
    points[1] = VgeTVector(0, 1, 0, 1);
    points[2] = VgeTVector(0, 0, 1, 1);
    mesh->SetPivot(VgeAMatrix(VgeTVector(1, 2, 3, 0), VgeTVector(0, 0, 90, 0), VgeTVector(-1, 1, 1, 0)));
    mesh->ApplyPivot();
    EXPECT_EQ(points[0], VgeTVector(1, 1, 3, 0));
    EXPECT_EQ(points[1], VgeTVector(0, 2, 3, 0));
    EXPECT_EQ(points[2], VgeTVector(1, 2, 4, 0));
    EXPECT_EQ(normals[0], VgeTVector(0, 1, 0, 0));
    EXPECT_EQ(normals[0][3], 7.0);
    EXPECT_EQ(normals[1], VgeTVector(1, 0, 0, 0));
    EXPECT_EQ(normals[2], VgeTVector(0, 0, -1, 0));
    VgeAMatrix kept;
    EXPECT_NEAR(mesh->GetPivot(kept)[0][1], -1.0, 1e-12) << "the pivot stays";
}

TEST(attributes_Geometry, OlderShapeChannelNames) {
    VOxaSdkManager manager;
    VOxaTakeNode take("Take");
    VFCurveNode* root = take.GetVFCurveNode();

    PatchLike patch(&manager);
    patch.AddShape(manager.CreateShape(), "Smile");
    root->FindOrCreate("Smile");
    root->FindOrCreate("Shape 01 (Shape)")->FCurveGet()->SetDefaultValue(0.7f);
    patch.AdoptLegacyShapeChannels(&take);
    EXPECT_EQ(root->FindChild("Shape 01 (Shape)"), nullptr);
    EXPECT_FLOAT_EQ(patch.GetShapeChannel(&take, 0)->GetDefaultValue(), 0.7f);

    // Renamed for the older layout and back, keeping the curve.
    patch.RenameShapeChannels(&take);
    EXPECT_STREQ(patch.GetShapeName(0), "Shape 01");
    ASSERT_NE(root->FindChild("Shape 01 (Shape)"), nullptr);
    EXPECT_EQ(root->FindChild("Smile"), nullptr);
    patch.RestoreShapeChannels(&take);
    EXPECT_STREQ(patch.GetShapeName(0), "Smile");
    EXPECT_EQ(root->FindChild("Shape 01 (Shape)"), nullptr);
    EXPECT_FLOAT_EQ(patch.GetShapeChannel(&take, 0)->GetDefaultValue(), 0.7f);

    // A mesh keeps its shape names; its channels lose a trailing " (Shape)" while written.
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->AddShape(manager.CreateShape(), "Blink (Shape)");
    root->FindOrCreate("Blink (Shape)")->FCurveGet()->SetDefaultValue(0.3f);
    root->FindOrCreate("Blink");
    mesh->AdoptLegacyShapeChannels(&take);
    EXPECT_NE(root->FindChild("Blink"), nullptr) << "meshes adopt nothing";
    root->DeleteChild(root->FindChild("Blink"));
    mesh->RenameShapeChannels(&take);
    EXPECT_STREQ(mesh->GetShapeName(0), "Blink (Shape)");
    ASSERT_NE(root->FindChild("Blink"), nullptr);
    EXPECT_FLOAT_EQ(root->FindChild("Blink")->FCurveGet()->GetDefaultValue(), 0.3f);
    mesh->RestoreShapeChannels(&take);
    EXPECT_NE(mesh->GetShapeChannel(&take, 0), nullptr);
}
