#include <gtest/gtest.h>

#include <string>

#include "attributes/voxa_deformer.h"
#include "attributes/voxa_geometry.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_skeleton.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "objects/vobject_list.h"
#include "objects/voxa_property_handler.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

struct Rig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();

    VOxaNode* AddNode(const char* name, VOxaNode* parent = nullptr) {
        VOxaNode* node = manager.CreateNode(name);
        (parent ? parent : scene->GetRootNode())->AddChild(node);
        return node;
    }
    VOxaNode* AddMeshNode(const char* name) {
        VOxaNode* node = AddNode(name);
        node->SetNodeAttribute(manager.CreateMesh());
        return node;
    }
    // A link of `mesh` to `bone` holding the control points (i, i / 10) for i in [first, first + 3).
    VOxaLink* Bind(VOxaNode* mesh, VOxaNode* bone, int first) {
        VOxaLink* link = manager.CreateLink();
        link->SetLink(bone);
        link->SetLinkMode(VOxaLink::eTotal1);
        for (int i = first; i < first + 3; ++i)
            link->AddControlPointIndex(i, i / 10.0);
        mesh->GetGeometry()->AddLink(link);
        return link;
    }
    int ManagerDeformerCount() const {
        return manager.GetObjectList().GetFilteredCount(VOxaDeformer::GetClassId());
    }
};

// The names of the deformers listed in the contents, in order, joined by '|'.
std::string DeformerNames(const VOxaScene* scene) {
    std::string names;
    for (int i = 0; i < scene->GetDeformerCount(); ++i) {
        if (i) names += '|';
        names += scene->GetDeformer(i)->GetName();
    }
    return names;
}

std::string Indices(const VOxaLayerElement* element) {
    std::string out;
    const VArrayTemplate<int>& indices = element->GetIndexArray();
    for (int i = 0; i < indices.GetCount(); ++i)
        out += (i ? "," : "") + std::to_string(indices.GetAt(i));
    return out;
}

}  // namespace

