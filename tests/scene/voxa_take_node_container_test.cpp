#include "scene/voxa_take_node_container.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_take_node.h"

namespace {

class TestObject;

// The property block of the test object: forwards value changes to the object.
class TestHandler : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit TestHandler(TestObject* owner) : mOwner(owner) {}
    VOxaObject* GetOwner() const override;
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    TestObject* mOwner;
};
VOBJECT_IMPLEMENT_CLASS(TestHandler, VOxaPropertyHandler);

// An animatable object with a translation, a number, a 4-component colour, an integer and a
// bool, all animatable. Its channel tree mimics a node's: "Transform"/"T" for the translation,
// one channel per other property.
class TestObject : public VOxaTakeNodeContainer {
public:
    explicit TestObject(const char* firstTake = nullptr)
        : VOxaTakeNodeContainer(nullptr, "Test::Object", &mErrorObject), mHandler(this) {
        mTranslation = mHandler.CreateProperty("Lcl Translation", "Lcl Translation", true);
        mWeight = mHandler.CreateProperty("Weight", "Number", true);
        mTint = mHandler.CreateProperty("Tint", "ColorAndAlpha", true);
        mCount = mHandler.CreateProperty("Count", eValueInteger, nullptr, true);
        mFlag = mHandler.CreateProperty("Flag", eValueBool, nullptr, true);
        mHandler.CreateProperty("Label", eValueString, nullptr, false);
        const double t[4] = {1, 2, 3, 1}, tint[4] = {0.1, 0.2, 0.3, 0.4};
        mTranslation->SetValue(t);
        mTint->SetValue(tint);
        mWeight->SetDouble(0.5);
        if (firstTake)
            AddTakeNode(firstTake);
        else
            AddDefaultTakeNode();
        CreatePropertyHandles();
    }
    ~TestObject() override {
        for (VOxaUserProperty* u : mHandles)
            delete u;
    }
    int GetTypeCode() const override { return 1; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return const_cast<TestHandler*>(&mHandler); }
    VOxaUserProperty* CreateUserProperty(VProperty* property) override {
        mHandles.push_back(new VOxaUserProperty(nullptr, property));
        return mHandles.back();
    }
    void CreateTakeNodeChannels(VOxaTakeNode* take) override {
        VFCurveNode* transform = take->GetVFCurveNode()->FindOrCreate("Transform", false);
        VFCurveNode* t = VFCurveNode::CreateFromName("T", VDataType::Find("Lcl Translation"), 1);
        transform->Add(t);
        bool linked = VString(take->GetName()).CompareNoCase("Default") == 0;
        for (int k = 0; k < 3; ++k) {
            VFCurveNode* axis = t->FindOrCreate(k == 0 ? "X" : k == 1 ? "Y" : "Z", true);
            if (linked) AddChannelLink(mTranslation, k, axis->FCurveGet());
        }
        SetChannelDefaultsFromProperty(t, mTranslation);
        for (int i = 0; i < mHandler.GetPropertyCount(); ++i) {
            VProperty* p = mHandler.GetProperty(i);
            if (p != mTranslation && p->IsAnimatable()) CreatePropertyChannels(p, take);
        }
    }

    VError mErrorObject;
    TestHandler mHandler;
    std::vector<VOxaUserProperty*> mHandles;
    VProperty* mTranslation;
    VProperty* mWeight;
    VProperty* mTint;
    VProperty* mCount;
    VProperty* mFlag;
};

VOxaObject* TestHandler::GetOwner() const {
    return mOwner;
}
void TestHandler::PropertyValueChanged(VOxaUserProperty* userProperty) {
    mOwner->PropertyValueChanged(userProperty);
}

VFCurve* Curve(VOxaTakeNode* take, const char* path) {
    VFCurveNode* node = take->GetVFCurveNode()->FindChild(path);
    return node ? node->FCurveGet() : nullptr;
}

