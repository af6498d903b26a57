// The node's take channels, animation interval, copy, character links and marks.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_camera_switcher.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_skeleton.h"
#include "objects/vdatatype.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_limits.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

class scene_NodeTakes : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }
    VOxaNode* Make(const char* name) { return mManager->CreateNode(name); }

    // Handles given to nodes; they outlive the manager's objects.
    std::vector<std::unique_ptr<VOxaUserProperty>> mHandles;
    VOxaSdkManager* mManager = nullptr;
};

// The curves of a take's tree, depth first.
void CollectCurves(VFCurveNode* node, std::set<VFCurve*>& curves) {
    if (node->FCurveGet()) curves.insert(node->FCurveGet());
    for (int i = 0; i < node->GetCount(); ++i)
        CollectCurves(node->Get(i), curves);
}

// Everything the takes of `node` hold (tree, defaults as bits, keys), its channel links and
// its transform and visibility values, as text.
std::string DescribeTakes(VOxaNode* node) {
    std::string text;
    char line[160];
    std::function<void(VFCurveNode*, int)> walk = [&](VFCurveNode* n, int depth) {
        std::snprintf(line, sizeof line, "%*s%s %s %d", depth, "", n->GetName(),
                      n->GetDataTypeName() ? n->GetDataTypeName() : "-", n->GetLayerType());
        text += line;
        if (VFCurve* curve = n->FCurveGet()) {
            float value = curve->GetDefaultValue();
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            std::snprintf(line, sizeof line, " %08x %g/%g/%g %d", bits, curve->GetColor()[0],
                          curve->GetColor()[1], curve->GetColor()[2], curve->KeyGetCount());
            text += line;
        }
        text += "\n";
        for (int i = 0; i < n->GetCount(); ++i)
            walk(n->Get(i), depth + 1);
    };
    for (int t = 0; t < node->GetTakeNodeCount(); ++t) {
        text += std::string("take ") + node->GetTakeNodeName(t) + "\n";
        walk(node->GetTakeNode(t)->GetVFCurveNode(), 1);
    }
    for (int i = 0; i < node->GetChannelLinkCount(); ++i) {
        VOxaChannelLink* link = node->GetChannelLink(i);
        std::snprintf(line, sizeof line, "link %s %d %g\n", link->mProperty->GetName(), link->mComponent,
                      link->mCurve->GetDefaultValue());
        text += line;
    }
    VgeTVector v;
    for (const VgeTVector& value :
         {node->GetLclTranslation(v), node->GetLclRotation(v), node->GetLclScaling(v)}) {
        std::snprintf(line, sizeof line, "%a %a %a\n", value[0], value[1], value[2]);
        text += line;
    }
    std::snprintf(line, sizeof line, "visibility %a\n", node->GetVisibilityValue());
    return text + line;
}