TEST(scene_SceneConversions, LinksToDeformersAndBackOnSharedBones) {
    Rig rig;
    VOxaNode* arm = rig.AddNode("Arm");
    VOxaNode* leg = rig.AddNode("Leg");
    VOxaNode* reference = rig.AddNode("Reference");
    VOxaNode* body = rig.AddMeshNode("Body");
    VOxaNode* head = rig.AddMeshNode("Head");
    head->SetName("Model::ns::Head");  // only the first scope is the prefix
    rig.AddMeshNode("Unskinned");

    // Names taken before the conversion: " 1" is free for the leg, " 2" is not.
    for (const char* taken : {"Cluster Leg", "Cluster Leg 2"}) {
        VOxaDeformer* d = rig.manager.CreateDeformer(taken, "Cluster");
        ASSERT_TRUE(rig.scene->AddDeformer(d));
    }
    VOxaLink* bodyArm = rig.Bind(body, arm, 0);
    bodyArm->SetAssociateModel(reference);
    rig.Bind(body, leg, 3);
    body->GetGeometry()->AddLink(rig.manager.CreateLink());  // no link node: skipped
    body->GetGeometry()->AddLink(nullptr);                   // skipped
    rig.Bind(head, arm, 6);
    rig.Bind(head, leg, 9);

    rig.scene->ConvertLinksToDeformers();
    EXPECT_EQ(DeformerNames(rig.scene),
              "SubDeformer::Cluster Leg|SubDeformer::Cluster Leg 2|"
              "Deformer::Skin Body|SubDeformer::Cluster Arm|SubDeformer::Cluster Leg 1|"
              "Deformer::Skin ns::Head|SubDeformer::Cluster Arm 1|SubDeformer::Cluster Leg 3");
    VOxaDeformer* headArm = rig.scene->GetDeformer("SubDeformer::Cluster Arm 1");
    ASSERT_NE(headArm, nullptr);
    ASSERT_EQ(headArm->GetIndexes().GetCount(), 3);
    EXPECT_EQ(headArm->GetIndexes().GetAt(2), 8);
    EXPECT_TRUE(headArm->GetPropertyHandler()->IsConnectedSrc(arm->GetPropertyHandler()));
    VOxaDeformer* bodySkin = rig.scene->GetDeformer("Deformer::Skin Body");
    ASSERT_NE(bodySkin, nullptr);
    EXPECT_TRUE(body->GetPropertyHandler()->IsConnectedSrc(bodySkin->GetPropertyHandler()));
    EXPECT_EQ(bodySkin->GetPropertyHandler()->GetSrcCount(), 2) << "two clusters with a link node";
    auto* bodyArmBlock = static_cast<VOxaClusterDeformerProperties*>(
        rig.scene->GetDeformer("SubDeformer::Cluster Arm")->GetPropertyHandler());
    ASSERT_EQ(bodyArmBlock->GetSrcModelReference()->GetCount(), 1);
    EXPECT_EQ(bodyArmBlock->GetSrcModelReference()->GetAt(0), reference->GetPropertyHandler());

    // Back: the geometries lose their links, then get them again from the deformers.
    body->GetGeometry()->ClearLinks();
    head->GetGeometry()->ClearLinks();
    rig.scene->ConvertDeformersToLinks();
    ASSERT_EQ(body->GetGeometry()->GetLinkCount(), 2);
    ASSERT_EQ(head->GetGeometry()->GetLinkCount(), 2);
    VOxaLink* link = body->GetGeometry()->GetLink(0);
    EXPECT_EQ(link->GetLink(), arm);
    EXPECT_EQ(link->GetAssociateModel(), reference);
    link = head->GetGeometry()->GetLink(1);
    EXPECT_EQ(link->GetLink(), leg);
    EXPECT_EQ(link->GetAssociateModel(), nullptr);
    ASSERT_EQ(link->GetControlPointIndicesCount(), 3);
    EXPECT_EQ(link->GetControlPointIndices()[0], 9);

    // A skin on a node without geometry and a cluster without sources: the first makes no link,
    // the second a link without node.
    VOxaDeformer* strayCluster = rig.manager.CreateDeformer("Stray", "Cluster");
    rig.scene->AddDeformer(strayCluster);
    bodySkin->GetPropertyHandler()->ConnectSrc(strayCluster->GetPropertyHandler());
    arm->GetPropertyHandler()->ConnectSrc(bodySkin->GetPropertyHandler());
    body->GetGeometry()->ClearLinks();
    rig.scene->ConvertDeformersToLinks();
    ASSERT_EQ(body->GetGeometry()->GetLinkCount(), 3);
    EXPECT_EQ(body->GetGeometry()->GetLink(2)->GetLink(), nullptr);
    EXPECT_EQ(arm->GetGeometry(), nullptr);

    rig.scene->DestroyAllDeformers();
    EXPECT_EQ(rig.scene->GetDeformerCount(), 0);
    EXPECT_EQ(rig.ManagerDeformerCount(), 0);
    EXPECT_EQ(body->GetPropertyHandler()->GetSrcCount(), 0) << "the skin's connection went with it";
    rig.scene->DestroyAllDeformers();  // nothing left to do
}

