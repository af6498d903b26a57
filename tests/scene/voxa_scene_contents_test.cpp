#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// An attribute of a chosen type code.
class TestAttribute : public VOxaNodeAttribute {
public:
    TestAttribute(VOxaSdkManager* manager, int type) : VOxaNodeAttribute(manager), mType(type) {}
    int GetAttributeType() const override { return mType; }

private:
    int mType;
};

class scene_SceneContents : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        ASSERT_NE(mManager, nullptr);
        mContents = new VOxaSceneContents(mManager);
    }
    void TearDown() override {
        delete mContents;
        delete mManager;
    }

    // A node carrying a registered test attribute of `type` (none for -1).
    VOxaNode* Node(const char* name, int type = -1) {
        VOxaNode* node = mManager->CreateNode(name);
        if (type >= 0) {
            auto* attribute = new TestAttribute(mManager, type);
            mManager->RegisterNodeAttribute(attribute);
            node->SetNodeAttribute(attribute);
        }
        return node;
    }

    static std::vector<std::string> Names(const VArrayTemplate<VOxaNode*>& nodes) {
        std::vector<std::string> names;
        for (int i = 0; i < nodes.GetCount(); ++i)
            names.push_back(nodes[i]->GetName());
        return names;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaSceneContents* mContents = nullptr;
};

TEST_F(scene_SceneContents, RootAndNodeErrors) {
    VOxaNode* root = mContents->GetRootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "Model::RootNode");
    EXPECT_EQ(root->GetSceneContents(), mContents);
    EXPECT_EQ(mContents->GetNodeCount(), 1);
    EXPECT_EQ(mContents->GetNode(0), root);
    EXPECT_EQ(mContents->FindNodeByName("Model::RootNode"), root);
    EXPECT_EQ(mContents->FindNodeByName("RootNode"), nullptr) << "lookups use the full name";

    EXPECT_FALSE(mContents->AddNode(nullptr));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eNodeIsNull);
    EXPECT_STREQ(mContents->GetLastErrorString(), "Node is null.");
    EXPECT_FALSE(mContents->AddNode(root));
    EXPECT_STREQ(mContents->GetLastErrorString(), "Node is already owned by the entity.");
    VOxaNode* stranger = mManager->CreateNode("stranger");
    EXPECT_FALSE(mContents->RemoveNode(stranger));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eNodeNotOwned);
    EXPECT_STREQ(mContents->GetLastErrorString(), "Node does not belong to the entity.");
    EXPECT_FALSE(mContents->RemoveNode(nullptr));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eNodeIsNull);

    EXPECT_TRUE(mContents->RemoveNode(root));
    EXPECT_EQ(mContents->GetRootNode(), nullptr) << "removing the root leaves no root";
    EXPECT_EQ(mContents->GetNodeCount(), 0);
    EXPECT_TRUE(mContents->AddNode(root));  // listed again, so that its link is cut at the end
    EXPECT_EQ(mContents->GetRootNode(), nullptr) << "adding a node does not make it the root";
}

TEST_F(scene_SceneContents, DestructionCutsTheNodesLinks) {
    VOxaNode* root = mContents->GetRootNode();
    VOxaNode* child = Node("child");
    ASSERT_TRUE(root->AddChild(child));
    EXPECT_EQ(child->GetSceneContents(), mContents);
    delete mContents;
    mContents = nullptr;
    EXPECT_EQ(root->GetSceneContents(), nullptr);
    EXPECT_EQ(child->GetSceneContents(), nullptr);
    EXPECT_EQ(mManager->GetNodeCount(), 2) << "the contents destroy nothing";
    EXPECT_TRUE(mManager->DestroyNode(root, true));
    EXPECT_EQ(mManager->GetNodeCount(), 0);
}

TEST_F(scene_SceneContents, UseCountsAndIndexErrors) {
    VOxaMaterial* m = mManager->CreateMaterial("skin");
    EXPECT_FALSE(mContents->RemoveMaterial(m));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eMaterialNotFound);
    EXPECT_STREQ(mContents->GetLastErrorString(), "Material not found.");

    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(mContents->AddMaterial(m));
    EXPECT_EQ(mContents->GetMaterialCount(), 1) << "a material is listed once however often it is used";
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(mContents->RemoveMaterial(m)) << "removal " << i;
        EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eMaterialInUse);
        EXPECT_STREQ(mContents->GetLastErrorString(), "Material still in use.");
        EXPECT_EQ(mContents->GetMaterial(0), m);
    }
    EXPECT_TRUE(mContents->RemoveMaterial(m)) << "the third removal lets it go";
    EXPECT_EQ(mContents->GetMaterialCount(), 0);
    EXPECT_FALSE(mContents->RemoveMaterial(m));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eMaterialNotFound);
    EXPECT_FALSE(mContents->AddMaterial(nullptr));
    EXPECT_EQ(mContents->GetMaterialCount(), 0);

    VOxaTexture* t = mManager->CreateTexture("wood");
    ASSERT_TRUE(mContents->AddTexture(t));
    for (int index : {-1, 1}) {
        mContents->GetError().ClearError();
        EXPECT_EQ(mContents->GetTexture(index), nullptr) << "index " << index;
        EXPECT_STREQ(mContents->GetLastErrorString(), "Parameter is out of range.") << "index " << index;
    }
    EXPECT_EQ(mContents->GetTextureByName("Texture::stone"), nullptr);
    EXPECT_STREQ(mContents->GetLastErrorString(), "Texture not found.");
}