TEST_F(scene_NodeTakes, DefaultTakeMadeLateHoldsWhatOneMadeAtOnceHolds) {
    // A node's default take is made when first asked for. Each story runs on a node whose take is
    // asked for at once and on one that is left alone; both end the same.
    using Story = std::function<void(VOxaNode*)>;
    const Story stories[] = {
        // Values followed by the curves, including a zero whose sign a curve does not follow
        // when it already holds zero, and one it does after another value.
        [](VOxaNode* n) {
            n->SetLclTranslation(VgeTVector(-0.0, 5.0, -0.0, 1.0));
            n->SetLclTranslation(VgeTVector(-0.0, -0.0, 3.0, 1.0));
            n->SetLclScaling(VgeTVector(2.0, -0.0, 1.0, 1.0));
            n->SetVisibility(false);
        },
        // A marker, a take of its own, then a change of kind with and without its channels.
        [this](VOxaNode* n) {
            VOxaMarker* marker = mManager->CreateMarker();
            marker->SetType(VOxaMarker::eOPTICAL);
            n->SetNodeAttribute(marker);
            n->SetLclRotation(VgeTVector(10.0, -0.0, 0.0, 1.0));
            n->AddTakeNode("Take 001");
            n->SetCurrentTakeNode(1);
            n->SetLclRotation(VgeTVector(-0.0, 20.0, 0.0, 1.0));
            VOxaMarker* ik = mManager->CreateMarker();
            ik->SetType(VOxaMarker::eIK_EFFECTOR);
            *marker = *ik;
        },
        // Attributes whose channels are linked to their properties, set after values changed.
        [this](VOxaNode* n) {
            n->SetLclTranslation(VgeTVector(1.0, 2.0, 3.0, 1.0));
            n->SetNodeAttribute(mManager->CreateSkeleton());
            n->SetNodeAttribute(mManager->CreateCamera());
            n->AddTakeNode("Take 001");
            VOxaLight* light = mManager->CreateLight();
            n->SetNodeAttribute(light);
            light->GetProperties()->GetIntensityProperty()->SetDouble(25.0);
        },
        // Animatable user properties added after the node was made, then a take of its own.
        [this](VOxaNode* n) {
            // A property marked animatable without a handle's notice gets no channel.
            n->GetPropertyHandler()->FindProperty("AxisLen")->GetInfo().SetFlag(kPropertyAnimatable, true);
            for (const char* type : {"Vector", "Color", "Number"}) {
                mHandles.emplace_back(new VOxaUserProperty(nullptr, type, type));
                VOxaUserProperty* extra = mHandles.back().get();
                extra->SetFlag(VOxaUserProperty::eAnimatable, true);
                n->AddUserProperty(extra);
                const double v[4] = {7.0, -0.0, 9.0, 0.5};
                ASSERT_NE(extra->GetProperty(), nullptr) << type;
                extra->GetProperty()->SetValue(v);
            }
            n->AddTakeNode("Take 001");
        },
        // A take named like the default one, and a take copied after the default take was read.
        [](VOxaNode* n) {
            n->AddTakeNode("default");
            n->SetLclScaling(VgeTVector(3.0, 3.0, 3.0, 1.0));
            n->GetDefaultLocalTransform();
            n->AddTakeNode("Walk");
        },
    };
    for (size_t i = 0; i < sizeof stories / sizeof stories[0]; ++i) {
        VOxaNode* atOnce = Make("Now");
        ASSERT_NE(atOnce->GetDefaultTakeNode()->GetVFCurveNode(), nullptr);
        VOxaNode* late = Make("Later");
        EXPECT_TRUE(late->HasDeferredDefaultChannels());
        stories[i](atOnce);
        stories[i](late);
        EXPECT_EQ(std::memcmp(late->GetDefaultLocalTransform().mData,
                              atOnce->GetDefaultLocalTransform().mData, sizeof(double) * 16),
                  0)
            << "story " << i;
        EXPECT_EQ(DescribeTakes(late), DescribeTakes(atOnce)) << "story " << i;
        EXPECT_FALSE(late->HasDeferredDefaultChannels());
    }
}

