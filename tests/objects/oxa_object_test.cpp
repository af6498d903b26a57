#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/vobject_list.h"
#include "objects/voxa_object.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "objects/vworld.h"

namespace {

// A scene object of a chosen type code, with an optional type name and flags.
class Scene : public VOxaObject {
public:
    Scene(int typeCode, const char* name, const char* typeName = "", const char* typeFlag = nullptr)
        : VOxaObject(nullptr, name), mTypeCode(typeCode), mTypeName(typeName), mTypeFlag(typeFlag) {}
    int GetTypeCode() const override { return mTypeCode; }
    VString GetTypeName() const override { return mTypeName; }
    VStringList GetTypeFlags() const override {
        VStringList flags;
        if (mTypeFlag) flags.Add(mTypeFlag);
        return flags;
    }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mHandler; }
    void PropertyAdded(VOxaUserProperty* u) override { added.push_back(u); }
    void PropertyRemoved(VOxaUserProperty* u) override { removed.push_back(u); }

    int mTypeCode;
    VString mTypeName;
    const char* mTypeFlag;
    VOxaPropertyHandler* mHandler = nullptr;
    std::vector<VOxaUserProperty*> added, removed;
};

class Handler : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit Handler(VOxaObject* owner) : mOwner(owner) {}
    VOxaObject* GetOwner() const override { return mOwner; }
    void PropertyValueChanged(VOxaUserProperty* u) override { changed.push_back(u); }
    VOxaObject* mOwner;
    std::vector<VOxaUserProperty*> changed;
};
VOBJECT_IMPLEMENT_CLASS(Handler, VOxaPropertyHandler);

}  // namespace

TEST(objects_OxaObject, MakeObjectName) {
    EXPECT_STREQ(VOxaMakeObjectName("Model::", "Arm").Buffer(), "Model::Arm");
    EXPECT_STREQ(VOxaMakeObjectName("Model::", "Model::Arm").Buffer(), "Model::Arm");
    EXPECT_STREQ(VOxaMakeObjectName("Model::", "").Buffer(), "Model::Name");
    EXPECT_STREQ(VOxaMakeObjectName("Model::", nullptr).Buffer(), "Model::Name");
    EXPECT_STREQ(VOxaMakeObjectName("Model::", "a::b::c").Buffer(), "Model::b::c");
    EXPECT_STREQ(VOxaMakeObjectName("Model::", "Texture::").Buffer(), "Model::Name");
    EXPECT_STREQ(VOxaMakeObjectName("", "x::y").Buffer(), "y");
    EXPECT_STREQ(VOxaMakeObjectName(nullptr, "y").Buffer(), "y");
}

TEST(objects_OxaObject, PrefixesByTypeCode) {
    struct Case {
        int code;
        const char* typeName;
        const char* flag;
        const char* prefix;
    } cases[] = {{1, "", nullptr, "Model::"},
                 {2, "", nullptr, "Texture::"},
                 {3, "", nullptr, "Material::"},
                 {5, "Clip", nullptr, "Video::"},
                 {8, "Character", nullptr, "Constraint::"},
                 {13, "Aim", nullptr, "Constraint::"},
                 {11, "BindPose", nullptr, "Pose::"},
                 {12, "ControlSetPlug", nullptr, "ControlSetPlug::"},
                 {10, "Skin", "Deformer", "Deformer::"},
                 {10, "cLuStEr", "Deformer", "SubDeformer::"},
                 {10, "GenericNode", "GenericNode", ""},
                 {9, "", nullptr, "Pose::"},
                 {0, "", nullptr, ""}};
    for (const Case& c : cases) {
        Scene s(c.code, "initial", c.typeName, c.flag);
        EXPECT_STREQ(s.GetNamePrefix(), c.prefix) << c.code << " " << c.typeName;
        s.SetName("Other::Arm");
        EXPECT_EQ(std::string(s.GetName()), std::string(c.prefix) + "Arm");
        EXPECT_STREQ(s.GetNameWithoutPrefix(), "Arm");
        EXPECT_STREQ(s.GetInitialName(), "initial");
    }
}

