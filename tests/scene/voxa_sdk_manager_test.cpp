#include "scene/voxa_sdk_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "base/vimage_converter.h"
#include "objects/voxa_user_property.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"

namespace {

using Log = std::vector<std::string>;

// An attribute that records its destruction.
class TestAttribute : public VOxaNodeAttribute {
public:
    TestAttribute(VOxaSdkManager* manager, Log* log) : VOxaNodeAttribute(manager), mLog(log) {}
    ~TestAttribute() override { mLog->push_back("attribute"); }
    int GetAttributeType() const override { return eNull; }

private:
    Log* mLog;
};

// A scene object of class `Base` that records its destruction under `tag` (and its name).
template <typename Base>
class Logged : public Base {
public:
    Logged(VOxaSdkManager* manager, const char* name, Log* log, const char* tag)
        : Base(manager, name), mLog(log), mTag(tag) {}
    ~Logged() override { mLog->push_back(mTag); }

private:
    Log* mLog;
    std::string mTag;
};

template <typename Base>
class LoggedTool : public Base {
public:
    LoggedTool(VOxaSdkManager* manager, Log* log, const char* tag) : Base(manager), mLog(log), mTag(tag) {}
    ~LoggedTool() override { mLog->push_back(mTag); }

private:
    Log* mLog;
    std::string mTag;
};

// A manager whose factories make objects that record their destruction.
class LoggingManager : public VOxaSdkManager {
public:
    explicit LoggingManager(Log* log) : mLog(log) {}
    VOxaNode* NewNode(const char* name) override { return new Logged<VOxaNode>(this, name, mLog, "node"); }
    VOxaMaterial* NewMaterial(const char* name) override {
        return new Logged<VOxaMaterial>(this, name, mLog, "material");
    }
    VOxaTexture* NewTexture(const char* name) override {
        return new Logged<VOxaTexture>(this, name, mLog, "texture");
    }
    VOxaVideo* NewVideo(const char* name) override {
        return new Logged<VOxaVideo>(this, name, mLog, "video");
    }
    VOxaGenericNode* NewGenericNode(const char* name) override {
        return name ? new Logged<VOxaGenericNode>(this, name, mLog, "generic") : nullptr;
    }
    VImageConverter* NewImageConverter() override {
        return new LoggedTool<VImageConverter>(this, mLog, "image converter");
    }
    VOxaExporter* NewExporter() override { return new LoggedTool<VOxaExporter>(this, mLog, "exporter"); }
    VOxaImporter* NewImporter() override { return new LoggedTool<VOxaImporter>(this, mLog, "importer"); }

private:
    Log* mLog;
};

}  // namespace

TEST(scene_SdkManager, NamesCarryTheirTypePrefix) {
    VOxaSdkManager manager;
    EXPECT_STREQ(manager.CreateNode("Arm")->GetName(), "Model::Arm");
    EXPECT_STREQ(manager.CreateNode("Model::Arm")->GetName(), "Model::Arm");
    EXPECT_STREQ(manager.CreateNode("")->GetName(), "Model::Name");
    EXPECT_STREQ(manager.CreateNode(nullptr)->GetName(), "Model::Name");
    EXPECT_STREQ(manager.CreateNode("a::b::c")->GetName(), "Model::b::c") << "only the first \"::\" cuts";
    EXPECT_STREQ(manager.CreateMaterial("Skin")->GetName(), "Material::Skin");
    EXPECT_STREQ(manager.CreateTexture("Texture::Wood")->GetName(), "Texture::Wood");
    EXPECT_STREQ(manager.CreateVideo("Clip::Film")->GetName(), "Video::Film");
    EXPECT_STREQ(manager.CreateGenericNode("Gen::a::b")->GetName(), "Gen::a::b")
        << "generic nodes: no prefix";
    EXPECT_EQ(manager.CreateGenericNode(nullptr), nullptr);
    EXPECT_EQ(manager.GetGenericNodeCount(), 1);
    EXPECT_STREQ(VOxaGetDeformerNamePrefix("CLUSTER"), "SubDeformer::");
    EXPECT_STREQ(VOxaGetDeformerNamePrefix("Skin"), "Deformer::");
    EXPECT_STREQ(VOxaGetDeformerNamePrefix(nullptr), "Deformer::");
}

