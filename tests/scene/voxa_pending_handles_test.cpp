// The user-property handles of a node are made when its list is first used; the manager's handle
// list, its count and its lookups read at every step as if each node had made them as it was
// made.

#include <gtest/gtest.h>

#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vclass_info.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_container.h"

namespace {

// The properties whose handles the manager's factory made, in order; null for a named record.
using FactoryLog = std::vector<const VProperty*>;

class LoggingManager : public VOxaSdkManager {
public:
    explicit LoggingManager(FactoryLog* log) : mLog(log) {}
    VOxaUserProperty* NewUserProperty(VProperty* property) override {
        mLog->push_back(property);
        return VOxaSdkManager::NewUserProperty(property);
    }
    VOxaUserProperty* NewUserProperty(VOxaSdkManager* owner, const char* name,
                                      const char* typeName) override {
        mLog->push_back(nullptr);
        return VOxaSdkManager::NewUserProperty(owner, name, typeName);
    }

private:
    FactoryLog* mLog;
};

// Appends the properties of `object`'s handler, in order: the handles it makes, one each.
void AppendProperties(FactoryLog& log, const VOxaObject* object) {
    VOxaPropertyHandler* handler = object->GetPropertyHandler();
    for (int i = 0; i < handler->GetPropertyCount(); ++i)
        log.push_back(handler->GetProperty(i));
}

int PropertyCount(const VOxaObject* object) {
    return object->GetPropertyHandler()->GetPropertyCount();
}

// An object made as a node is, with channels deferred, whose handler records the handles that
// value changes are reported with.
class RecordingHandler;
class DeferringObject : public VOxaTakeNodeContainer {
public:
    explicit DeferringObject(VOxaSdkManager* manager);
    ~DeferringObject() override;
    int GetTypeCode() const override { return 1; }
    VOxaPropertyHandler* GetPropertyHandler() const override;
    VOxaUserProperty* CreateUserProperty(VProperty* property) override {
        return GetSdkManager()->CreateUserProperty(property);
    }
    void CreateTakeNodeChannels(VOxaTakeNode* take) override;

    RecordingHandler* mHandler;
    VProperty* mWeight = nullptr;
    VProperty* mLabel = nullptr;
    VError mErrorObject;
};

class RecordingHandler : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit RecordingHandler(DeferringObject* owner) : mOwner(owner) {}
    VOxaObject* GetOwner() const override { return mOwner; }
    void PropertyValueChanged(VOxaUserProperty* userProperty) override {
        mChanged.push_back(userProperty);
        mOwner->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
    }
    DeferringObject* mOwner;
    std::vector<VOxaUserProperty*> mChanged;
};
VOBJECT_IMPLEMENT_CLASS(RecordingHandler, VOxaPropertyHandler);

DeferringObject::DeferringObject(VOxaSdkManager* manager)
    : VOxaTakeNodeContainer(manager, "Test::Deferring", &mErrorObject), mHandler(new RecordingHandler(this)) {
    mWeight = mHandler->CreateProperty("Weight", "Number", true);
    mLabel = mHandler->CreateProperty("Label", eValueString, nullptr, false);
    DeferDefaultChannels(true);
    AddDefaultTakeNode();
    CreatePropertyHandles();
    DeferDefaultChannels(false);
}

DeferringObject::~DeferringObject() {
    ReleasePendingHandles();
    delete mHandler;
}

VOxaPropertyHandler* DeferringObject::GetPropertyHandler() const {
    return mHandler;
}

void DeferringObject::CreateTakeNodeChannels(VOxaTakeNode* take) {
    CreatePropertyChannels(mWeight, take);
}

}  // namespace