// Counts the deliveries a curve makes.
void CountEvent(VFCurve*, VFCurveEvent*, void* data) {
    ++*static_cast<int*>(data);
}
// Collects the event bits a curve delivers.
void CollectEvents(VFCurve*, VFCurveEvent* event, void* data) {
    *static_cast<unsigned*>(data) |= event->mEventType;
}

std::string LastError(TestObject& o) {
    return o.mErrorObject.GetLastErrorString().Buffer();
}

double Component(VProperty* p, int k) {
    double v[4] = {0, 0, 0, 0};
    p->GetValue(v);
    return v[k];
}

}  // namespace

TEST(scene_TakeNodeContainer, NewChannelTreeLinksOnlyTheDefaultTake) {
    TestObject o;
    ASSERT_EQ(o.GetTakeNodeCount(), 1);
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 0);
    VOxaTakeNode* take = o.GetDefaultTakeNode();
    EXPECT_STREQ(take->GetName(), "Default");
    // Translation 3 + Weight 1 + Tint 4 + Count 1 + Flag 1; the non-animatable label has none.
    EXPECT_EQ(o.GetChannelLinkCount(), 10);
    VFCurveNode* tint = take->GetVFCurveNode()->FindChild("Tint");
    ASSERT_NE(tint, nullptr);
    ASSERT_EQ(tint->GetCount(), 4);
    EXPECT_STREQ(tint->Get(3)->GetName(), "toto");
    EXPECT_FLOAT_EQ(tint->Get(3)->FCurveGet()->GetDefaultValue(), 0.4f);
    EXPECT_FLOAT_EQ(Curve(take, "Weight")->GetDefaultValue(), 0.5f);
    EXPECT_FLOAT_EQ(take->GetTranslationZ()->GetDefaultValue(), 3.0f);
    EXPECT_EQ(take->GetVFCurveNode()->FindChild("Label"), nullptr);
    EXPECT_TRUE(o.mWeight->HasStateFlag(kPropertyAnimated));

    // A later take is a copy of the default take, keys included, and is not linked.
    Curve(take, "Weight")->KeyAdd(VTime(100));
    VOxaTakeNode* run = o.AddTakeNode("Run");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 0);
    EXPECT_NE(Curve(run, "Weight"), Curve(take, "Weight"));
    EXPECT_EQ(Curve(run, "Weight")->KeyGetCount(), 1);
    EXPECT_FLOAT_EQ(Curve(run, "Tint/toto")->GetDefaultValue(), 0.4f);
    EXPECT_EQ(o.GetChannelLinkCount(), 10);

    // A first take named "default" in any case is linked; any other name is not.
    TestObject lower("dEfAuLt");
    EXPECT_EQ(lower.GetChannelLinkCount(), 10);
    EXPECT_EQ(lower.GetCurrentTakeNodeIndex(), -1);
    TestObject other("Other");
    EXPECT_EQ(other.GetChannelLinkCount(), 0);

    // A removed take's curves take their links along.
    o.ResetTakeNodes();
    EXPECT_EQ(o.GetTakeNodeCount(), 1);
    EXPECT_EQ(o.GetChannelLinkCount(), 10);
}