TEST(scene_SdkManager, LookupByNameAndIndex) {
    VOxaSdkManager manager;
    EXPECT_EQ(manager.GetLastErrorID(), -1);
    VOxaNode* first = manager.CreateNode("Arm");
    manager.CreateNode("Leg");
    VOxaNode* second = manager.CreateNode("Arm");
    EXPECT_EQ(manager.GetNode("Arm", 0), first);
    EXPECT_EQ(manager.GetNode("Arm", 1), second);
    EXPECT_EQ(manager.GetNode("Model::Arm", 1), second);
    EXPECT_EQ(manager.GetLastErrorID(), -1) << "a found object sets no error";

    EXPECT_EQ(manager.GetNode("Arm", 2), nullptr);
    EXPECT_EQ(manager.GetLastErrorID(), 0);
    EXPECT_STREQ(manager.GetLastErrorString(), "Object not found");
    manager.GetError().ClearError();
    EXPECT_EQ(manager.GetNode("arm", 0), nullptr) << "lookups are case-sensitive";
    EXPECT_EQ(manager.GetLastErrorID(), 0);

    // Access by index: creation order, out of range null without error.
    manager.GetError().ClearError();
    EXPECT_EQ(manager.GetNode(0), first);
    EXPECT_EQ(manager.GetNode(2), second);
    EXPECT_EQ(manager.GetNode(3), nullptr);
    EXPECT_EQ(manager.GetNode(-1), nullptr);
    EXPECT_EQ(manager.GetLastErrorID(), -1);

    // A renamed object is found under its new name only.
    first->SetName("Hand");
    EXPECT_EQ(manager.GetNode("Hand", 0), first);
    EXPECT_EQ(manager.GetNode("Arm", 0), second);

    // The other registries, and the first-match lookups.
    VOxaMaterial* material = manager.CreateMaterial("Skin");
    VOxaTexture* texture = manager.CreateTexture("Wood");
    VOxaVideo* video = manager.CreateVideo("Film");
    VOxaGenericNode* generic = manager.CreateGenericNode("Gen");
    EXPECT_EQ(manager.GetMaterial("Skin", 0), material);
    EXPECT_EQ(manager.GetTexture("Texture::Wood", 0), texture);
    EXPECT_EQ(manager.GetVideo("Film", 0), video);
    EXPECT_EQ(manager.GetVideo("Film", 1), nullptr);
    EXPECT_EQ(manager.GetGenericNode("Gen"), generic);
    manager.GetError().ClearError();
    EXPECT_EQ(manager.GetGenericNode("Nothing"), nullptr);
    EXPECT_EQ(manager.GetLastErrorID(), 0);
    manager.GetError().ClearError();
    VOxaUserProperty* handle = manager.CreateUserProperty(&manager, "Weight", "Real");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(manager.GetUserProperty("Weight"), handle);
    EXPECT_EQ(manager.GetUserProperty("weight"), nullptr);
    EXPECT_EQ(manager.GetLastErrorID(), -1) << "a missing user property sets no error";
    EXPECT_EQ(manager.CreateUserProperty(nullptr, "x", "Real"), nullptr);
    EXPECT_EQ(manager.CreateUserProperty(&manager, "x", nullptr), nullptr);
    EXPECT_EQ(manager.CreateUserProperty(nullptr), nullptr);
}