TEST(scene_PendingHandles, ManagerListsHandlesInTheOrderObjectsWereMade) {
    FactoryLog log, expected;
    LoggingManager manager(&log);
    VOxaNode* a = manager.CreateNode("A");
    const int n = PropertyCount(a);
    ASSERT_GT(n, 0);
    EXPECT_TRUE(a->HasPendingUserProperties());
    EXPECT_TRUE(log.empty()) << "nothing is made with the node";
    EXPECT_EQ(manager.GetUserPropertyCount(), n) << "counted as made";

    // The later node's list is asked for first: the earlier node's handles come first.
    VOxaNode* b = manager.CreateNode("B");
    EXPECT_EQ(manager.GetUserPropertyCount(), 2 * n);
    EXPECT_EQ(b->GetUserPropertyCount(), n);
    EXPECT_FALSE(a->HasPendingUserProperties());
    AppendProperties(expected, a);
    AppendProperties(expected, b);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(manager.GetUserProperty("Visibility"), a->FindUserPropertyByName("Visibility"));
    EXPECT_NE(a->FindUserPropertyByName("Visibility"), nullptr);

    // A handle the manager is asked for comes after those of every node made before it.
    VOxaNode* c = manager.CreateNode("C");
    VOxaUserProperty* record = manager.CreateUserProperty(&manager, "Weight", "Real");
    EXPECT_FALSE(c->HasPendingUserProperties());
    AppendProperties(expected, c);
    expected.push_back(nullptr);
    EXPECT_EQ(log, expected);
    VOxaNode* d = manager.CreateNode("D");
    VOxaUserProperty* bound = manager.CreateUserProperty(c->GetPropertyHandler()->GetProperty(0));
    AppendProperties(expected, d);
    expected.push_back(c->GetPropertyHandler()->GetProperty(0));
    EXPECT_EQ(log, expected);
    EXPECT_EQ(manager.GetUserProperty("Weight"), record);
    EXPECT_EQ(manager.GetUserPropertyCount(), 4 * n + 2);

    // Each handle is made once, bound to its property and heard by the handler.
    for (VOxaNode* node : {a, b, c, d}) {
        ASSERT_EQ(node->GetUserPropertyCount(), n);
        for (int i = 0; i < n; ++i) {
            VOxaUserProperty* handle = node->GetUserProperty(i);
            EXPECT_EQ(handle->GetProperty(), node->GetPropertyHandler()->GetProperty(i)) << i;
            EXPECT_EQ(handle->GetChangeListener(), node->GetPropertyHandler()) << i;
        }
    }
    EXPECT_EQ(bound->GetProperty(), c->GetPropertyHandler()->GetProperty(0));
    EXPECT_EQ(log, expected) << "no handle made twice";
}

TEST(scene_PendingHandles, LookupsAndListOperationsMakeThemFirst) {
    VOxaSdkManager manager;
    VOxaNode* first = manager.CreateNode("First");
    VOxaNode* second = manager.CreateNode("Second");
    const int n = PropertyCount(first);
    // A lookup by name finds the first node's handle although no list was used.
    VOxaUserProperty* found = manager.GetUserProperty("Lcl Translation");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, first->FindUserPropertyByName("Lcl Translation"));
    EXPECT_FALSE(second->HasPendingUserProperties());

    // A handle added to a node whose own are still to be made comes after them.
    VOxaNode* third = manager.CreateNode("Third");
    VOxaUserProperty* extra = manager.CreateUserProperty(&manager, "Extra", "Real");
    VOxaNode* fourth = manager.CreateNode("Fourth");
    ASSERT_TRUE(fourth->HasPendingUserProperties());
    fourth->AddUserProperty(extra);
    ASSERT_EQ(fourth->GetUserPropertyCount(), n + 1);
    EXPECT_EQ(fourth->GetUserProperty(n), extra);
    EXPECT_EQ(fourth->GetUserProperty(0)->GetProperty(), fourth->GetPropertyHandler()->GetProperty(0));
    EXPECT_EQ(third->GetUserPropertyCount(), n);

    // Found by property on a node whose handles are still to be made.
    VOxaNode* fifth = manager.CreateNode("Fifth");
    VProperty* scaling = fifth->GetPropertyHandler()->FindProperty("Lcl Scaling");
    VOxaUserProperty* byProperty = fifth->FindUserPropertyByProperty(scaling);
    ASSERT_NE(byProperty, nullptr);
    EXPECT_EQ(byProperty->GetProperty(), scaling);
    EXPECT_EQ(manager.GetUserPropertyCount(), 5 * n + 1);
}

