#include "scene/voxa_take_node.h"

#include <gtest/gtest.h>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_shape.h"
#include "objects/vdatatype.h"
#include "objects/vobject.h"
#include "objects/voxa_object.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// A channel of three components "X", "Y", "Z" with curves, added below `parent`.
VFCurveNode* AddVector(VFCurveNode* parent, const char* name, const char* dataType = nullptr) {
    VFCurveNode* channel = VFCurveNode::CreateFromName(name, dataType ? VDataType::Find(dataType) : nullptr);
    parent->Add(channel);
    channel->FindOrCreate("X");
    channel->FindOrCreate("Y");
    channel->FindOrCreate("Z");
    return channel;
}

// A take with a node-like tree: "transform"/"T", "R", "S", "Visibility", a light colour and
// intensity.
void FillTake(VOxaTakeNode& take) {
    VFCurveNode* root = take.GetVFCurveNode();
    VFCurveNode* transform = root->FindOrCreate("transform", false);  // lookups ignore case
    AddVector(transform, "T", "Lcl Translation");
    AddVector(transform, "R", "Lcl Rotation");
    VFCurveNode* visibility = VFCurveNode::CreateFromName("Visibility", VDataType::Find("Visibility"));
    visibility->FCurveSet(VFCurve::Create());
    root->Add(visibility);
    AddVector(root, "Color");
    root->FindOrCreate("Intensity");
}

class Constraint : public VOxaObject {
public:
    Constraint() : VOxaObject(nullptr, "Constraint::Hand") {}
    int GetTypeCode() const override { return 8; }
};

}  // namespace

TEST(scene_TakeNode, CurveLookup) {
    VOxaTakeNode take("Run");
    EXPECT_STREQ(take.GetName(), "Run");
    EXPECT_STREQ(take.GetVFCurveNode()->GetName(), "Defaults");
    EXPECT_EQ(take.GetLastErrorID(), -1);
    EXPECT_EQ(take.GetVFCurve(nullptr, nullptr, nullptr), nullptr) << "a fresh root has no curve";
    EXPECT_EQ(take.GetLastErrorID(), 0);
    EXPECT_STREQ(take.GetLastErrorString(), "Curve not found");
    EXPECT_EQ(take.GetTranslationX(), nullptr);

    FillTake(take);
    VFCurveNode* root = take.GetVFCurveNode();
    VFCurve* tx = root->FindChild("transform/T/X")->FCurveGet();
    EXPECT_EQ(take.GetTranslationX(), tx);
    EXPECT_EQ(take.GetVFCurve("TRANSFORM", "t", "x"), tx);
    EXPECT_EQ(take.GetVisibility(), root->FindChild("Visibility")->FCurveGet());
    EXPECT_EQ(take.GetColorG(), root->FindChild("Color/Y")->FCurveGet());
    EXPECT_EQ(take.GetLightIntensity(), root->FindChild("Intensity")->FCurveGet());
    EXPECT_EQ(take.GetVFCurve("Transform", "T", nullptr), nullptr) << "a compound channel has no curve";
    EXPECT_EQ(take.GetVFCurve("Transform", "Q", "X"), nullptr);

    // By data type: depth first below the names; unknown type names fail.
    EXPECT_EQ(take.GetVFCurveByDataType("Transform", nullptr, VDataType::Find("Visibility")), nullptr);
    EXPECT_EQ(take.GetVFCurveByDataType(nullptr, nullptr, "Visibility"), take.GetVisibility());
    EXPECT_EQ(take.GetVFCurveByDataType(nullptr, "Intensity", (const VDataType*)nullptr),
              take.GetLightIntensity());
    take.GetError().ClearError();
    EXPECT_EQ(take.GetVFCurveByDataType(nullptr, nullptr, "No Such Type"), nullptr);
    EXPECT_STREQ(take.GetLastErrorString(), "Curve not found");

    EXPECT_FALSE(take.IsAnimated(nullptr, "Color", "Z")) << "a curve without keys";
    take.GetColorB()->KeyAdd(VTime(3));
    EXPECT_TRUE(take.IsAnimated(nullptr, "Color", "Z"));
    EXPECT_FALSE(take.IsAnimatedByDataType(nullptr, nullptr, VDataType::Find("Visibility")));

    // Through a user property: "Lcl Rotation" is "R"; a one-component channel has component 0.
    VObject block;
    VOxaUserProperty rotation(nullptr, block.CreateDynamicProperty("Lcl Rotation", eValueVector, nullptr));
    VOxaUserProperty intensity(nullptr, block.CreateDynamicProperty("Intensity", eValueNumber, nullptr));
    EXPECT_EQ(take.GetPropertyCurve(&rotation, 0), take.GetEulerRotationX());
    EXPECT_EQ(take.GetPropertyCurve(&rotation, 1), take.GetEulerRotationY());
    EXPECT_EQ(take.GetPropertyCurve(&rotation, -1), nullptr);
    EXPECT_EQ(take.GetPropertyCurve(&rotation, 3), nullptr);
    EXPECT_EQ(take.GetPropertyCurve(&intensity, 0), take.GetLightIntensity());
    EXPECT_EQ(take.GetPropertyCurve(&intensity, 1), nullptr);
    EXPECT_EQ(take.GetPropertyCurve(nullptr, 0), nullptr);

    // Constraint channels are named after the source without its prefix.
    Constraint source;
    root->FindOrCreate("Hand.Weight");
    AddVector(root, "Hand.Offset T");
    EXPECT_EQ(take.GetConstraintSourceWeight(&source), root->FindChild("Hand.Weight")->FCurveGet());
    EXPECT_EQ(take.GetConstraintSourceOffsetTranslationY(&source),
              root->FindChild("Hand.Offset T/Y")->FCurveGet());
    EXPECT_EQ(take.GetConstraintSourceOffsetRotationY(&source), nullptr);
}