TEST(objects_OxaObject, NamesWithoutPrefixAndAssignment) {
    Scene node(1, "Model::Hips");
    EXPECT_STREQ(node.GetName(), "Model::Hips");
    EXPECT_STREQ(node.GetNameWithoutPrefix(), "Hips");
    node.GetObjectName().SetCurrent("Texture::Odd");  // a foreign prefix: after the first "::"
    EXPECT_STREQ(node.GetNameWithoutPrefix(), "Odd");
    node.GetObjectName().SetCurrent("Plain");
    EXPECT_STREQ(node.GetNameWithoutPrefix(), "Plain");
    node.SetName("");
    EXPECT_STREQ(node.GetName(), "Model::Name");
    node.SetInitialName("First");
    EXPECT_STREQ(node.GetInitialName(), "First");

    Scene other(1, "Model::Other");
    other = node;
    EXPECT_STREQ(other.GetName(), "Model::Name");
    EXPECT_STREQ(other.GetInitialName(), "First");
    Scene texture(2, "Texture::T");
    texture = node;  // different type codes: nothing copied
    EXPECT_STREQ(texture.GetName(), "Texture::T");
    EXPECT_STREQ(texture.GetInitialName(), "Texture::T");

    VOxaObjectName pair("A");
    pair.SetCurrent("B");
    EXPECT_STREQ(pair.GetInitial(), "A");
    EXPECT_STREQ(pair.GetCurrent(), "B");
    pair.Set("C");
    EXPECT_STREQ(pair.GetInitial(), "C");
    EXPECT_STREQ(pair.GetCurrent(), "C");
}

TEST(objects_UserProperty, BoundAndUnbound) {
    VObject block;
    auto* vec = static_cast<VPropertyTemplate<VgeTVector>*>(
        block.CreateDynamicProperty("Offset", eValueVector, nullptr));
    VProperty* number = block.CreateDynamicProperty("Weight", eValueNumber, nullptr);
    number->SetDouble(100.0);
    number->GetInfo().SetFlag(kPropertyAnimatable, true);

    VOxaUserProperty bound(nullptr, number);
    EXPECT_STREQ(bound.GetName(), "Weight");
    EXPECT_EQ(bound.GetType(), VOxaUserProperty::eReal);
    EXPECT_TRUE(bound.GetFlag(VOxaUserProperty::eAnimatable));
    double d = -1;
    EXPECT_TRUE(bound.GetDouble(d));
    EXPECT_EQ(d, 100.0);
    EXPECT_FALSE(bound.Bind(vec));  // bound already

    VOxaUserProperty offset(nullptr, vec);
    EXPECT_EQ(offset.GetType(), VOxaUserProperty::eVector);
    EXPECT_TRUE(offset.SetVector(1, 2, 3));
    EXPECT_EQ(vec->GetValue()[2], 3.0);
    EXPECT_EQ(vec->GetValue()[3], 1.0);
    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(offset.GetVector(x, y, z));
    EXPECT_EQ(y, 2.0);

    VOxaUserProperty record(nullptr, "Extra", "color");
    EXPECT_FALSE(record.IsBound());
    EXPECT_STREQ(record.GetName(), "Extra");
    EXPECT_EQ(record.GetType(), VOxaUserProperty::eColor);
    EXPECT_FALSE(record.GetFlag(VOxaUserProperty::eAnimatable));
    d = 7.0;
    EXPECT_FALSE(record.GetDouble(d));
    EXPECT_EQ(d, 7.0);  // untouched
    EXPECT_FALSE(record.GetVector(x, y, z));
    EXPECT_FALSE(record.SetVector(1, 1, 1));
    EXPECT_EQ(VOxaUserProperty(nullptr, "n", "Unheard").GetType(), VOxaUserProperty::eUnknown);
}