TEST(scene_TakeNodeContainer, LinksBothWaysWithoutEcho) {
    TestObject o;
    o.AddTakeNode("Run");
    o.AddTakeNode("Walk");
    ASSERT_TRUE(o.SetCurrentTakeNode("Run"));
    VOxaTakeNode* def = o.GetDefaultTakeNode();
    VOxaTakeNode* run = o.GetTakeNode(1);
    VOxaTakeNode* walk = o.GetTakeNode(2);

    // Curve -> property, and the property's write into the curves is not delivered again.
    int deliveries = 0;
    VFCurve* weight = Curve(def, "Weight");
    weight->CallbackRegister(&CountEvent, &deliveries);
    weight->SetDefaultValue(2.5f);
    EXPECT_DOUBLE_EQ(o.mWeight->GetDouble(), 2.5);
    EXPECT_EQ(deliveries, 1) << "the property wrote back into its curve";
    EXPECT_FLOAT_EQ(Curve(run, "Weight")->GetDefaultValue(), 2.5f) << "current take follows";
    EXPECT_FLOAT_EQ(Curve(walk, "Weight")->GetDefaultValue(), 0.5f) << "other takes keep theirs";

    // Property -> curves of the current and the default take, no event on the curves.
    int xDeliveries = 0;
    def->GetTranslationX()->CallbackRegister(&CountEvent, &xDeliveries);
    const double t[4] = {4, 5, 6, 1};
    o.mTranslation->SetValue(t);
    EXPECT_EQ(xDeliveries, 0);
    EXPECT_FLOAT_EQ(def->GetTranslationX()->GetDefaultValue(), 4.0f);
    EXPECT_FLOAT_EQ(run->GetTranslationY()->GetDefaultValue(), 5.0f);
    EXPECT_FLOAT_EQ(walk->GetTranslationZ()->GetDefaultValue(), 3.0f);

    // A property written while a linked curve is inside a modification bracket keeps the
    // bracket's own changes pending.
    unsigned bits = 0;
    VFCurve* y = def->GetTranslationY();
    y->CallbackRegister(&CollectEvents, &bits);
    y->KeyModifyBegin();
    y->KeyAdd(VTime(40));
    const double t2[4] = {4, -5, 6, 1};
    o.mTranslation->SetValue(t2);
    EXPECT_FLOAT_EQ(y->GetDefaultValue(), -5.0f);
    y->KeyModifyEnd();
    EXPECT_EQ(bits & VFCurve::eEventKeyAdded, (unsigned)VFCurve::eEventKeyAdded);
    EXPECT_EQ(bits & VFCurve::eEventDefaultValue, 0u);
    y->CallbackUnregister(&CollectEvents, &bits);
    y->KeyClear();
    o.mTranslation->SetValue(t);

    // A curve of another take is not linked.
    Curve(run, "Weight")->SetDefaultValue(9.0f);
    EXPECT_DOUBLE_EQ(o.mWeight->GetDouble(), 2.5);

    // Integer and bool properties saturate; NaN gives 0.
    VFCurve* count = Curve(def, "Count");
    count->SetDefaultValue(1e20f);
    EXPECT_EQ(o.mCount->GetInt(), INT_MAX);
    count->SetDefaultValue(-3.7f);
    EXPECT_EQ(o.mCount->GetInt(), -3);
    count->SetDefaultValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(o.mCount->GetInt(), 0);
    Curve(def, "Flag")->SetDefaultValue(2.5f);
    EXPECT_EQ(o.mFlag->GetInt(), 1);
    Curve(def, "Flag")->SetDefaultValue(0.4f);
    EXPECT_EQ(o.mFlag->GetInt(), 0);

    // The fourth component both ways.
    Curve(def, "Tint/toto")->SetDefaultValue(0.75f);
    EXPECT_DOUBLE_EQ(Component(o.mTint, 3), 0.75);
    EXPECT_DOUBLE_EQ(Component(o.mTint, 0), 0.1);
    const double tint[4] = {0.5, 0.6, 0.7, 0.25};
    o.mTint->SetValue(tint);
    EXPECT_FLOAT_EQ(Curve(def, "Tint/toto")->GetDefaultValue(), 0.25f);
    EXPECT_FLOAT_EQ(Curve(run, "Tint/Y")->GetDefaultValue(), 0.6f);

    // Rotating the default take's translation moves the property along.
    ASSERT_TRUE(def->RotateTranslation(VgeTVector(0, 0, 90, 0)));
    EXPECT_NEAR(Component(o.mTranslation, 0), -5.0, 1e-5);
    EXPECT_NEAR(Component(o.mTranslation, 1), 4.0, 1e-5);
    EXPECT_NEAR(Component(o.mTranslation, 2), 6.0, 1e-5);
    def->GetTranslationX()->CallbackUnregister(&CountEvent, &xDeliveries);
    weight->CallbackUnregister(&CountEvent, &deliveries);

    // After a read: properties set without events reach the default take on request.
    static_cast<VPropertyTemplate<double>*>(o.mWeight)->SetStoredValue(7.0);
    EXPECT_FLOAT_EQ(weight->GetDefaultValue(), 2.5f);
    o.UpdateDefaultTakeFromProperties();
    EXPECT_FLOAT_EQ(weight->GetDefaultValue(), 7.0f);
}