TEST(scene_SdkManager, DestroyingWhatIsNotThereFails) {
    VOxaSdkManager manager, other;
    VOxaMaterial* material = manager.CreateMaterial("Skin");
    EXPECT_TRUE(manager.DestroyMaterial(material));
    EXPECT_EQ(manager.GetLastErrorID(), -1);
    EXPECT_FALSE(manager.DestroyMaterial(material)) << "destroyed already";
    EXPECT_EQ(manager.GetLastErrorID(), 0);
    EXPECT_STREQ(manager.GetLastErrorString(), "Object not found");

    VOxaNode* foreign = other.CreateNode("Foreign");
    manager.GetError().ClearError();
    EXPECT_FALSE(manager.DestroyNode(foreign, true));
    EXPECT_EQ(manager.GetLastErrorID(), 0);
    EXPECT_EQ(other.GetNodeCount(), 1) << "a foreign node is left alone";

    // Every destroy operation refuses null with error 0.
    auto refuses = [&](auto destroy, const char* what) {
        manager.GetError().ClearError();
        EXPECT_FALSE(destroy()) << what;
        EXPECT_EQ(manager.GetLastErrorID(), 0) << what;
    };
    refuses([&] { return manager.DestroyScene(nullptr); }, "scene");
    refuses([&] { return manager.DestroyNode(nullptr); }, "node");
    refuses([&] { return manager.DestroyNodeAttribute(nullptr); }, "attribute");
    refuses([&] { return manager.DestroyTexture(nullptr); }, "texture");
    refuses([&] { return manager.DestroyVideo(nullptr); }, "video");
    refuses([&] { return manager.DestroyUserProperty(nullptr); }, "user property");
    refuses([&] { return manager.DestroyGenericNode(nullptr); }, "generic node");
    refuses([&] { return manager.DestroyObject(nullptr); }, "object");
    refuses([&] { return manager.DestroyObject(foreign); }, "unlisted object");
    refuses([&] { return manager.DestroyThumbnail(nullptr); }, "thumbnail");
    refuses([&] { return manager.DestroySceneInfo(nullptr); }, "scene info");
    refuses([&] { return manager.DestroyImageConverter(nullptr); }, "image converter");
    refuses([&] { return manager.DestroyExporter(nullptr); }, "exporter");
    refuses([&] { return manager.DestroyImporter(nullptr); }, "importer");

    VOxaGenericNode* listed = new VOxaGenericNode(&manager, "Listed");
    EXPECT_TRUE(manager.RegisterObject(listed));
    EXPECT_FALSE(manager.RegisterObject(listed));
    EXPECT_EQ(manager.GetObjectList().GetCount(), 1);
    EXPECT_TRUE(manager.DestroyObject(listed));
    EXPECT_EQ(manager.GetObjectList().GetCount(), 0);
    refuses([&] { return manager.DestroyObject(listed); }, "object destroyed already");
}

TEST(scene_SdkManager, RecursiveDestroyTakesSubtreeAttributesAndHandles) {
    Log log;
    VOxaSdkManager manager;
    VOxaNode* keep = manager.CreateNode("Keep");
    int handlesOfOne = manager.GetUserPropertyCount();
    EXPECT_GT(handlesOfOne, 0) << "a node makes its handles through the manager";

    VOxaNode* root = manager.CreateNode("Root");
    std::vector<VOxaNode*> all{root};
    for (int i = 0; i < 3; ++i) {
        VOxaNode* child = manager.CreateNode("Child");
        VOxaNode* grandChild = manager.CreateNode("GrandChild");
        ASSERT_TRUE(root->AddChild(child));
        ASSERT_TRUE(child->AddChild(grandChild));
        all.push_back(child);
        all.push_back(grandChild);
    }
    for (VOxaNode* node : all) {
        auto* attribute = new TestAttribute(&manager, &log);
        ASSERT_TRUE(manager.RegisterNodeAttribute(attribute));
        EXPECT_FALSE(manager.RegisterNodeAttribute(attribute));
        node->SetNodeAttribute(attribute);
    }
    ASSERT_EQ(manager.GetNodeCount(), 8);

    EXPECT_TRUE(manager.DestroyNode(root, true));
    EXPECT_EQ(manager.GetNodeCount(), 1);
    EXPECT_EQ(manager.GetNode(0), keep);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 0);
    EXPECT_EQ(log.size(), 7u) << "every attribute of the subtree is destroyed";
    EXPECT_EQ(manager.GetUserPropertyCount(), handlesOfOne) << "the handles of destroyed nodes go with them";

    // Without the flag the children stay, parentless, and a free attribute forgets its node.
    VOxaNode* parent = manager.CreateNode("Parent");
    VOxaNode* child = manager.CreateNode("Child");
    ASSERT_TRUE(parent->AddChild(child));
    auto* attribute = new TestAttribute(&manager, &log);
    manager.RegisterNodeAttribute(attribute);
    parent->SetNodeAttribute(attribute);
    EXPECT_TRUE(manager.DestroyNode(parent));
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_EQ(attribute->GetNode(), nullptr);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 1);

    // Destroying an attached attribute detaches it first.
    child->SetNodeAttribute(attribute);
    EXPECT_TRUE(manager.DestroyNodeAttribute(attribute));
    EXPECT_EQ(child->GetNodeAttribute(), nullptr);
}