TEST_F(scene_NodeTakes, ChannelTreeOfANewNode) {
    VOxaNode* node = Make("Cube");
    VOxaTakeNode* take = node->GetDefaultTakeNode();
    VFCurveNode* root = take->GetVFCurveNode();
    ASSERT_EQ(root->GetCount(), 2);
    VFCurveNode* transform = root->Get(0);
    EXPECT_STREQ(transform->GetName(), "Transform");
    EXPECT_EQ(transform->FCurveGet(), nullptr);
    ASSERT_EQ(transform->GetCount(), 3);
    const char* const names[3] = {"T", "R", "S"};
    const char* const types[3] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling"};
    const int layers[3] = {1, 2, 3};
    for (int c = 0; c < 3; ++c) {
        VFCurveNode* channel = transform->Get(c);
        EXPECT_STREQ(channel->GetName(), names[c]);
        EXPECT_EQ(channel->GetDataType(), VDataType::Find(types[c]));
        EXPECT_EQ(channel->GetLayerType(), layers[c]);
        ASSERT_EQ(channel->GetCount(), 3);
        for (int k = 0; k < 3; ++k) {
            VFCurve* curve = channel->Get(k)->FCurveGet();
            ASSERT_NE(curve, nullptr);
            EXPECT_EQ(curve->GetDefaultValue(), c == 2 ? 1.0f : 0.0f) << names[c] << k;
            for (int rgb = 0; rgb < 3; ++rgb)
                EXPECT_EQ(curve->GetColor()[rgb], rgb == k ? 1.0f : 0.0f) << names[c] << k;
        }
    }
    VFCurveNode* visibility = root->Get(1);
    EXPECT_STREQ(visibility->GetName(), "Visibility");
    EXPECT_EQ(visibility->GetLayerType(), 1);
    ASSERT_NE(visibility->FCurveGet(), nullptr);
    EXPECT_EQ(visibility->FCurveGet()->GetDefaultValue(), 1.0f);
    EXPECT_EQ(visibility->FCurveGet()->GetColor()[0], 0.75f);
    EXPECT_EQ(visibility->FCurveGet()->GetColor()[1], 0.0f);

    // Every link is on a curve of the default take, and the default curves follow the property.
    std::set<VFCurve*> defaults;
    CollectCurves(root, defaults);
    ASSERT_EQ(node->GetChannelLinkCount(), 10) << "nine components and Visibility, linked once";
    for (int i = 0; i < node->GetChannelLinkCount(); ++i)
        EXPECT_TRUE(defaults.count(node->GetChannelLink(i)->mCurve)) << "link " << i;
    node->SetLclScaling(VgeTVector(2, 2, 2, 1));
    EXPECT_EQ(take->GetScaleY()->GetDefaultValue(), 2.0f);
}

TEST_F(scene_NodeTakes, LinksOnlyOnTheDefaultTake) {
    VOxaNode* node = Make("Cube");
    node->SetLclScaling(VgeTVector(2, 2, 2, 1));
    int links = node->GetChannelLinkCount();
    {
        VOxaTakeNode walk("Walk");
        node->CreateTakeNodeChannels(&walk);
        EXPECT_EQ(node->GetChannelLinkCount(), links) << "a take not named Default is not linked";
        EXPECT_EQ(walk.GetScaleZ()->GetDefaultValue(), 2.0f) << "defaults come from the property";
        EXPECT_NE(walk.GetTranslationX(), nullptr);
        EXPECT_NE(walk.GetVisibility(), nullptr);
    }
    {
        VOxaTakeNode other("dEfAuLt");
        node->CreateTakeNodeChannels(&other);
        EXPECT_EQ(node->GetChannelLinkCount(), links + 10) << "Default in any case is linked";
        // Every link writes its own property component, the first ones as the later ones.
        VgeTVector v;
        other.GetScaleZ()->SetDefaultValue(3.0f);
        EXPECT_EQ(node->GetLclScaling(v)[2], 3.0);
        node->GetDefaultTakeNode()->GetTranslationY()->SetDefaultValue(4.0f);
        EXPECT_EQ(node->GetLclTranslation(v)[1], 4.0);
    }
    EXPECT_EQ(node->GetChannelLinkCount(), links) << "links go with their curves";
    {
        // Links made after others went still write their properties.
        VOxaTakeNode again("Default");
        node->CreateTakeNodeChannels(&again);
        EXPECT_EQ(node->GetChannelLinkCount(), links + 10);
        VgeTVector v;
        again.GetVisibility()->SetDefaultValue(0.0f);
        EXPECT_EQ(node->GetVisibilityValue(), 0.0);
        node->GetDefaultTakeNode()->GetEulerRotationX()->SetDefaultValue(5.0f);
        EXPECT_EQ(node->GetLclRotation(v)[0], 5.0);
    }
    EXPECT_EQ(node->GetChannelLinkCount(), links);
}

TEST_F(scene_NodeTakes, AnimationIntervalCoversTheSubtree) {
    VOxaNode* parent = Make("Parent");
    VOxaNode* child = Make("Child");
    parent->AddChild(child);
    VTime start(100), stop(200);
    EXPECT_FALSE(parent->GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 100);

    VFCurve* curve = child->GetCurrentTakeNode()->GetTranslationX();
    curve->KeyAdd(VTime(50));
    curve->KeyAdd(VTime(500));
    EXPECT_TRUE(parent->GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 50);
    EXPECT_EQ(stop.Get(), 500);
    VTime wideStart(0), wideStop(1000);
    EXPECT_TRUE(parent->GetAnimationInterval(wideStart, wideStop));
    EXPECT_EQ(wideStart.Get(), 0) << "the caller's range is only widened";
    EXPECT_EQ(wideStop.Get(), 1000);

    EXPECT_FALSE(parent->SetCurrentTakeNode("Missing"));
    EXPECT_EQ(parent->GetCurrentTakeNodeIndex(), 0);
}