TEST(objects_PropertyHandler, CreatePropertyForms) {
    Scene owner(1, "Model::A");
    Handler h(&owner);
    EXPECT_TRUE(h.IsA(VOxaPropertyHandler::ClassId));
    EXPECT_TRUE(h.IsA(VObject::ClassId));
    EXPECT_EQ(VOxaPropertyHandler::ClassInfo.GetFlags(), 1);

    VProperty* fov = h.CreateProperty("FieldOfView", "FieldOfView", true);
    ASSERT_NE(fov, nullptr);
    EXPECT_EQ(fov->GetValueType(), eValueNumber);
    EXPECT_TRUE(fov->IsAnimatable());
    EXPECT_EQ(fov->GetDataType(), VDataType::Find("FieldOfView"));

    // A name already present gets a numbered variant; the existing one is never answered.
    VProperty* again = h.CreateProperty("FieldOfView", "FieldOfView");
    VProperty* third = h.CreateProperty("FieldOfView", eValueNumber, nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again->GetName(), "FieldOfView 1");
    EXPECT_FALSE(again->IsAnimatable());
    EXPECT_STREQ(third->GetName(), "FieldOfView 2");
    EXPECT_EQ(h.FindProperty("FieldOfView"), fov);

    VProperty* translation = h.CreateProperty("Translation", 0, VDataType::Find("Translation"));
    EXPECT_EQ(translation->GetValueType(), eValueVector);
    EXPECT_EQ(h.CreateProperty("X", "NoSuchType"), nullptr);
    EXPECT_EQ(h.CreateProperty(nullptr, "Number"), nullptr);
    EXPECT_EQ(h.GetPropertyCount(), 4);

    // From an unbound record: the record's name and type, bound afterwards.
    VOxaUserProperty record(nullptr, "Glow", "Vector");
    record.SetFlag(VOxaUserProperty::eAnimatable, true);
    VProperty* glow = h.CreateProperty(&record);
    ASSERT_NE(glow, nullptr);
    EXPECT_EQ(record.GetProperty(), glow);
    EXPECT_EQ(glow->GetValueType(), eValueVector);
    EXPECT_TRUE(glow->IsAnimatable());
    EXPECT_EQ(h.CreateProperty(&record), glow);  // bound: nothing new
    VOxaUserProperty unknown(nullptr, "U", "Unheard");
    EXPECT_EQ(h.CreateProperty(&unknown), nullptr);

    // Destroying through the handle removes the created property and unbinds the handle.
    EXPECT_TRUE(h.DestroyProperty(&record));
    EXPECT_FALSE(record.IsBound());
    EXPECT_EQ(h.FindProperty("Glow"), nullptr);
    EXPECT_FALSE(h.DestroyProperty(&record));
}