TEST_F(scene_SceneContents, MaterialOrderAndLookups) {
    std::vector<VOxaMaterial*> materials;
    for (int i = 0; i < 2000; ++i) {
        materials.push_back(mManager->CreateMaterial(("m" + std::to_string(i)).c_str()));
        mContents->AddMaterial(materials.back());
    }
    // Every even one leaves; material 1 leaves and comes back, so it goes last.
    for (int i = 0; i < 2000; i += 2)
        ASSERT_TRUE(mContents->RemoveMaterial(materials[i]));
    ASSERT_TRUE(mContents->RemoveMaterial(materials[1]));
    ASSERT_TRUE(mContents->AddMaterial(materials[1]));
    ASSERT_EQ(mContents->GetMaterialCount(), 1000);
    EXPECT_EQ(mContents->GetMaterial(0), materials[3]);
    EXPECT_EQ(mContents->GetMaterial(998), materials[1999]);
    EXPECT_EQ(mContents->GetMaterial(999), materials[1]);
    EXPECT_EQ(mContents->GetMaterialIndex("Material::m1"), 999);
    EXPECT_EQ(mContents->GetMaterialByName("Material::m7"), materials[7]);

    EXPECT_EQ(mContents->GetMaterialByName("Material::m8"), nullptr) << "m8 left the list";
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eMaterialNotFound);
    EXPECT_EQ(mContents->GetMaterialIndex("material::m7"), -1) << "names compare case-sensitively";
    EXPECT_EQ(mContents->GetMaterialByName(nullptr), nullptr);
    EXPECT_EQ(mContents->GetMaterial(1000), nullptr);
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eOutOfRange);

    // The first listed material of a name wins, and renames are followed.
    VOxaMaterial* twin = mManager->CreateMaterial("m3");
    mContents->AddMaterial(twin);
    EXPECT_EQ(mContents->GetMaterialByName("Material::m3"), materials[3]);
    materials[3]->SetName("renamed");
    EXPECT_EQ(mContents->GetMaterialByName("Material::m3"), twin);
    EXPECT_EQ(mContents->GetMaterialIndex("Material::renamed"), 0);
}

TEST_F(scene_SceneContents, VideoNameClash) {
    VOxaVideo* v = mManager->CreateVideo("clip");
    VOxaVideo* same = mManager->CreateVideo("clip");
    ASSERT_STREQ(same->GetName(), v->GetName());
    EXPECT_TRUE(mContents->AddVideo(v));
    EXPECT_FALSE(mContents->AddVideo(same));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eVideoNameClash);
    EXPECT_STREQ(mContents->GetLastErrorString(), "Video name clash.");
    EXPECT_EQ(mContents->GetVideoCount(), 1);
    EXPECT_TRUE(mContents->AddVideo(v)) << "the listed video itself counts one use more";
    EXPECT_EQ(mContents->GetVideoCount(), 1);

    VOxaVideo* other = mManager->CreateVideo("Clip");
    EXPECT_TRUE(mContents->AddVideo(other)) << "names compare case-sensitively";
    EXPECT_EQ(mContents->GetVideoByName("Video::Clip"), other);
    EXPECT_EQ(mContents->GetVideo(1), other);
    EXPECT_EQ(mContents->GetVideoByName("Video::none"), nullptr);
    EXPECT_STREQ(mContents->GetLastErrorString(), "Video not found.");

    EXPECT_FALSE(mContents->RemoveVideo(v));
    EXPECT_STREQ(mContents->GetLastErrorString(), "Video still in use.");
    EXPECT_TRUE(mContents->RemoveVideo(v));
    EXPECT_FALSE(mContents->RemoveVideo(v));
    EXPECT_STREQ(mContents->GetLastErrorString(), "Video not found.");
    EXPECT_TRUE(mContents->AddVideo(same)) << "the name is free once the other video left";
    EXPECT_EQ(mContents->GetVideo(1), same);
}