TEST(scene_TakeNodeContainer, TakeRulesAndTexts) {
    TestObject o;
    EXPECT_EQ(o.AddTakeNode("Default"), nullptr);
    EXPECT_EQ(LastError(o), "Take node already exists");
    EXPECT_EQ(o.mErrorObject.GetLastErrorID(), 0);
    ASSERT_NE(o.AddTakeNode("default"), nullptr) << "take names are case-sensitive";
    ASSERT_TRUE(o.SetCurrentTakeNode(1));
    EXPECT_EQ(o.AddDefaultTakeNode(), nullptr);
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 0) << "a failed AddDefaultTakeNode still makes take 0 current";

    EXPECT_FALSE(o.RemoveTakeNode(0));
    EXPECT_EQ(LastError(o), "Cannot remove default take node");
    EXPECT_FALSE(o.RemoveTakeNode("Default"));
    EXPECT_EQ(LastError(o), "Cannot remove default take node");
    EXPECT_FALSE(o.RemoveTakeNode(2));
    EXPECT_EQ(LastError(o), "Index out of range");
    EXPECT_FALSE(o.RemoveTakeNode("nope"));
    EXPECT_EQ(LastError(o), "Unknown take node name");
    EXPECT_EQ(o.GetTakeNode(-1), nullptr);
    EXPECT_EQ(LastError(o), "Take node does not exist");
    EXPECT_EQ(o.GetTakeNodeName(2), nullptr);

    // Removing the current take by index moves the index one down.
    o.AddTakeNode("A");
    o.AddTakeNode("B");  // Default, default, A, B
    ASSERT_TRUE(o.SetCurrentTakeNode("A"));
    EXPECT_TRUE(o.RemoveTakeNode(2));
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 1);
    EXPECT_STREQ(o.GetCurrentTakeNodeName(), "default");
    // By name the index stays, here past the end.
    ASSERT_TRUE(o.SetCurrentTakeNode(2));
    EXPECT_TRUE(o.RemoveTakeNode("B"));
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 2);
    EXPECT_EQ(o.GetCurrentTakeNode(), nullptr);
    EXPECT_EQ(LastError(o), "Take node does not exist");
    EXPECT_EQ(o.GetCurrentTakeNodeName(), nullptr);

    // A failed SetCurrentTakeNode makes take 0 current.
    ASSERT_TRUE(o.SetCurrentTakeNode(1));
    EXPECT_FALSE(o.SetCurrentTakeNode(5));
    EXPECT_EQ(LastError(o), "Index out of range");
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 0);
    ASSERT_TRUE(o.SetCurrentTakeNode(1));
    EXPECT_FALSE(o.SetCurrentTakeNode("DEFAULT"));
    EXPECT_EQ(LastError(o), "Unknown take node name");
    EXPECT_EQ(o.GetCurrentTakeNodeIndex(), 0);
}