TEST(scene_PendingHandles, ObjectsThatGoMakeNone) {
    FactoryLog log, expected;
    {
        LoggingManager manager(&log);
        VOxaNode* a = manager.CreateNode("A");
        VOxaNode* b = manager.CreateNode("B");
        VOxaNode* c = manager.CreateNode("C");
        const int n = PropertyCount(a);
        EXPECT_TRUE(manager.DestroyNode(b));
        EXPECT_TRUE(log.empty()) << "a destroyed node makes no handles";
        EXPECT_EQ(manager.GetUserPropertyCount(), 2 * n);
        EXPECT_EQ(c->GetUserPropertyCount(), n);
        AppendProperties(expected, a);
        AppendProperties(expected, c);
        EXPECT_EQ(log, expected) << "the nodes around it keep their order";

        // Many nodes made and destroyed while others wait.
        std::vector<VOxaNode*> kept;
        for (int i = 0; i < 300; ++i) {
            VOxaNode* node = manager.CreateNode("Many");
            if (i % 3 == 0) {
                kept.push_back(node);
            } else {
                EXPECT_TRUE(manager.DestroyNode(node));
            }
        }
        EXPECT_EQ(manager.GetUserPropertyCount(), (2 + (int)kept.size()) * n);
        EXPECT_EQ(kept.back()->GetUserPropertyCount(), n);
        for (VOxaNode* node : kept) {
            EXPECT_FALSE(node->HasPendingUserProperties());
            AppendProperties(expected, node);
        }
        EXPECT_EQ(log, expected);

        // A node deleted without the manager leaves its handles counted, as they were listed.
        const int before = manager.GetUserPropertyCount();
        { VOxaNode local(&manager, "Model::Local"); }
        EXPECT_EQ(manager.GetUserPropertyCount(), before + n);
        EXPECT_EQ(log, expected);

        // Nodes still waiting when the manager goes make nothing either.
        manager.CreateNode("Left");
        manager.CreateNode("Over");
    }
    EXPECT_EQ(log, expected);
}

TEST(scene_PendingHandles, ValueChangeReportsTheHandleMadeForIt) {
    VOxaSdkManager manager;
    DeferringObject earlier(&manager);
    DeferringObject object(&manager);
    ASSERT_TRUE(object.HasPendingUserProperties());
    EXPECT_TRUE(object.mWeight->HasStateFlag(kPropertyAnimated)) << "marked as the handle would mark it";
    EXPECT_FALSE(object.mLabel->HasStateFlag(kPropertyAnimated));
    EXPECT_EQ(manager.GetUserPropertyCount(), 4);

    object.mWeight->SetDouble(2.5);
    ASSERT_EQ(object.mHandler->mChanged.size(), 1u);
    VOxaUserProperty* handle = object.mHandler->mChanged[0];
    EXPECT_EQ(handle, object.GetUserProperty(0));
    EXPECT_EQ(handle->GetProperty(), object.mWeight);
    EXPECT_EQ(handle->GetChangeListener(), object.mHandler);
    EXPECT_FALSE(earlier.HasPendingUserProperties()) << "made in order";
    EXPECT_EQ(manager.GetUserProperty("Weight"), earlier.GetUserProperty(0));
    EXPECT_TRUE(earlier.mHandler->mChanged.empty());
}