TEST(scene_SceneConversions, LayerElementsToConnectionsAndBack) {
    Rig rig;
    VOxaNode* node = rig.AddMeshNode("Mesh");
    VOxaGeometry* geometry = node->GetGeometry();
    VOxaPropertyHandler* handler = node->GetPropertyHandler();
    VOxaMaterial* m0 = rig.manager.CreateMaterial("M0");
    VOxaMaterial* m1 = rig.manager.CreateMaterial("M1");
    VOxaMaterial* m2 = rig.manager.CreateMaterial("M2");
    VOxaTexture* t0 = rig.manager.CreateTexture("T0");
    VOxaTexture* t1 = rig.manager.CreateTexture("T1");

    // Writing: the element's materials become sources of the node, once each; null entries are
    // skipped and indices past the direct array cleared.
    ASSERT_EQ(geometry->CreateLayer(), 0);
    auto* materials = new VOxaLayerElementMaterial;
    geometry->GetLayer(0)->SetMaterials(materials);
    materials->SetReferenceMode(eINDEX_TO_DIRECT);
    for (VOxaMaterial* m : {m0, (VOxaMaterial*)nullptr, m1, m0})
        materials->GetDirectArray().Add(m);
    for (int i : {0, 4, 7, 3, -2})
        materials->GetIndexArray().Add(i);
    auto* textures = new VOxaLayerElementTexture;
    geometry->GetLayer(0)->SetTextures(textures);
    textures->SetReferenceMode(eINDEX);  // not connected in this mode
    textures->GetDirectArray().Add(t0);
    rig.scene->ConnectLayerMaterials();
    rig.scene->ConnectLayerTextures();
    rig.scene->ConnectLayerMaterials();
    ASSERT_EQ(handler->GetSrcCount(), 2);
    EXPECT_EQ(handler->GetSrc(0), m0->GetPropertyHandler());
    EXPECT_EQ(handler->GetSrc(1), m1->GetPropertyHandler());
    EXPECT_EQ(Indices(materials), "0,-1,-1,3,-2");

    // Reading: an index array using material sources 0 and 2 keeps those two materials, and
    // the entries of source 2 now read 1; out-of-range entries are left alone.
    handler->ConnectSrc(m2->GetPropertyHandler());
    materials->GetDirectArray().Clear();
    materials->GetIndexArray().Clear();
    for (int i : {2, 0, 2, 9, -1})
        materials->GetIndexArray().Add(i);
    textures->SetReferenceMode(eDIRECT);
    textures->GetDirectArray().Clear();
    handler->ConnectSrc(t1->GetPropertyHandler());
    handler->ConnectSrc(t0->GetPropertyHandler());
    rig.scene->FillLayerMaterials();
    rig.scene->FillLayerTextures();
    ASSERT_EQ(materials->GetDirectArray().GetCount(), 2);
    EXPECT_EQ(materials->GetDirectArray().GetAt(0), m0);
    EXPECT_EQ(materials->GetDirectArray().GetAt(1), m2);
    EXPECT_EQ(Indices(materials), "1,0,1,9,-1");
    ASSERT_EQ(textures->GetDirectArray().GetCount(), 2);
    EXPECT_EQ(textures->GetDirectArray().GetAt(0), t1);
    EXPECT_EQ(textures->GetDirectArray().GetAt(1), t0);

    // A direct array that is not empty: new positions lie past the sources' own, and an entry
    // moved to position k is not taken for source k afterwards.
    materials->GetDirectArray().Clear();
    materials->GetDirectArray().Add(m1);
    materials->GetIndexArray().Clear();
    for (int i : {0, 1})
        materials->GetIndexArray().Add(i);
    rig.scene->FillLayerMaterials();
    ASSERT_EQ(materials->GetDirectArray().GetCount(), 3);
    EXPECT_EQ(materials->GetDirectArray().GetAt(1), m0);
    EXPECT_EQ(materials->GetDirectArray().GetAt(2), m1);
    EXPECT_EQ(Indices(materials), "1,2");
}

TEST(scene_SceneConversions, SkeletonRootInheritType) {
    Rig rig;
    auto skeleton = [&](const char* name, VOxaNode* parent, bool flag) {
        VOxaNode* node = rig.AddNode(name, parent);
        node->SetNodeAttribute(rig.manager.CreateSkeleton());
        node->SetTransformInheritType(eINHERIT_Rrs);
        node->SetConversionFlag(flag);
        return node;
    };
    VOxaNode* root = rig.scene->GetRootNode();
    VOxaNode* hip = skeleton("Hip", root, true);
    VOxaNode* knee = skeleton("Knee", hip, true);
    VOxaNode* group = rig.AddNode("Group");
    VOxaNode* deep = skeleton("Deep", group, true);
    VOxaNode* unflagged = skeleton("Unflagged", root, false);
    VOxaNode* plain = rig.AddNode("Plain", group);
    plain->SetTransformInheritType(eINHERIT_Rrs);
    plain->SetConversionFlag(true);

    rig.scene->ConvertSkeletonRootInheritType(root);
    auto type = [](VOxaNode* node) {
        ETransformInheritType t = eINHERIT_RrSs;
        node->GetTransformInheritType(t);
        return (int)t;
    };
    EXPECT_EQ(type(hip), 1) << "skeleton root under a plain parent";
    EXPECT_EQ(type(deep), 1) << "found below a plain node";
    EXPECT_EQ(type(knee), 2) << "parent is a skeleton";
    EXPECT_EQ(type(unflagged), 2) << "not marked for conversion";
    EXPECT_EQ(type(plain), 2) << "not a skeleton";
    rig.scene->ConvertSkeletonRootInheritType(nullptr);
}