TEST(scene_TakeNodeContainer, AnimationAcrossTakes) {
    TestObject o;
    VOxaTakeNode* def = o.GetDefaultTakeNode();
    def->GetTranslationX()->KeyAdd(VTime(10));
    EXPECT_FALSE(o.IsChannelAnimatedInAnyTake("Transform", "T", "X")) << "the default take is not asked";

    VTime start(15), stop(15);
    EXPECT_TRUE(o.GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 10);
    EXPECT_EQ(stop.Get(), 15);

    VOxaTakeNode* run = o.AddTakeNode("Run");
    run->GetTranslationX()->KeyClear();
    EXPECT_FALSE(o.IsChannelAnimatedInAnyTake("Transform", "T", "X"));
    run->GetTranslationX()->KeyAdd(VTime(30));
    EXPECT_TRUE(o.IsChannelAnimatedInAnyTake("Transform", "T", "X"));

    // The interval is the current take's.
    ASSERT_TRUE(o.SetCurrentTakeNode("Run"));
    start = VTime(100);
    stop = VTime(100);
    EXPECT_TRUE(o.GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 30);
    EXPECT_EQ(stop.Get(), 100);
    run->GetTranslationX()->KeyClear();
    EXPECT_FALSE(o.GetAnimationInterval(start, stop));
    EXPECT_EQ(start.Get(), 30);
}

TEST(scene_TakeNodeContainer, UserPropertiesAddAndRemoveChannels) {
    TestObject o;
    o.AddTakeNode("Run");
    VOxaUserProperty extra(nullptr, "Extra", "Vector");
    extra.SetFlag(VOxaUserProperty::eAnimatable, true);
    o.AddUserProperty(&extra);
    ASSERT_TRUE(extra.IsBound());
    VProperty* property = extra.GetProperty();
    EXPECT_TRUE(property->HasStateFlag(kPropertyAnimated));
    EXPECT_EQ(o.GetChannelLinkCount(), 13);
    for (int i = 0; i < 2; ++i) {
        VFCurveNode* channel = o.GetTakeNode(i)->GetVFCurveNode()->FindChild("Extra");
        ASSERT_NE(channel, nullptr) << "take " << i;
        EXPECT_EQ(channel->GetCount(), 3);
    }
    const double v[4] = {7, 8, 9, 1};
    property->SetValue(v);
    EXPECT_FLOAT_EQ(Curve(o.GetDefaultTakeNode(), "Extra/Z")->GetDefaultValue(), 9.0f);
    Curve(o.GetDefaultTakeNode(), "Extra/Y")->SetDefaultValue(-1.0f);
    EXPECT_DOUBLE_EQ(Component(property, 1), -1.0);

    // A property named like a component gets a channel of its own, not the translation's "X".
    VOxaUserProperty x(nullptr, "X", "Number");
    x.SetFlag(VOxaUserProperty::eAnimatable, true);
    o.AddUserProperty(&x);
    x.GetProperty()->SetDouble(42.0);
    EXPECT_FLOAT_EQ(o.GetDefaultTakeNode()->GetTranslationX()->GetDefaultValue(), 1.0f);
    VFCurveNode* root = o.GetDefaultTakeNode()->GetVFCurveNode();
    ASSERT_GE(root->Find("X"), 0);
    EXPECT_FLOAT_EQ(root->Get(root->Find("X"))->FCurveGet()->GetDefaultValue(), 42.0f);
    EXPECT_TRUE(o.RemoveUserProperty(&x));
    EXPECT_NE(o.GetDefaultTakeNode()->GetTranslationX(), nullptr);
    EXPECT_EQ(root->Find("X"), -1);

    EXPECT_TRUE(o.RemoveUserProperty(&extra));
    EXPECT_FALSE(extra.IsBound());
    EXPECT_EQ(o.mHandler.FindProperty("Extra"), nullptr);
    EXPECT_EQ(o.GetChannelLinkCount(), 10);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(o.GetTakeNode(i)->GetVFCurveNode()->FindChild("Extra"), nullptr);
}