TEST(scene_PendingHandles, NodeValueChangesMakeNoHandlesAndReachTheDefaultTakeAsMadeOnesDo) {
    // Two nodes changed alike: one with its handles left to be made, one with them made first.
    VOxaSdkManager manager;
    VOxaNode* made = manager.CreateNode("Made");
    VOxaNode* lazy = manager.CreateNode("Lamp");
    const int n = PropertyCount(made);
    ASSERT_EQ(made->GetUserPropertyCount(), n);
    ASSERT_TRUE(lazy->HasPendingUserProperties()) << "made after the other one";
    for (VOxaNode* node : {lazy, made}) {
        node->SetVisibility(false);
        node->SetLclTranslation(VgeTVector(4.0, 5.0, 6.0, 1.0));
        node->SetLclRotation(VgeTVector(0.0, 30.0, 0.0, 1.0));
    }
    EXPECT_TRUE(lazy->HasPendingUserProperties()) << "value changes make no handles";
    EXPECT_EQ(manager.GetUserPropertyCount(), 2 * n);

    for (const char* channel : {"Visibility", "Transform/T", "Transform/R"}) {
        std::vector<float> defaults[2];
        int k = 0;
        for (VOxaNode* node : {lazy, made}) {
            VFCurveNode* root = node->GetDefaultTakeNode()->GetVFCurveNode();
            ASSERT_NE(root, nullptr);
            VFCurveNode* found = root->FindChild(channel);
            ASSERT_NE(found, nullptr) << channel;
            if (found->FCurveGet()) defaults[k].push_back(found->FCurveGet()->GetDefaultValue());
            for (int c = 0; c < found->GetCount(); ++c) {
                if (found->Get(c)->FCurveGet())
                    defaults[k].push_back(found->Get(c)->FCurveGet()->GetDefaultValue());
            }
            ++k;
        }
        EXPECT_FALSE(defaults[0].empty()) << channel;
        EXPECT_EQ(defaults[0], defaults[1]) << channel;
    }
    VFCurveNode* root = lazy->GetDefaultTakeNode()->GetVFCurveNode();
    EXPECT_EQ(root->FindChild("Visibility")->FCurveGet()->GetDefaultValue(), 0.0f);
    EXPECT_EQ(root->FindChild("Transform/T")->Get(1)->FCurveGet()->GetDefaultValue(), 5.0f);

    // Made later, the handles are those made with the node.
    EXPECT_EQ(lazy->GetUserPropertyCount(), n);
    EXPECT_FALSE(lazy->HasPendingUserProperties());
    EXPECT_EQ(lazy->FindUserPropertyByName("Lcl Translation")->GetProperty(),
              lazy->GetPropertyHandler()->FindProperty("Lcl Translation"));
}

TEST(scene_PendingHandles, PropertyJoiningLaterGetsNoHandle) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Grown");
    const int n = PropertyCount(node);
    VProperty* later = node->GetPropertyHandler()->CreateProperty("Later", "Number", true);
    ASSERT_NE(later, nullptr);
    EXPECT_FALSE(node->HasPendingUserProperties()) << "made before the property joined";
    EXPECT_EQ(node->GetUserPropertyCount(), n);
    EXPECT_EQ(node->FindUserPropertyByProperty(later), nullptr);
    EXPECT_FALSE(later->HasStateFlag(kPropertyAnimated));
    EXPECT_EQ(manager.GetUserPropertyCount(), n);
}

TEST(scene_PendingHandles, ReadingValuesMakesNoHandles) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Read");
    auto* visibility =
        dynamic_cast<VPropertyTemplate<double>*>(node->GetPropertyHandler()->FindProperty("Visibility"));
    auto* translation = dynamic_cast<VPropertyTemplate<VgeTVector>*>(
        node->GetPropertyHandler()->FindProperty("Lcl Translation"));
    ASSERT_NE(visibility, nullptr);
    ASSERT_NE(translation, nullptr);
    visibility->SetStoredValue(0.25);
    translation->SetStoredValue(VgeTVector(1.0, 2.0, 3.0, 1.0));
    ASSERT_TRUE(node->HasPendingUserProperties());

    EXPECT_EQ(node->GetVisibilityValue(), 0.25);
    VgeTVector out(9.0, 9.0, 9.0, 9.0);
    node->GetLclTranslation(out);
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[1], 2.0);
    EXPECT_EQ(out[2], 3.0);
    node->GetLclScaling(out);
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[2], 1.0);
    EXPECT_EQ(node->FindUserPropertyTargetByName("Lcl Rotation"),
              node->GetPropertyHandler()->FindProperty("Lcl Rotation"));
    EXPECT_EQ(node->FindUserPropertyTargetByName("No such"), nullptr);
    EXPECT_TRUE(node->HasPendingUserProperties());

    // Writing goes through the property the handle would be bound to.
    node->SetLclTranslation(VgeTVector(4.0, 5.0, 6.0, 1.0));
    EXPECT_TRUE(node->HasPendingUserProperties());
    node->GetLclTranslation(out);
    EXPECT_EQ(out[1], 5.0);
    EXPECT_EQ(node->GetVisibilityValue(), 0.25);
    EXPECT_EQ(node->FindUserPropertyTargetByName("Lcl Translation"), translation);
}