// An attribute that counts its live instances, so that destruction through the manager shows.
class CountedAttribute : public VOxaNodeAttribute {
public:
    CountedAttribute(VOxaSdkManager* manager, int type, int* live)
        : VOxaNodeAttribute(manager), mType(type), mLive(live) {
        ++*mLive;
    }
    ~CountedAttribute() override { --*mLive; }
    int GetAttributeType() const override { return mType; }

private:
    int mType;
    int* mLive;
};

TEST_F(scene_NodeTakes, CopyTakesSettingsPivotsLimitsAndTakes) {
    VOxaNode* source = Make("Source");
    VOxaNode* target = Make("Target");
    VOxaNode* aim = Make("Aim");
    source->SetTarget(aim);
    source->SetPostTargetRotation(VgeTVector(1, 2, 3, 0));
    source->SetVisibility(false);
    source->SetShadingMode(1);
    source->SetMultiTake(0);
    source->SetCullingMode(VOxaNode::eCULLING_ON_CW);
    source->SetRotationPivot(0, VgeTVector(4, 5, 6, 0));
    source->SetScalingPivotUpdateOffset(1, VgeTVector(7, 8, 9, 0));
    source->GetLimits()->mScalingLimits.SetLimitMaxActive(true, false, false);
    source->GetLimits()->SetRotationLimitsActive(true);
    source->AddTakeNode("Walk");
    source->SetCurrentTakeNode(1);
    source->AddCharacterLink(source, 0, 1, 2);

    int live = 0;
    auto* attribute = new CountedAttribute(mManager, VOxaNodeAttribute::eNull, &live);
    ASSERT_TRUE(mManager->RegisterNodeAttribute(attribute));
    target->SetNodeAttribute(attribute);

    target->Copy(*source);
    EXPECT_EQ(target->GetTarget(), aim);
    EXPECT_EQ(target->GetPostTargetRotation()[2], 3.0);
    EXPECT_FALSE(target->GetVisibility());
    EXPECT_EQ(target->GetShadingMode(), 1);
    EXPECT_EQ(target->GetMultiTake(), 0);
    EXPECT_EQ(target->GetCullingMode(), VOxaNode::eCULLING_ON_CW);
    EXPECT_EQ(target->GetRotationPivot(0)[1], 5.0);
    EXPECT_EQ(target->GetNodeProperties()->GetTransformSettings().mPivotFlags & 0x2, 0x2);
    EXPECT_EQ(target->GetScalingPivotUpdateOffset(1)[2], 9.0);
    EXPECT_TRUE(target->GetLimits()->mScalingLimits.mMaxActive[0]);
    EXPECT_TRUE(target->GetRotationActive());
    EXPECT_EQ(target->GetLimits()->GetLimitedNode(), target) << "the limits stay this node's";
    EXPECT_EQ(target->GetTakeNodeCount(), 2);
    EXPECT_EQ(target->GetCurrentTakeNodeIndex(), 1);
    EXPECT_EQ(target->GetCharacterLinkCount(), 0) << "character links are not copied";
    EXPECT_EQ(target->GetNodeAttribute(), nullptr) << "the source has no attribute";
    EXPECT_EQ(live, 0) << "the former attribute was destroyed through the manager";
}