TEST(scene_TakeNodeContainer, AssignmentCopiesTakesAndLinksTheCopiedDefaultTake) {
    TestObject a, b;
    a.AddTakeNode("Run");
    a.GetTakeNode(1)->GetTranslationY()->KeyAdd(VTime(5));
    ASSERT_TRUE(a.SetCurrentTakeNode(1));
    a.GetDefaultTakeNode()->GetTranslationY()->SetDefaultValue(7.0f);
    a.mWeight->SetDouble(0.25);
    VOxaTakeNodeContainer& target = b;
    target = a;
    ASSERT_EQ(b.GetTakeNodeCount(), 2);
    EXPECT_EQ(b.GetCurrentTakeNodeIndex(), 1);
    EXPECT_NE(b.GetTakeNode(1), a.GetTakeNode(1));
    EXPECT_EQ(b.GetTakeNode(1)->GetTranslationY()->KeyGetCount(), 1);

    // The copy's properties take the copied defaults, and its default take stays linked to them
    // (the links of the old takes went with their curves).
    double t[4] = {};
    b.mTranslation->GetValue(t);
    EXPECT_EQ(t[0], 1.0);
    EXPECT_EQ(t[1], 7.0);
    EXPECT_EQ(t[2], 3.0);
    EXPECT_EQ(b.mWeight->GetDouble(), 0.25);
    EXPECT_EQ(b.GetChannelLinkCount(), a.GetChannelLinkCount());
    EXPECT_EQ(b.GetChannelLink(-1), nullptr);
    EXPECT_EQ(b.GetChannelLink(b.GetChannelLinkCount()), nullptr);
    for (int i = 0; i < b.GetChannelLinkCount(); ++i) {
        EXPECT_EQ(b.GetChannelLink(i)->mContainer, &b);
        EXPECT_NE(b.GetChannelLink(i)->mProperty, a.mTranslation);
    }
    b.GetDefaultTakeNode()->GetTranslationZ()->SetDefaultValue(-4.0f);
    b.mTranslation->GetValue(t);
    EXPECT_EQ(t[2], -4.0);
    a.mTranslation->GetValue(t);
    EXPECT_EQ(t[2], 3.0) << "the source object must not follow the copy";

    target = b;
    EXPECT_EQ(b.GetTakeNodeCount(), 2);
    EXPECT_EQ(b.GetChannelLinkCount(), a.GetChannelLinkCount());

    EXPECT_STREQ(VOxaTakeNodeContainer::GetChannelName("Lcl Rotation"), "R");
}

// The first handles are made without look-ups; a later call hands out handles only to the
// properties that came since, and each property keeps a single handle, found by property.
TEST(scene_TakeNodeContainer, PropertyHandlesOnePerProperty) {
    TestObject o;
    const int properties = o.mHandler.GetPropertyCount();
    ASSERT_EQ(o.GetUserPropertyCount(), properties);
    for (int i = 0; i < properties; ++i) {
        VProperty* property = o.mHandler.GetProperty(i);
        VOxaUserProperty* handle = o.GetUserProperty(i);
        EXPECT_EQ(handle->GetProperty(), property) << i << ": handles follow the property order";
        EXPECT_EQ(o.FindUserPropertyByProperty(property), handle) << i;
    }
    EXPECT_NE(o.FindUserPropertyByName("Weight"), nullptr);

    o.CreatePropertyHandles();
    EXPECT_EQ(o.GetUserPropertyCount(), properties) << "no second handle";
    VProperty* later = o.mHandler.CreateProperty("Later", "Number", true);
    o.CreatePropertyHandles();
    ASSERT_EQ(o.GetUserPropertyCount(), properties + 1);
    EXPECT_EQ(o.GetUserProperty(properties)->GetProperty(), later);
    EXPECT_EQ(o.FindUserPropertyByProperty(later), o.GetUserProperty(properties));
    ASSERT_NE(Curve(o.GetTakeNode(0), "Later"), nullptr) << "the added handle made its channel";

    // A value change reaches the new handle's channel: the index found it.
    later->SetDouble(7.0);
    EXPECT_EQ(Curve(o.GetTakeNode(0), "Later")->GetDefaultValue(), 7.0f);
}