TEST(scene_SdkManager, RecursiveDestroyDetachesForeignChild) {
    // Nodes made without a manager are the only ones another manager's nodes take as children.
    VOxaSdkManager manager;
    VOxaNode* root = manager.CreateNode("Root");
    VOxaNode* mine = manager.CreateNode("Mine");
    auto* foreign = new VOxaNode(nullptr, "Model::Foreign");
    auto* foreignChild = new VOxaNode(nullptr, "Model::ForeignChild");
    ASSERT_TRUE(root->AddChild(foreign));
    ASSERT_TRUE(root->AddChild(mine));
    ASSERT_TRUE(foreign->AddChild(foreignChild));

    EXPECT_FALSE(manager.DestroyNode(root, true)) << "a child it cannot destroy makes the answer false";
    EXPECT_EQ(manager.GetLastErrorID(), 0);
    EXPECT_EQ(manager.GetNodeCount(), 0) << "the walk went on past the foreign child";
    EXPECT_EQ(foreign->GetParent(), nullptr);
    EXPECT_EQ(foreignChild->GetParent(), foreign) << "the foreign subtree is left whole";
    delete foreignChild;
    delete foreign;
}

TEST(scene_SdkManager, DestroySceneWithOrWithoutItsNodes) {
    VOxaSdkManager manager;
    VOxaScene* kept = manager.CreateScene();
    VOxaNode* keptRoot = kept->GetRootNode();
    ASSERT_TRUE(keptRoot->AddChild(manager.CreateNode("Child")));
    VOxaScene* gone = manager.CreateScene();
    ASSERT_TRUE(gone->GetRootNode()->AddChild(manager.CreateNode("Child")));
    int nodes = manager.GetNodeCount();

    EXPECT_TRUE(manager.DestroyScene(kept, false));
    EXPECT_EQ(manager.GetSceneCount(), 1);
    EXPECT_EQ(manager.GetNodeCount(), nodes - 8) << "the camera switcher and the producer cameras go";
    EXPECT_EQ(keptRoot->GetChildCount(), 1);
    EXPECT_TRUE(manager.DestroyNode(keptRoot, true));

    EXPECT_TRUE(manager.DestroyScene(gone));
    EXPECT_EQ(manager.GetSceneCount(), 0);
    EXPECT_EQ(manager.GetNodeCount(), 0) << "root, child, camera switcher and producer cameras";
    EXPECT_FALSE(manager.DestroyScene(gone));
    EXPECT_EQ(manager.GetLastErrorID(), 0);
}

TEST(scene_SdkManager, DestroyAllObjectsInRegistryOrder) {
    Log log;
    {
        LoggingManager manager(&log);
        // Created in an order unlike the destruction order.
        manager.CreateImporter();
        manager.CreateExporter();
        manager.CreateImageConverter();
        manager.CreateGenericNode("Gen");
        manager.CreateVideo("Film");
        manager.CreateTexture("Wood");
        manager.CreateMaterial("Skin");
        VOxaNode* node = manager.CreateNode("Arm");
        auto* attribute = new TestAttribute(&manager, &log);
        manager.RegisterNodeAttribute(attribute);
        node->SetNodeAttribute(attribute);
        manager.CreateThumbnail();
        manager.CreateSceneInfo();
        manager.CreateUserProperty(&manager, "Free", "Real");
        // Listed objects go last, last listed first.
        ASSERT_TRUE(manager.RegisterObject(new Logged<VOxaGenericNode>(&manager, "A", &log, "object A")));
        ASSERT_TRUE(manager.RegisterObject(new Logged<VOxaGenericNode>(&manager, "B", &log, "object B")));
        VOxaScene* scene = manager.CreateScene();
        ASSERT_NE(scene, nullptr);
        ASSERT_TRUE(scene->GetRootNode()->AddChild(manager.CreateNode("InScene")));
        log.clear();  // what the scene made on its way

        manager.DestroyAllObjects();
        // The scene goes first, destroying its camera switcher node through the manager.
        ASSERT_GE(log.size(), 1u);
        while (!log.empty() && log.front() == "node")
            log.erase(log.begin());
        const Log expected{
            "attribute",       "node",     "node",     "node",     "material", "texture", "video", "generic",
            "image converter", "exporter", "importer", "object B", "object A"};
        EXPECT_EQ(log, expected);
        EXPECT_EQ(manager.GetSceneCount(), 0);
        EXPECT_EQ(manager.GetNodeCount(), 0);
        EXPECT_EQ(manager.GetUserPropertyCount(), 0);
        EXPECT_EQ(manager.GetThumbnailCount(), 0);
        EXPECT_EQ(manager.GetSceneInfoCount(), 0);
        EXPECT_EQ(manager.GetObjectList().GetCount(), 0);

        // The manager stays usable; what is left goes with it.
        log.clear();
        manager.CreateMaterial("Again");
    }
    EXPECT_EQ(log, Log{"material"});
}