TEST(scene_SceneConversions, VideosOnlyWhereNoneIsAttached) {
    Rig rig;
    VOxaSceneContents* contents = rig.scene->GetContents();
    VOxaTexture* unnamed = rig.manager.CreateTexture("Wood");
    unnamed->SetFileName("maps/wood.png");
    unnamed->SetRelativeFileName("wood.png");
    VOxaTexture* named = rig.manager.CreateTexture("Stone");
    named->SetFileName("maps/stone.png");
    named->SetMediaName("Video::StoneClip");
    VOxaTexture* fileless = rig.manager.CreateTexture("Blank");
    VOxaTexture* attached = rig.manager.CreateTexture("Sky");
    attached->SetFileName("maps/sky.png");
    VOxaVideo* existing = rig.manager.CreateVideo("SkyClip");
    attached->GetPropertyHandler()->ConnectSrc(existing->GetPropertyHandler());
    for (VOxaTexture* t : {unnamed, named, fileless, attached})
        ASSERT_TRUE(contents->AddTexture(t));
    VOxaNode* lamp = rig.AddNode("Lamp");
    lamp->SetNodeAttribute(rig.manager.CreateLight());
    lamp->GetLight()->SetGoboFileName("gobos/star.tif");
    // Another source ahead of where the video would go does not count as a video.
    lamp->GetPropertyHandler()->ConnectSrc(rig.manager.CreateMaterial("Glow")->GetPropertyHandler());
    VOxaNode* dark = rig.AddNode("Dark");
    dark->SetNodeAttribute(rig.manager.CreateLight());  // no gobo: no video

    rig.scene->CreateVideos();
    auto videoOf = [](VOxaObject* object) -> VOxaVideo* {
        VOxaPropertyHandler* handler = object->GetPropertyHandler();
        VOxaVideo* found = nullptr;
        for (int i = 0; i < handler->GetSrcCount(); ++i) {
            VOxaObject* owner = VObjectList::GetOwnerObject(handler->GetSrc(i));
            if (owner && owner->GetTypeCode() == 5) {
                EXPECT_EQ(found, nullptr) << object->GetName() << " has two videos";
                found = static_cast<VOxaVideo*>(owner);
            }
        }
        return found;
    };
    EXPECT_EQ(rig.manager.GetVideoCount(), 4) << "three made, one there before";
    VOxaVideo* video = videoOf(unnamed);
    ASSERT_NE(video, nullptr);
    EXPECT_STREQ(video->GetName(), "Video::Wood") << "named after the texture";
    EXPECT_STREQ(video->GetFileName(), "maps/wood.png");
    EXPECT_STREQ(video->GetRelativeFileName(), "wood.png");
    ASSERT_NE(videoOf(named), nullptr);
    EXPECT_STREQ(videoOf(named)->GetName(), "Video::StoneClip");
    EXPECT_EQ(videoOf(fileless), nullptr);
    EXPECT_EQ(videoOf(attached), existing);
    video = videoOf(lamp);
    ASSERT_NE(video, nullptr);
    EXPECT_STREQ(video->GetName(), "Video::star.tif");
    EXPECT_STREQ(video->GetFileName(), "gobos/star.tif");
    EXPECT_EQ(videoOf(dark), nullptr);

    rig.scene->CreateVideos();
    EXPECT_EQ(rig.manager.GetVideoCount(), 4) << "a second run makes nothing";
}