TEST(scene_TakeNode, CopyAndInterval) {
    VOxaTakeNode take("Default");
    FillTake(take);
    take.GetTranslationY()->KeyAdd(VTime(20));
    take.GetLightIntensity()->KeyAdd(VTime(-4));
    VTime start(0), stop(0);
    EXPECT_TRUE(take.GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), -4);
    EXPECT_EQ(stop.Get(), 20);

    VOxaTakeNode copy(take);
    copy.SetName("Copy");
    EXPECT_STREQ(take.GetName(), "Default");
    EXPECT_NE(copy.GetVFCurveNode(), take.GetVFCurveNode());
    ASSERT_NE(copy.GetTranslationY(), nullptr);
    EXPECT_NE(copy.GetTranslationY(), take.GetTranslationY());
    EXPECT_EQ(copy.GetTranslationY()->KeyGetCount(), 1);
    copy.GetTranslationY()->KeyClear();
    EXPECT_EQ(take.GetTranslationY()->KeyGetCount(), 1);

    VOxaTakeNode empty("Empty");
    EXPECT_FALSE(empty.GetAnimationInterval(start, stop));
}

// A take's root is made when first asked for: a take nobody looked at answers lookups, intervals
// and copies as one with an empty "Defaults" root, and keeps one root from then on.
TEST(scene_TakeNode, RootMadeWhenAskedFor) {
    VOxaTakeNode untouched("Untouched");
    VTime start(5), stop(6);
    EXPECT_FALSE(untouched.GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 5);
    EXPECT_EQ(untouched.GetTranslationX(), nullptr);
    EXPECT_EQ(untouched.GetLastErrorID(), VOxaTakeNode::eCurveNotFound);

    VOxaTakeNode fresh("Fresh");
    VOxaTakeNode copy(fresh);  // copied before anybody asked for the original's tree
    VFCurveNode* root = copy.GetVFCurveNode();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "Defaults");
    EXPECT_EQ(root->GetCount(), 0);
    EXPECT_EQ(copy.GetVFCurveNode(), root);
    ASSERT_NE(fresh.GetVFCurveNode(), nullptr);
    EXPECT_NE(fresh.GetVFCurveNode(), root);
    EXPECT_STREQ(fresh.GetVFCurveNode()->GetName(), "Defaults");
    EXPECT_EQ(fresh.GetVFCurveNode(), fresh.GetVFCurveNode());
}

