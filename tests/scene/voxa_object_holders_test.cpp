// An object that another holds (a pose's scene, a scene's switcher and information, an object's
// property handles) is refused by a destroy or taken out of its holder first, and objects of two
// managers are not linked to each other. Each case once left a holder pointing at freed memory,
// which the build's address sanitizer reports.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_deformer.h"
#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "character/voxa_character.h"
#include "character/voxa_character_link.h"
#include "character/voxa_character_pose.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "character/voxa_control_set.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_scene_info.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "tests/support/test_files.h"

namespace {

struct DestroyOptions {
    void operator()(VStreamOptions* options) const {
        if (options) options->Destroy();
    }
};
using OptionsPtr = std::unique_ptr<VStreamOptions, DestroyOptions>;

struct ManagerDeleter {
    void operator()(VOxaSdkManager* manager) const { delete manager; }
};
using ManagerPtr = std::unique_ptr<VOxaSdkManager, ManagerDeleter>;

ManagerPtr NewManager() {
    return ManagerPtr(VOxaSdkManager::Create());
}

}  // namespace

TEST(scene_ObjectHolders, PoseSceneIsDestroyedOnlyWithItsPose) {
    ManagerPtr manager = NewManager();
    VOxaScene* scene = manager->CreateScene();
    VOxaCharacterPose* pose = scene->GetCharacterPose(scene->CreateCharacterPose("P"));
    ASSERT_NE(pose, nullptr);
    ASSERT_EQ(manager->GetSceneCount(), 2);
    VOxaScene* own = manager->GetScene(1);
    EXPECT_NE(own, scene);
    EXPECT_FALSE(manager->DestroyScene(own, true));
    EXPECT_EQ(manager->GetLastErrorID(), VOxaSdkManager::eObjectInUse);
    EXPECT_EQ(manager->GetSceneCount(), 2);
    EXPECT_NE(pose->GetCharacter(), nullptr);
    // The pose goes with its scene, and its own scene with it.
    EXPECT_TRUE(scene->DestroyCharacterPose(0));
    EXPECT_EQ(manager->GetSceneCount(), 1);

    // A pose inside a pose's scene, and the manager deleted with both.
    scene->CreateCharacterPose("Q");
    VOxaScene* inner = manager->GetScene(1);
    inner->CreateCharacterPose("R");
    EXPECT_EQ(manager->GetSceneCount(), 3);
}

TEST(scene_ObjectHolders, CameraSwitcherAndSceneInfo) {
    ManagerPtr manager = NewManager();
    VOxaScene* scene = manager->CreateScene();
    VOxaNode* old = scene->GetCameraSwitcher();
    VOxaNode* child = manager->CreateNode("Below");
    VOxaNode* grandchild = manager->CreateNode("Further");
    old->AddChild(child);
    child->AddChild(grandchild);
    // A node below the switcher leaves its subtree before that is destroyed.
    scene->SetCameraSwitcher(grandchild);
    EXPECT_EQ(scene->GetCameraSwitcher(), grandchild);
    EXPECT_EQ(grandchild->GetParent(), nullptr);
    EXPECT_EQ(manager->GetNode("Below", 0), nullptr);
    EXPECT_EQ(scene->GetCameraSwitcher()->GetName(), std::string("Model::Further"));

    // The information a scene holds leaves it when destroyed; the scene destroys no freed one.
    VOxaSceneInfo* info = manager->CreateSceneInfo();
    scene->SetSceneInfo(info);
    VOxaScene* other = manager->CreateScene();
    other->SetSceneInfo(info);
    EXPECT_TRUE(manager->DestroySceneInfo(info));
    EXPECT_EQ(scene->GetSceneInfo(), nullptr);
    EXPECT_EQ(other->GetSceneInfo(), nullptr);
    info = manager->CreateSceneInfo();
    scene->SetSceneInfo(info);
    other->SetSceneInfo(info);
    EXPECT_TRUE(manager->DestroyScene(other));
    EXPECT_EQ(scene->GetSceneInfo(), nullptr);
    EXPECT_EQ(manager->GetSceneInfoCount(), 0);

    // A destroyed thumbnail leaves the scene and take informations that show it.
    VOxaThumbnail* thumbnail = manager->CreateThumbnail();
    info = manager->CreateSceneInfo();
    info->SetSceneThumbnail(thumbnail);
    VOxaTakeInfo take;
    take.mName = "Walk";
    take.SetTakeThumbnail(thumbnail);
    ASSERT_TRUE(scene->CreateTake("Walk"));
    ASSERT_TRUE(scene->SetTakeInfo(take));
    EXPECT_TRUE(manager->DestroyThumbnail(thumbnail));
    EXPECT_EQ(info->GetSceneThumbnail(), nullptr);
    EXPECT_EQ(scene->GetTakeInfo("Walk")->GetTakeThumbnail(), nullptr);

    // Another manager's node or information is refused.
    ManagerPtr second = NewManager();
    VOxaNode* foreign = second->CreateNode("Foreign");
    scene->SetCameraSwitcher(foreign);
    EXPECT_EQ(scene->GetCameraSwitcher(), grandchild);
    VOxaSceneInfo* foreignInfo = second->CreateSceneInfo();
    scene->SetSceneInfo(foreignInfo);
    EXPECT_EQ(scene->GetSceneInfo(), nullptr);
    second.reset();
    scene->Clear();
}