TEST_F(scene_NodeTakes, CopyGivesTheOthersAttributeKindAndValues) {
    // A light into a node with a light: this node keeps its own light object, with the values.
    VOxaNode* lamp = Make("Lamp");
    VOxaLight* light = mManager->CreateLight();
    lamp->SetNodeAttribute(light);
    light->SetLightType(VOxaLight::eSPOT);
    light->SetGoboFileName("gobo.tif");
    VOxaNode* other = Make("Other");
    VOxaLight* own = mManager->CreateLight();
    other->SetNodeAttribute(own);
    other->Copy(*lamp);
    EXPECT_EQ(other->GetLight(), own);
    EXPECT_EQ(own->GetLightType(), VOxaLight::eSPOT);
    EXPECT_STREQ(own->GetGoboFileName(), "gobo.tif");

    // Into a node with a camera: the camera is destroyed and a new light is made.
    VOxaNode* viewer = Make("Viewer");
    viewer->SetNodeAttribute(mManager->CreateCamera());
    int attributes = mManager->GetNodeAttributeCount();
    viewer->Copy(*lamp);
    ASSERT_NE(viewer->GetLight(), nullptr);
    EXPECT_NE(viewer->GetLight(), light);
    EXPECT_EQ(viewer->GetCamera(), nullptr);
    EXPECT_EQ(viewer->GetLight()->GetLightType(), VOxaLight::eSPOT);
    EXPECT_EQ(mManager->GetNodeAttributeCount(), attributes) << "one made, one destroyed";

    // A camera switcher is made when missing and given the other's camera names.
    VOxaNode* switcher = Make("Switch");
    VOxaCameraSwitcher* names = mManager->CreateCameraSwitcher();
    switcher->SetNodeAttribute(names);
    names->AddCameraName("Producer Top");
    VOxaNode* copy = Make("SwitchCopy");
    copy->Copy(*switcher);
    ASSERT_NE(copy->GetCameraSwitcher(), nullptr);
    EXPECT_NE(copy->GetCameraSwitcher(), names);
    ASSERT_EQ(copy->GetCameraSwitcher()->GetCameraNameCount(), 1);
    EXPECT_STREQ(copy->GetCameraSwitcher()->GetCameraName(0), "Producer Top");

    // A mesh's points come along.
    VOxaNode* body = Make("Body");
    VOxaMesh* mesh = mManager->CreateMesh();
    body->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[2] = VgeTVector(1, 2, 3, 1);
    VOxaNode* twin = Make("Twin");
    twin->Copy(*body);
    ASSERT_NE(twin->GetMesh(), nullptr);
    ASSERT_EQ(twin->GetMesh()->GetControlPointsCount(), 3);
    EXPECT_EQ(twin->GetMesh()->GetControlPoints()[2][1], 2.0);
}

TEST_F(scene_NodeTakes, CharacterLinks) {
    VOxaNode* node = Make("Hips");
    int owner = 0;
    EXPECT_EQ(node->AddCharacterLink(&owner, 0, 3, 0), 0);
    EXPECT_EQ(node->AddCharacterLink(&owner, 1, 3, 0), 1);
    EXPECT_EQ(node->AddCharacterLink(&owner, 0, 3, 0), 2) << "duplicates are kept";
    EXPECT_EQ(node->FindCharacterLink(&owner, 1, 3, 0), 1);
    EXPECT_EQ(node->FindCharacterLink(nullptr, 1, 3, 0), -1);
    EXPECT_EQ(node->RemoveCharacterLink(&owner, 2, 3, 0), -1) << "another kind does not match";
    EXPECT_EQ(node->RemoveCharacterLink(&owner, 0, 3, 0), 0);
    EXPECT_EQ(node->GetCharacterLinkCount(), 2);

    void* o = nullptr;
    int kind = -1, index = -1, extra = -1;
    ASSERT_TRUE(node->GetCharacterLink(0, &o, &kind, &index, &extra));
    EXPECT_EQ(o, &owner);
    EXPECT_EQ(kind, 1);
    EXPECT_FALSE(node->GetCharacterLink(2, &o, &kind, &index, &extra));
    EXPECT_FALSE(node->GetCharacterLink(0, &o, nullptr, &index, &extra));
}