TEST(objects_PropertyHandler, ValueChangesReachTheOwnersHandle) {
    Scene owner(13, "Constraint::C");
    Handler h(&owner);
    owner.mHandler = &h;
    std::vector<VOxaUserProperty*> handles;
    // Enough properties for the lookups to go through the index.
    for (int i = 0; i < 40; ++i) {
        VProperty* p = h.CreateProperty(("P" + std::to_string(i)).c_str(), "Number", true);
        handles.push_back(new VOxaUserProperty(nullptr, p));
    }
    VProperty* loose = h.CreateProperty("Loose", "Number");  // no handle
    for (VOxaUserProperty* u : handles)
        owner.AddUserProperty(u);
    owner.AddUserProperty(handles[3]);  // listed already: ignored
    owner.AddUserProperty(nullptr);
    EXPECT_EQ(owner.GetUserPropertyCount(), 40);
    EXPECT_EQ(owner.added.size(), 40u);

    h.FindProperty("P17")->SetDouble(2.5);
    ASSERT_EQ(h.changed.size(), 1u);
    EXPECT_EQ(h.changed[0], handles[17]);
    loose->SetDouble(1.0);
    EXPECT_EQ(h.changed.size(), 1u);

    EXPECT_EQ(owner.FindUserPropertyByProperty(h.FindProperty("P39")), handles[39]);
    EXPECT_EQ(owner.FindUserPropertyByProperty(loose), nullptr);
    EXPECT_EQ(owner.FindUserPropertyByProperty(nullptr), nullptr);
    EXPECT_EQ(owner.FindUserPropertyByName("P5"), handles[5]);
    EXPECT_EQ(owner.FindUserPropertyByName("p5"), nullptr);

    // A record added unbound and bound later is found by its new property.
    VOxaUserProperty record(nullptr, "Later", "Bool");
    owner.AddUserProperty(&record);
    EXPECT_EQ(owner.FindUserPropertyByProperty(loose), nullptr);
    VProperty* later = h.CreateProperty(&record);
    EXPECT_EQ(owner.FindUserPropertyByProperty(later), &record);

    EXPECT_TRUE(owner.RemoveUserProperty(handles[0]));
    EXPECT_FALSE(owner.RemoveUserProperty(handles[0]));
    EXPECT_EQ(owner.removed.size(), 1u);
    EXPECT_EQ(owner.GetUserProperty(0), handles[1]);
    EXPECT_EQ(owner.GetUserProperty(99), nullptr);

    VArrayTemplate<VProperty*> all;
    owner.FillPropertyArray(all);
    EXPECT_EQ(all.GetCount(), h.GetPropertyCount());
    EXPECT_EQ(all[0], h.GetProperty(0));

    // A handler in an object list leads back to its scene object.
    VObjectList list;
    list.Add(&h);
    EXPECT_EQ(VObjectList::GetOwnerObject(list.Get(0)), &owner);
    EXPECT_EQ(list.GetFilteredCount(Handler::ClassId), 1);
    list.Clear();

    for (VOxaUserProperty* u : handles)
        delete u;
}

// Look-ups by property on a long list walk it at first and use the index later; both answer
// the first handle bound to the property, and follow a new binding.
TEST(objects_PropertyHandler, WalkedAndIndexedHandleLookupsAgree) {
    Scene owner(13, "Constraint::C");
    Handler h(&owner);
    owner.mHandler = &h;
    std::vector<VOxaUserProperty*> handles;
    for (int i = 0; i < 30; ++i) {
        VProperty* p = h.CreateProperty(("P" + std::to_string(i)).c_str(), "Number", true);
        handles.push_back(new VOxaUserProperty(nullptr, p));
        owner.AddUserProperty(handles.back());
    }
    // A second handle of P2, listed after the first.
    auto* second = new VOxaUserProperty(nullptr, h.FindProperty("P2"));
    handles.push_back(second);
    owner.AddUserProperty(second);
    VOxaUserProperty unbound(nullptr, "Later", "Bool");
    owner.AddUserProperty(&unbound);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(owner.FindUserPropertyByProperty(h.FindProperty("P2")), handles[2]);
        EXPECT_EQ(owner.FindUserPropertyByProperty(h.FindProperty("P29")), handles[29]);
        if (round == 10) {
            VProperty* later = h.CreateProperty(&unbound);  // binds: the index must follow
            EXPECT_EQ(owner.FindUserPropertyByProperty(later), &unbound);
        }
    }
    for (VOxaUserProperty* u : handles)
        delete u;
}

TEST(objects_World, GlobalSlot) {
    VWorld* before = VWorld::GetGlobal();
    VWorld* world = VWorld::Create();
    ASSERT_NE(world, nullptr);
    VWorld::SetGlobal(world);
    EXPECT_EQ(VWorld::GetGlobal(), world);
    world->Lock();
    world->Unlock();
    VWorld::DestroyGlobal(nullptr);  // nothing to destroy
    VWorld::DestroyGlobal(world);
    VWorld::SetGlobal(before);
    EXPECT_EQ(VWorld::GetGlobal(), before);
}