TEST(scene_TakeNode, ShapeCurve) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Face");
    ASSERT_NE(node->AddTakeNode("Smile"), nullptr);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    ASSERT_EQ(mesh->AddShape(manager.CreateShape(), "Blink"), 0);
    ASSERT_EQ(mesh->AddShape(manager.CreateShape(), "Frown"), 1);

    // Each take answers the curve of the shape's own channel in that take.
    for (int t = 0; t < 2; ++t) {
        VOxaTakeNode* take = node->GetTakeNode(t);
        ASSERT_NE(take, nullptr);
        for (int s = 0; s < 2; ++s) {
            VFCurveNode* channel = take->GetVFCurveNode()->FindChild(s == 0 ? "Blink" : "Frown");
            ASSERT_NE(channel, nullptr) << t << " " << s;
            VFCurve* curve = take->GetShapeCurve(mesh, s);
            EXPECT_NE(curve, nullptr) << t << " " << s;
            EXPECT_EQ(curve, channel->FCurveGet()) << t << " " << s;
        }
    }
    EXPECT_NE(node->GetTakeNode(0)->GetShapeCurve(mesh, 1), node->GetTakeNode(1)->GetShapeCurve(mesh, 1));

    // Failures: both objects report, each in its own words.
    VOxaTakeNode* smile = node->GetTakeNode(1);
    smile->GetVFCurveNode()->FindChild("Frown")->FCurveReplace(nullptr);
    EXPECT_EQ(smile->GetShapeCurve(mesh, 1), nullptr) << "channel without curve";
    EXPECT_EQ(smile->GetLastErrorID(), 0);
    EXPECT_STREQ(smile->GetLastErrorString(), "Curve not found");
    EXPECT_STREQ(mesh->GetLastErrorString(), "No shape curve found.");

    VOxaTakeNode elsewhere("Elsewhere");
    mesh->GetError().ClearError();
    EXPECT_EQ(elsewhere.GetShapeCurve(mesh, 0), nullptr) << "take without the channel";
    EXPECT_STREQ(elsewhere.GetLastErrorString(), "Curve not found");
    EXPECT_STREQ(mesh->GetLastErrorString(), "No shape curve found.");

    VOxaTakeNode* base = node->GetTakeNode(0);
    base->GetError().ClearError();
    EXPECT_EQ(base->GetShapeCurve(mesh, 2), nullptr) << "no such shape";
    EXPECT_EQ(base->GetLastErrorID(), 0);
    base->GetError().ClearError();
    EXPECT_EQ(base->GetShapeCurve(mesh, -1), nullptr);
    EXPECT_EQ(base->GetLastErrorID(), 0);
    base->GetError().ClearError();
    EXPECT_EQ(base->GetShapeCurve(nullptr, 0), nullptr) << "no geometry";
    EXPECT_STREQ(base->GetLastErrorString(), "Curve not found");
}

TEST(scene_TakeNode, RotateTranslation) {
    VOxaTakeNode missing("Default");
    EXPECT_FALSE(missing.RotateTranslation(VgeTVector(0, 0, 90, 0)));

    VOxaTakeNode take("Default");
    FillTake(take);
    VFCurve* x = take.GetTranslationX();
    VFCurve* y = take.GetTranslationY();
    VFCurve* z = take.GetTranslationZ();
    x->SetDefaultValue(10.0f);
    y->SetDefaultValue(20.0f);
    z->SetDefaultValue(7.0f);
    x->KeySetValue(x->KeyAdd(VTime(0)), 1.0f);
    x->KeySetValue(x->KeyAdd(VTime(10)), 3.0f);
    y->KeySetValue(y->KeyAdd(VTime(5)), 2.0f);
    x->SetColor(1.0f, 0.0f, 0.0f);
    x->SetPostExtrapolation(VFCurve::eExtrapolationRepetition);

    ASSERT_TRUE(take.RotateTranslation(VgeTVector(0, 0, 90, 0)));
    // (x, y, z) turned a quarter about Z is (-y, x, z); every curve gets every key time.
    const long long times[3] = {0, 5, 10};
    const float expected[3][3] = {{-2, 1, 7}, {-2, 2, 7}, {-2, 3, 7}};
    VFCurve* curves[3] = {x, y, z};
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(curves[c]->KeyGetCount(), 3) << "curve " << c;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(curves[c]->KeyGetTime(k).Get(), times[k]) << "curve " << c << " key " << k;
            EXPECT_NEAR(curves[c]->KeyGetValue(k), expected[k][c], 1e-5) << "curve " << c << " key " << k;
            EXPECT_EQ(curves[c]->KeyGetInterpolation(k), (unsigned)VFCurveKey::eInterpolationCubic);
        }
    }
    EXPECT_NEAR(x->GetDefaultValue(), -20.0, 1e-5);
    EXPECT_NEAR(y->GetDefaultValue(), 10.0, 1e-5);
    EXPECT_NEAR(z->GetDefaultValue(), 7.0, 1e-5);
    // The curves keep their own settings.
    EXPECT_FLOAT_EQ(x->GetColor()[0], 1.0f);
    EXPECT_FLOAT_EQ(x->GetColor()[1], 0.0f);
    EXPECT_EQ(x->GetPostExtrapolation(), VFCurve::eExtrapolationRepetition);
}