TEST_F(scene_SceneContents, GenericNodesAndObjectList) {
    VOxaGenericNode* g = mManager->CreateGenericNode("Gen");
    EXPECT_TRUE(mContents->AddGenericNode(g));
    EXPECT_TRUE(mContents->AddGenericNode(g));
    EXPECT_EQ(mContents->GetGenericNodeCount(), 1);
    EXPECT_EQ(mContents->GetGenericNodeByName("Gen"), g);
    mContents->GetError().ClearError();
    EXPECT_EQ(mContents->GetGenericNodeByName("gen"), nullptr);
    EXPECT_EQ(mContents->GetLastErrorID(), -1) << "a missing generic node is no error";
    EXPECT_FALSE(mContents->RemoveGenericNode(g));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eGenericNodeInUse);
    EXPECT_STREQ(mContents->GetLastErrorString(), "");
    EXPECT_TRUE(mContents->RemoveGenericNode(g));
    EXPECT_FALSE(mContents->RemoveGenericNode(g));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eGenericNodeNotFound);
    EXPECT_EQ(mContents->GetGenericNode(0), nullptr);
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eOutOfRange);

    // Any object with a property handler can stand for a constraint or a deformer here.
    EXPECT_FALSE(mContents->AddConstraint(nullptr));
    EXPECT_TRUE(mContents->AddConstraint(g));
    EXPECT_FALSE(mContents->AddConstraint(g)) << "listed already";
    EXPECT_FALSE(mContents->AddDeformer(g));
    EXPECT_EQ(mContents->GetObjectList().GetCount(), 1);
    EXPECT_EQ(VObjectList::GetOwnerObject(mContents->GetObjectList().Get(0)), g);
    EXPECT_TRUE(mContents->RemoveConstraint(nullptr));
    EXPECT_TRUE(mContents->RemoveDeformer(nullptr));
    EXPECT_TRUE(mContents->RemoveConstraint(g));
    EXPECT_FALSE(mContents->RemoveConstraint(g));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eConstraintNotFound);
    EXPECT_FALSE(mContents->RemoveDeformer(g));
    EXPECT_EQ(mContents->GetLastErrorID(), VOxaSceneContents::eDeformerNotFound);
    EXPECT_TRUE(mContents->AddDeformer(g));
    EXPECT_TRUE(mContents->RemoveDeformer(g));
    EXPECT_EQ(mContents->GetObjectList().GetCount(), 0);
}

TEST_F(scene_SceneContents, FillNodeArrayByAttributeType) {
    VOxaNode* root = mContents->GetRootNode();
    VOxaNode* a = Node("a", 2);
    VOxaNode* b = Node("b");
    VOxaNode* b1 = Node("b1", 2);
    VOxaNode* a1 = Node("a1", 2);
    VOxaNode* c = Node("c", 3);
    // Joining order a, b, b1, a1, c; depth-first order a, a1, b, b1, c.
    ASSERT_TRUE(root->AddChild(a));
    ASSERT_TRUE(root->AddChild(b));
    ASSERT_TRUE(b->AddChild(b1));
    ASSERT_TRUE(a->AddChild(a1));
    ASSERT_TRUE(root->AddChild(c));
    // Listed but outside the hierarchy.
    VOxaNode* stray = Node("stray", 2);
    ASSERT_TRUE(mContents->AddNode(stray));

    VArrayTemplate<VOxaNode*> nodes;
    nodes.Add(root);  // the array is emptied first
    mContents->FillNodeArrayByAttributeType(nodes, 2, true);
    EXPECT_EQ(Names(nodes), (std::vector<std::string>{"Model::a", "Model::a1", "Model::b1"}));
    mContents->FillNodeArrayByAttributeType(nodes, 2, false);
    EXPECT_EQ(Names(nodes), (std::vector<std::string>{"Model::a", "Model::b1", "Model::a1", "Model::stray"}));
    mContents->FillNodeArrayByAttributeType(nodes, 3, true);
    EXPECT_EQ(Names(nodes), (std::vector<std::string>{"Model::c"}));
    mContents->FillNodeArrayByAttributeType(nodes, 7, false);
    EXPECT_EQ(nodes.GetCount(), 0);

    mContents->RemoveNode(stray);
    ASSERT_TRUE(mContents->RemoveNode(root));
    mContents->FillNodeArrayByAttributeType(nodes, 2, true);
    EXPECT_EQ(nodes.GetCount(), 0) << "without root nothing is reachable";
    mContents->AddNode(root);
}

}  // namespace