TEST_F(scene_NodeTakes, MarksAndTheirRecursiveQuery) {
    VOxaNode* root = Make("Root");
    VOxaNode* a = Make("A");
    VOxaNode* b = Make("B");
    root->AddChild(a);
    a->AddChild(b);
    EXPECT_FALSE(root->IsMarked(true));
    b->SetMarked(1);
    EXPECT_FALSE(root->IsMarked());
    EXPECT_TRUE(root->IsMarked(true));
    root->SetMarked(0, true);
    EXPECT_FALSE(b->IsMarked());
    a->SetMarked(2, true);
    EXPECT_TRUE(b->IsMarked());
    EXPECT_FALSE(root->IsMarked());
}

}  // namespace

// A node whose properties were never given a value holds its class's defaults: a copy of it gives
// those to a node that had its own, and the two then read alike everywhere.
TEST_F(scene_NodeTakes, CopyOfANodeWhosePropertiesWereNeverSet) {
    VOxaNode* fresh = Make("Fresh");
    VOxaNode* used = Make("Used");
    EXPECT_FALSE(fresh->HasTransformCaches()) << "made without evaluation records";
    EXPECT_TRUE(fresh->HasDeferredDefaultChannels());
    used->SetLclTranslation(VgeTVector(1, 2, 3, 1));
    used->SetLclScaling(VgeTVector(2, 2, 2, 1));
    used->SetVisibility(false);
    used->SetRotationPivot(0, VgeTVector(4, 5, 6, 0));
    used->EvaluateGlobalTransform(VTime(0));
    EXPECT_TRUE(used->HasTransformCaches());

    used->Copy(*fresh);
    VOxaNodeProperties* from = fresh->GetNodeProperties();
    VOxaNodeProperties* to = used->GetNodeProperties();
    ASSERT_EQ(to->GetPropertyCount(), from->GetPropertyCount());
    for (int i = 0; i < from->GetPropertyCount(); ++i) {
        VProperty* a = from->GetProperty(i);
        VProperty* b = to->GetProperty(i);
        ASSERT_STREQ(a->GetName(), b->GetName());
        double va[4] = {0, 0, 0, 0}, vb[4] = {0, 0, 0, 0};
        ASSERT_EQ(a->GetValue(va), b->GetValue(vb)) << a->GetName();
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(va[k], vb[k]) << a->GetName() << " component " << k;
    }
    EXPECT_EQ(std::memcmp(used->GetDefaultLocalTransform().mData, fresh->GetDefaultLocalTransform().mData,
                          sizeof(double) * 16),
              0);
    EXPECT_EQ(std::memcmp(used->EvaluateGlobalTransform(VTime(0)).mData,
                          fresh->EvaluateGlobalTransform(VTime(0)).mData, sizeof(double) * 16),
              0);
    EXPECT_TRUE(used->GetVisibility());
    EXPECT_EQ(DescribeTakes(used), DescribeTakes(fresh));
}

// A take whose channels are still to be made has no key: asking for the animation interval
// answers so without making them, and keys set later are found.
TEST_F(scene_NodeTakes, AnimationIntervalLeavesDeferredChannelsAlone) {
    VOxaNode* node = Make("Quiet");
    ASSERT_TRUE(node->HasDeferredDefaultChannels());
    VTime start(10), stop(20);
    EXPECT_FALSE(node->GetAnimationInterval(start, stop));
    EXPECT_FALSE(node->GetDefaultTakeNode()->GetAnimationInterval(start, stop));
    EXPECT_TRUE(node->HasDeferredDefaultChannels()) << "not made to be asked";
    EXPECT_EQ(start.Get(), 10);
    EXPECT_EQ(stop.Get(), 20);

    VFCurve* curve = node->GetDefaultTakeNode()->GetTranslationY();
    ASSERT_NE(curve, nullptr);
    EXPECT_FALSE(node->HasDeferredDefaultChannels());
    curve->KeyAdd(VTime(5));
    curve->KeyAdd(VTime(40));
    EXPECT_TRUE(node->GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 5);
    EXPECT_EQ(stop.Get(), 40);
    VTime takeStart(100), takeStop(0);
    EXPECT_TRUE(node->GetDefaultTakeNode()->GetAnimationInterval(takeStart, takeStop));
    EXPECT_EQ(takeStart.Get(), 5);
    EXPECT_EQ(takeStop.Get(), 40);
}