TEST(scene_ObjectHolders, UserPropertyHandlesHaveOneHolder) {
    ManagerPtr manager = NewManager();
    VOxaNode* node = manager->CreateNode("N");
    VOxaNode* other = manager->CreateNode("O");
    const int own = node->GetUserPropertyCount();
    ASSERT_GT(own, 0);

    // A node's own handle: neither destroyed nor removed, its property stays.
    VOxaUserProperty* translation = node->FindUserPropertyByName("Lcl Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_FALSE(manager->DestroyUserProperty(translation));
    EXPECT_EQ(manager->GetLastErrorID(), VOxaSdkManager::eObjectInUse);
    EXPECT_FALSE(node->RemoveUserProperty(translation));
    EXPECT_EQ(node->GetUserPropertyCount(), own);
    ASSERT_NE(node->GetNodeProperties()->FindProperty("Lcl Translation"), nullptr);
    node->SetLclTranslation(VgeTVector(1, 2, 3, 1));
    VgeTVector t;
    EXPECT_EQ(node->GetLclTranslation(t), VgeTVector(1, 2, 3, 1));
    // A second handle the program bound to the node's own property leaves the property alone.
    VOxaUserProperty* extra = manager->CreateUserProperty(translation->GetProperty());
    node->AddUserProperty(extra);
    EXPECT_TRUE(node->RemoveUserProperty(extra));
    EXPECT_EQ(node->GetNodeProperties()->FindProperty("Lcl Translation"), translation->GetProperty());
    EXPECT_TRUE(manager->DestroyUserProperty(extra));

    // A handle the program added is taken out of its holder before it goes.
    VOxaUserProperty* added = manager->CreateUserProperty(manager.get(), "Weight", "Real");
    node->AddUserProperty(added);
    EXPECT_EQ(node->GetUserPropertyCount(), own + 1);
    // One holder only.
    other->AddUserProperty(added);
    EXPECT_EQ(other->FindUserPropertyByName("Weight"), nullptr);
    EXPECT_TRUE(manager->DestroyUserProperty(added));
    EXPECT_EQ(node->GetUserPropertyCount(), own);
    EXPECT_EQ(node->FindUserPropertyByName("Weight"), nullptr);
    EXPECT_EQ(node->GetNodeProperties()->FindProperty("Weight"), nullptr);

    // Removed, it may go to another object; destroying the first leaves it there.
    added = manager->CreateUserProperty(manager.get(), "Size", "Real");
    node->AddUserProperty(added);
    EXPECT_TRUE(node->RemoveUserProperty(added));
    other->AddUserProperty(added);
    EXPECT_NE(other->FindUserPropertyByName("Size"), nullptr);
    EXPECT_TRUE(manager->DestroyNode(node));
    EXPECT_NE(other->FindUserPropertyByName("Size"), nullptr);

    // A handle bound to a property of an object that goes is unbound with it.
    VOxaNode* owner = manager->CreateNode("Owner");
    VOxaUserProperty* record = manager->CreateUserProperty(manager.get(), "Speed", "Real");
    owner->AddUserProperty(record);
    ASSERT_NE(record->GetProperty(), nullptr);
    VOxaUserProperty* bound = manager->CreateUserProperty(record->GetProperty());
    VOxaUserProperty* boundToOwn =
        manager->CreateUserProperty(owner->GetNodeProperties()->FindProperty("Lcl Rotation"));
    ASSERT_NE(boundToOwn->GetProperty(), nullptr);
    EXPECT_TRUE(owner->RemoveUserProperty(record));
    EXPECT_EQ(bound->GetProperty(), nullptr);
    EXPECT_TRUE(manager->DestroyNode(owner));
    EXPECT_EQ(boundToOwn->GetProperty(), nullptr);
    EXPECT_STREQ(boundToOwn->GetName(), "");
    EXPECT_STREQ(bound->GetName(), "");
    EXPECT_EQ(manager->GetUserProperty("Speed"), record) << "the unbound record keeps its name";

    // Another manager's handle, listed by this manager's node, outlives neither.
    ManagerPtr second = NewManager();
    VOxaUserProperty* foreign = second->CreateUserProperty(second.get(), "Foreign", "Bool");
    other->AddUserProperty(foreign);
    second.reset();
    for (int i = 0; i < other->GetUserPropertyCount(); ++i)
        EXPECT_NE(other->GetUserProperty(i)->GetName(), nullptr);
    EXPECT_TRUE(manager->DestroyNode(other));
}

TEST(scene_ObjectHolders, TwoManagersObjectsAreNotLinked) {
    ManagerPtr first = NewManager();
    ManagerPtr second = NewManager();
    VOxaScene* scene = first->CreateScene();
    VOxaNode* node = first->CreateNode("N");
    scene->GetRootNode()->AddChild(node);
    VOxaMesh* mesh = first->CreateMesh();
    mesh->InitControlPoints(3);
    node->SetNodeAttribute(mesh);

    VOxaNode* foreignNode = second->CreateNode("F");
    VOxaMesh* foreignMesh = second->CreateMesh();
    EXPECT_FALSE(node->AddChild(foreignNode));
    EXPECT_FALSE(foreignNode->AddChild(node));
    EXPECT_EQ(node->GetChildCount(), 0);
    EXPECT_EQ(foreignNode->SetNodeAttribute(mesh), nullptr);
    EXPECT_EQ(mesh->GetNode(), node);
    node->SetNodeAttribute(foreignMesh);
    EXPECT_EQ(node->GetNodeAttribute(), mesh);

    EXPECT_LT(mesh->AddMaterial(second->CreateMaterial("M"), 0), 0);
    EXPECT_LT(mesh->AddTexture(second->CreateTexture("T"), 0), 0);
    VOxaLink* foreignLink = second->CreateLink();
    EXPECT_LT(mesh->AddLink(foreignLink), 0);
    VOxaShape* foreignShape = second->CreateShape();
    foreignShape->InitControlPoints(3);
    EXPECT_LT(mesh->AddShape(foreignShape, "S"), 0);
    VOxaLink* link = first->CreateLink();
    link->SetLink(foreignNode);
    EXPECT_EQ(link->GetLink(), nullptr);
    link->SetAssociateModel(foreignNode);
    EXPECT_EQ(link->GetAssociateModel(), nullptr);
    foreignLink->SetLink(node);
    EXPECT_EQ(foreignLink->GetLink(), nullptr);
    EXPECT_FALSE(scene->AddPose(second->CreatePose("P", 0)));
    EXPECT_FALSE(scene->AddGenericNode(second->CreateGenericNode("G")));

    second.reset();
    // Nothing of the first manager points into the deleted one.
    EXPECT_EQ(mesh->GetMaterialCount(0), 0);
    EXPECT_EQ(mesh->GetLinkCount(), 0);
    EXPECT_EQ(mesh->GetShapeCount(), 0);
    EXPECT_EQ(scene->GetPoseCount(), 0);
    EXPECT_EQ(scene->GetGenericNodeCount(), 0);
    first->DestroyAllObjects();
}

TEST(scene_ObjectHolders, AnotherManagersThumbnailOrListedObjectIsRefused) {
    for (int order = 0; order < 2; ++order) {
        ManagerPtr first = NewManager();
        ManagerPtr second = NewManager();
        VOxaScene* scene = first->CreateScene();
        ASSERT_TRUE(scene->CreateTake("Walk"));
        VOxaSceneInfo* info = first->CreateSceneInfo();
        scene->SetSceneInfo(info);
        VOxaThumbnail* own = first->CreateThumbnail();
        VOxaThumbnail* foreign = second->CreateThumbnail();

        EXPECT_TRUE(info->SetSceneThumbnail(own));
        EXPECT_FALSE(info->SetSceneThumbnail(foreign));
        EXPECT_EQ(info->GetSceneThumbnail(), own);
        // Copying another manager's information keeps the strings, not its thumbnail.
        VOxaSceneInfo* foreignInfo = second->CreateSceneInfo();
        foreignInfo->mTitle = "T";
        EXPECT_TRUE(foreignInfo->SetSceneThumbnail(foreign));
        *info = *foreignInfo;
        EXPECT_EQ(std::string(info->mTitle.Buffer()), "T");
        EXPECT_EQ(info->GetSceneThumbnail(), own);

        VOxaTakeInfo take;
        take.mName = "Walk";
        EXPECT_TRUE(take.SetTakeThumbnail(foreign));  // not held by a scene yet
        EXPECT_FALSE(scene->SetTakeInfo(take));
        EXPECT_EQ(scene->GetTakeInfo("Walk"), nullptr);
        take.SetTakeThumbnail(own);
        ASSERT_TRUE(scene->SetTakeInfo(take));
        VOxaTakeInfo* held = scene->GetTakeInfo("Walk");
        EXPECT_FALSE(held->SetTakeThumbnail(foreign));
        EXPECT_EQ(held->GetTakeThumbnail(), own);

        // The contents list no object of the other manager.
        VOxaSceneContents* contents = scene->GetContents();
        EXPECT_FALSE(contents->AddMaterial(second->CreateMaterial("M")));
        EXPECT_FALSE(contents->AddTexture(second->CreateTexture("T")));
        EXPECT_FALSE(contents->AddVideo(second->CreateVideo("V")));
        EXPECT_FALSE(contents->AddNode(second->CreateNode("N")));
        EXPECT_EQ(contents->GetMaterialCount(), 0);
        EXPECT_EQ(contents->GetTextureCount(), 0);
        EXPECT_EQ(contents->GetVideoCount(), 0);

        // Either way of ending the other manager leaves nothing pointing into it.
        if (order == 0)
            EXPECT_TRUE(second->DestroyThumbnail(foreign));
        else
            second.reset();
        EXPECT_EQ(info->GetSceneThumbnail(), own);
        EXPECT_EQ(held->GetTakeThumbnail(), own);
        EXPECT_EQ(own->GetSdkManager(), first.get());
        second.reset();
        scene->Clear();
    }
}

// Every call that makes an object hold another refuses one of another manager, setting the
// holder's error where it has one, and keeps what it held; then either manager may go first
// without leaving anything pointing into it.
TEST(scene_ObjectHolders, EverySetterRefusesAnotherManagersObject) {
    for (int order = 0; order < 4; ++order) {
        ManagerPtr first = NewManager();
        ManagerPtr second = NewManager();
        VOxaScene* scene = first->CreateScene();
        VOxaNode* own = first->CreateNode("Own");
        scene->GetRootNode()->AddChild(own);
        VOxaNode* foreign = second->CreateNode("Foreign");
        VOxaScene* foreignScene = second->CreateScene();
        foreignScene->GetRootNode()->AddChild(foreign);

        // A constraint's every kind of held object.
        auto refused = [](VOxaConstraint* constraint) {
            const bool set = constraint->GetLastErrorID() == 0;
            constraint->GetError().ClearError();
            return set;
        };
        auto* position =
            static_cast<VOxaConstraintOffsetFamily*>(first->CreateConstraint("P", VOxaConstraint::ePosition));
        auto* rotation =
            static_cast<VOxaConstraintOffsetFamily*>(first->CreateConstraint("R", VOxaConstraint::eRotation));
        auto* parent =
            static_cast<VOxaConstraintParent*>(first->CreateConstraint("Pa", VOxaConstraint::eParent));
        auto* aim = static_cast<VOxaConstraintAim*>(first->CreateConstraint("A", VOxaConstraint::eAim));
        auto* ik = static_cast<VOxaConstraintSingleChainIK*>(
            first->CreateConstraint("I", VOxaConstraint::eSingleChainIK));
        ASSERT_TRUE(position && rotation && parent && aim && ik);
        for (VOxaConstraint* c : {(VOxaConstraint*)position, (VOxaConstraint*)rotation,
                                  (VOxaConstraint*)parent, (VOxaConstraint*)aim, (VOxaConstraint*)ik})
            c->GetError().ClearError();
        for (auto* family : {position, rotation}) {
            family->AddSource(foreign, 50);
            EXPECT_EQ(family->GetSourceCount(), 0);
            EXPECT_TRUE(refused(family));
            family->SetConstrainedObject(own);
            family->SetConstrainedObject(foreign);
            EXPECT_EQ(family->GetConstrainedObject(), own);
            EXPECT_TRUE(refused(family));
            family->AddSource(own, 50);  // the same manager's object is taken as before
            EXPECT_EQ(family->GetSourceCount(), 1);
            EXPECT_EQ(family->GetLastErrorID(), -1);
        }
        parent->AddSource(foreign, 30);
        EXPECT_EQ(parent->GetSourceCount(), 0);
        EXPECT_TRUE(refused(parent));
        aim->AddAimAtObject(foreign, 20);
        EXPECT_EQ(aim->GetAimAtObjectCount(), 0);
        EXPECT_TRUE(refused(aim));
        aim->SetWorldUpObject(foreign);
        EXPECT_EQ(aim->GetWorldUpObject(), nullptr);
        EXPECT_TRUE(refused(aim));
        ik->SetFirstJoint(foreign);
        EXPECT_TRUE(refused(ik));
        ik->SetEndJoint(foreign);
        EXPECT_TRUE(refused(ik));
        ik->SetEffector(foreign);
        EXPECT_TRUE(refused(ik));
        ik->AddPoleVectorObject(foreign, 10);
        EXPECT_TRUE(refused(ik));
        EXPECT_EQ(ik->GetFirstJoint(), nullptr);
        EXPECT_EQ(ik->GetEndJoint(), nullptr);
        EXPECT_EQ(ik->GetEffector(), nullptr);
        EXPECT_EQ(ik->GetPoleVectorObjectCount(), 0);
        // Contents of the other manager's scene do not list the constraint.
        EXPECT_FALSE(aim->SetSceneContents(foreignScene->GetContents()));
        EXPECT_TRUE(refused(aim));
        EXPECT_EQ(aim->GetSceneContents(), nullptr);
        EXPECT_TRUE(scene->AddConstraint(aim));

        // A character's links, input and control set.
        VOxaCharacter* character = first->CreateCharacter("C");
        VOxaCharacter* foreignCharacter = second->CreateCharacter("FC");
        character->GetError().ClearError();
        VOxaCharacterLink link;
        link.mNode = foreign;
        EXPECT_FALSE(character->SetCharacterLink(1, link));
        EXPECT_TRUE(refused(character));
        EXPECT_FALSE(character->GetCharacterLink(1, nullptr));
        character->SetInput(VOxaCharacter::eInputCharacter, foreignCharacter);
        EXPECT_TRUE(refused(character));
        EXPECT_EQ(character->GetInputObject(), nullptr);
        VOxaControlSet* set = character->GetControlSet();
        VOxaControlSetLink setLink;
        setLink.mNode = foreign;
        EXPECT_FALSE(set->SetControlSetLink(2, setLink));
        EXPECT_TRUE(refused(character));
        EXPECT_FALSE(set->SetEffector(3, foreign, true, true, true, false, false));
        EXPECT_TRUE(refused(character));
        EXPECT_FALSE(set->SetEffectorAux(3, foreign, 1));
        EXPECT_TRUE(refused(character));
        EXPECT_FALSE(set->GetControlSetLink(2, nullptr));
        EXPECT_FALSE(set->GetEffector(3, nullptr));
        EXPECT_FALSE(set->GetEffectorAux(3, nullptr, 1));
        EXPECT_TRUE(set->SetEffector(3, own, true, true, true, false, false));
        // Copying another manager's character keeps none of its nodes.
        VOxaCharacterLink foreignLink;
        foreignLink.mNode = foreign;
        ASSERT_TRUE(foreignCharacter->SetCharacterLink(4, foreignLink));
        *character = *foreignCharacter;
        EXPECT_FALSE(character->GetCharacterLink(4, nullptr));

        // A node's target and up node, an attribute's node, a camera's background, and generic
        // nodes' and deformers' contents.
        own->SetTarget(foreign);
        own->SetTargetUp(foreign);
        EXPECT_EQ(own->GetTarget(), nullptr);
        EXPECT_EQ(own->GetTargetUp(), nullptr);
        VOxaCamera* camera = first->CreateCamera();
        own->SetNodeAttribute(camera);
        VOxaVideo* video = second->CreateVideo("Clip");
        camera->ConnectBackgroundVideo(video);
        EXPECT_FALSE(own->GetPropertyHandler()->IsConnectedSrc(video->GetPropertyHandler()));
        VOxaMesh* mesh = first->CreateMesh();
        mesh->SetNode(foreign);
        EXPECT_EQ(mesh->GetNode(), nullptr);
        VOxaGenericNode* generic = first->CreateGenericNode("G");
        EXPECT_FALSE(generic->SetSceneContents(foreignScene->GetContents()));
        EXPECT_EQ(foreignScene->GetContents()->GetGenericNodeCount(), 0);
        VOxaDeformer* deformer = first->CreateDeformer("D", "Skin");
        deformer->SetSceneContents(foreignScene->GetContents());
        EXPECT_EQ(foreignScene->GetContents()->GetDeformerCount(), 0);

        // Each way of ending: the other manager or its objects first, or this one first.
        switch (order) {
            case 0:
                second.reset();
                break;
            case 1:
                EXPECT_TRUE(second->DestroyNode(foreign));
                EXPECT_TRUE(second->DestroyVideo(video));
                second.reset();
                break;
            case 2:
                first.reset();
                break;
            default:
                EXPECT_TRUE(first->DestroyObject(aim));
                EXPECT_TRUE(first->DestroyObject(character));
                first.reset();
                break;
        }
        if (first) {
            EXPECT_EQ(own->GetTarget(), nullptr);
            EXPECT_EQ(position->GetSourceCount(), 1);
            EXPECT_EQ(set->GetEffectorRecord(3)->mNode, own);
            scene->Clear();
        }
    }
}

TEST(scene_ObjectHolders, EveryReaderRefusesASceneWithoutRoot) {
    ManagerPtr manager = NewManager();
    VOxaScene* source = manager->CreateScene();
    VOxaNode* joint = manager->CreateNode("Hips");
    source->GetRootNode()->AddChild(joint);
    VOxaNode* leaf = manager->CreateNode("Leg");
    joint->AddChild(leaf);
    leaf->SetLclTranslation(VgeTVector(0, -10, 0, 1));
    VOxaScene* rootless = manager->CreateScene();
    ASSERT_TRUE(manager->DestroyNode(rootless->GetRootNode(), true));
    ASSERT_EQ(rootless->GetRootNode(), nullptr);

    const std::string folder = oxa_test::MakeProcessTempFolder("holders");
    for (const char* extension : {"obj", "3ds", "dxf", "bvh", "htr", "trc", "c3d", "asf"}) {
        const std::string path = folder + "scene." + extension;
        VOxaExporter* exporter = manager->CreateExporter();
        ASSERT_TRUE(exporter->Initialize(path.c_str()) &&
                    exporter->SetFileFormat(VOxaFindWriterFormat(extension)))
            << extension;
        OptionsPtr writeOptions(exporter->GetWriteOptions());
        const bool written = exporter->Export(source, writeOptions.get());
        manager->DestroyExporter(exporter);
        if (!written) continue;
        VOxaImporter* importer = manager->CreateImporter();
        ASSERT_TRUE(importer->Initialize(path.c_str())) << extension;
        OptionsPtr readOptions(importer->GetReadOptions());
        EXPECT_FALSE(importer->Import(rootless, readOptions.get())) << extension;
        manager->DestroyImporter(importer);
        EXPECT_EQ(rootless->GetRootNode(), nullptr);
    }
}
