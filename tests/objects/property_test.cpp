#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/vdatatype.h"
#include "objects/vobject.h"
#include "objects/vproperty.h"
#include "objects/vproperty_object_list.h"

namespace {

enum ELook { eCube, eHardCross, eSphere };

const char* LookName(int value) {
    static const char* names[] = {"Cube", "Hard Cross", "Sphere"};
    return value >= 0 && value < 3 ? names[value] : nullptr;
}

// A property block in the usual pattern: members with getter and setter reaching fields of
// the block, plus an event log.
class Block : public VObject {
public:
    Block() {
        mSize.Declare<&Block::GetSize, &Block::SetSize>("Size", this);
        AddProperty(&mSize);
        mLook.Declare<&Block::GetLook, &Block::SetLook>("Look", this);
        mLook.GetInfo().SetEnumNameCallback(LookName);
        AddProperty(&mLook);
        mPivot.Declare<&Block::GetPivot>("Pivot", this);  // read-only: no setter
        mPivot.SetReadOnly(true);
        AddProperty(&mPivot);
        mShow.Declare("Show", this);  // value kept in the property
        AddProperty(&mShow);
    }
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override {
        events.push_back({event, plug});
        return VObject::ConnectNotify(event, plug, other);
    }
    void OwnerPropertyChanged(VProperty* property) override { changed.push_back(property); }

    double GetSize() const { return size; }
    double SetSize(double v) { return size = v * 2; }  // the setter decides what is kept
    int GetLook() const { return look; }
    void SetLook(int v) { look = v; }
    VgeTVector GetPivot() const { return VgeTVector(pivot[0], pivot[1], pivot[2], 1.0); }

    struct Event {
        int code;
        VPlug* plug;
    };
    std::vector<Event> events;
    std::vector<VProperty*> changed;
    double size = 0;
    int look = 0;
    VgeTVector pivot;

    VPropertyTemplate<double> mSize;
    VPropertyTemplate<ELook> mLook;
    VPropertyTemplate<VgeTVector> mPivot;
    VPropertyTemplate<bool> mShow;
};

std::vector<std::string> Names(const VObject& o) {
    std::vector<std::string> names;
    for (int i = 0; i < o.GetPropertyCount(); ++i)
        names.push_back(o.GetProperty(i)->GetName());
    return names;
}

}  // namespace

TEST(objects_Property, ListOrderAndAddEvents) {
    Block b;
    EXPECT_EQ(Names(b), (std::vector<std::string>{"Size", "Look", "Pivot", "Show"}));
    EXPECT_EQ(b.GetProperty(4), nullptr);
    EXPECT_EQ(b.GetProperty(-1), nullptr);

    b.events.clear();
    VPropertyTemplate<int> extra;
    extra.Declare("Extra", &b);
    ASSERT_TRUE(b.AddProperty(&extra));
    ASSERT_EQ(b.events.size(), 2u);
    EXPECT_EQ(b.events[0].code, eObjectPropertyAdding);
    EXPECT_EQ(b.events[1].code, eObjectPropertyAdded);
    EXPECT_EQ(b.events[0].plug, &extra);
    EXPECT_FALSE(b.AddProperty(&extra));  // listed already
    EXPECT_FALSE(b.AddProperty(nullptr));
    EXPECT_EQ(b.GetPropertyCount(), 5);
    EXPECT_EQ(extra.GetListObject(), &b);
    EXPECT_TRUE(extra.IsA(VProperty::ClassId));
    EXPECT_FALSE(extra.IsA(VObject::ClassId));
}

TEST(objects_Property, CallbacksReachTheOwnerAndValueEvents) {
    Block b;
    b.events.clear();
    b.mSize.SetValue(3.0);
    EXPECT_EQ(b.size, 6.0);  // through the setter
    EXPECT_EQ(b.mSize.GetValue(), 6.0);
    ASSERT_EQ(b.events.size(), 2u);
    EXPECT_EQ(b.events[0].code, ePropertyValueChanging);
    EXPECT_EQ(b.events[1].code, ePropertyValueChanged);
    EXPECT_EQ(b.events[1].plug, &b.mSize);
    ASSERT_EQ(b.changed.size(), 1u);
    EXPECT_EQ(b.changed[0], &b.mSize);

    // A change made behind the property's back is seen on the next read and kept.
    b.size = 11.0;
    EXPECT_EQ(b.mSize.GetDouble(), 11.0);
    EXPECT_EQ(b.mSize.GetStoredValue(), 11.0);

    // Enumerations keep any int, names come from the callback.
    b.mLook.SetInt(7);
    EXPECT_EQ(b.look, 7);
    EXPECT_EQ(b.mLook.GetInt(), 7);
    EXPECT_EQ(b.mLook.GetValueType(), eValueEnum);
    EXPECT_STREQ(b.mLook.GetInfo().GetEnumName(2), "Sphere");
    EXPECT_EQ(b.mLook.GetInfo().GetEnumName(7), nullptr);
    EXPECT_TRUE(b.mLook.GetInfo().HasFlag(kPropertyEnumNames));
    b.mLook.GetInfo().SetEnumNameCallback(nullptr);
    EXPECT_FALSE(b.mLook.GetInfo().HasFlag(kPropertyEnumNames));

    // Without a setter the value goes into the property; the getter still decides reads.
    b.pivot = VgeTVector(1, 2, 3, 9);
    const double in[4] = {4, 5, 6, 7};
    EXPECT_TRUE(b.mPivot.SetValue(in));
    EXPECT_EQ(b.mPivot.GetStoredValue()[0], 4.0);
    double out[4];
    ASSERT_EQ(b.mPivot.GetValue(out), 4);
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[3], 1.0);
    EXPECT_TRUE(b.mPivot.IsReadOnly());

    // Plain stored value.
    b.mShow.SetValue(true);
    EXPECT_TRUE(b.mShow.GetValue());
    EXPECT_EQ(b.mShow.GetDouble(), 1.0);
}

TEST(objects_Property, StateFlagEventAndFlags) {
    Block b;
    b.events.clear();
    b.mShow.SetStateFlag(kPropertyAnimated | kPropertyNotSaved, true);
    b.mShow.SetStateFlag(kPropertyNotSaved, false);
    ASSERT_EQ(b.events.size(), 2u);
    EXPECT_EQ(b.events[0].code, ePropertyStateChanged);
    EXPECT_EQ(b.events[0].plug, &b.mShow);
    EXPECT_EQ(b.mShow.GetStateFlags(), kPropertyAnimated);
    EXPECT_TRUE(b.changed.empty());  // a state change is not a value change

    EXPECT_FALSE(b.mShow.IsAnimatable());
    b.mShow.GetInfo().SetFlag(kPropertyAnimatable, true);
    EXPECT_TRUE(b.mShow.IsAnimatable());
}

TEST(objects_Property, ConversionsOfTheGenericAccess) {
    VObject o;
    VPropertyTemplate<int> i;
    VPropertyTemplate<bool> flag;
    VPropertyTemplate<VgeTVector> v;
    VPropertyTemplate<VString> text;
    VPropertyTemplate<VTime> time;
    i.Declare("i", &o);
    flag.Declare("b", &o);
    v.Declare("v", &o);
    text.Declare("t", &o);
    time.Declare("time", &o);

    // Construction values.
    EXPECT_EQ(i.GetValue(), 0);
    EXPECT_FALSE(flag.GetValue());
    EXPECT_EQ(v.GetValue()[3], 1.0);
    EXPECT_EQ(v.GetValue()[0], 0.0);
    EXPECT_STREQ(text.GetValue().Buffer(), "");

    EXPECT_TRUE(i.SetDouble(-2.9));
    EXPECT_EQ(i.GetValue(), -2);
    EXPECT_TRUE(i.SetDouble(1e300));
    EXPECT_EQ(i.GetValue(), INT_MAX);
    EXPECT_TRUE(i.SetDouble(0.0 / 0.0));
    EXPECT_EQ(i.GetValue(), 0);
    EXPECT_TRUE(flag.SetDouble(0.4));
    EXPECT_FALSE(flag.GetValue());
    EXPECT_TRUE(flag.SetInt(-3));
    EXPECT_TRUE(flag.GetValue());

    EXPECT_FALSE(v.SetDouble(2.0));  // no scalar form for vectors
    EXPECT_EQ(v.GetValue()[0], 0.0);
    EXPECT_FALSE(text.SetDouble(1.0));
    double buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(text.GetValue(buffer), 0);
    EXPECT_EQ(buffer[0], 9.0);
    text.SetValue(VString("abc"));
    EXPECT_STREQ(text.GetValue().Buffer(), "abc");

    EXPECT_TRUE(time.SetDouble(46186158000.0));
    EXPECT_EQ(time.GetValue().Get(), 46186158000LL);
    EXPECT_EQ(time.GetValueType(), eValueTime);
    EXPECT_EQ(GetValueType<bool>(), eValueBool);
    EXPECT_EQ(GetValueType<VgeTVector>(), eValueVector);
}

TEST(objects_Property, FindPropertyFirstMatchOnLongLists) {
    // Reference: the first property of the list with exactly that name.
    VObject o;
    std::vector<std::string> names;
    for (int k = 0; k < 300; ++k) {
        std::string n = "P" + std::to_string(k % 120);  // duplicates after 120
        if (k % 7 == 0) n = "p" + std::to_string(k);    // case differs
        names.push_back(n);
        ASSERT_NE(o.CreateDynamicProperty(n.c_str(), eValueNumber, nullptr), nullptr);
    }
    auto reference = [&](const std::string& n) -> VProperty* {
        for (int k = 0; k < o.GetPropertyCount(); ++k) {
            if (n == o.GetProperty(k)->GetName()) return o.GetProperty(k);
        }
        return nullptr;
    };
    for (int k = 0; k < 300; ++k) {
        ASSERT_EQ(o.FindProperty(names[k].c_str()), reference(names[k])) << names[k];
    }
    EXPECT_EQ(o.FindProperty("P1"), o.GetProperty(1));
    EXPECT_EQ(o.FindProperty("P1 "), nullptr);
    EXPECT_EQ(o.FindProperty(nullptr), nullptr);
    EXPECT_EQ(o.FindProperty("p1"), nullptr);

    // Removing the first holder makes the next one the answer; renaming is seen at once.
    VProperty* first = o.FindProperty("P5");
    ASSERT_TRUE(o.RemoveProperty(first));
    EXPECT_EQ(o.GetPropertyCount(), 299);
    EXPECT_EQ(o.FindProperty("P5"), reference("P5"));
    EXPECT_NE(o.FindProperty("P5"), nullptr);
    VProperty* renamed = o.GetProperty(10);
    renamed->SetNameAndType("Renamed", eValueNumber);
    EXPECT_EQ(o.FindProperty("Renamed"), renamed);
    EXPECT_EQ(o.GetProperty(10), renamed);
    for (int k = 0; k < o.GetPropertyCount(); ++k) {
        const char* n = o.GetProperty(k)->GetName();
        ASSERT_EQ(o.FindProperty(n), reference(n));
    }
}

// The first look-ups of a long list walk it, the later ones use the index: both answer the first
// holder of a name, also with holes left by a removal.
TEST(objects_Property, WalkedAndIndexedLookupsAgree) {
    VObject o;
    std::vector<VProperty*> made;
    for (int k = 0; k < 40; ++k)
        made.push_back(o.CreateDynamicProperty(k % 2 ? "Odd" : ("Even" + std::to_string(k)).c_str(),
                                               eValueNumber, nullptr));
    ASSERT_TRUE(o.RemoveProperty(made[1]));  // the first "Odd" leaves a hole
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(o.FindProperty("Odd"), made[3]);
        EXPECT_EQ(o.FindProperty("Even38"), made[38]);
        EXPECT_EQ(o.FindProperty("Even"), nullptr);
        EXPECT_EQ(o.FindProperty("Odd "), nullptr);
    }
}

TEST(objects_Property, RenamingThroughDeclareReachesTheNameIndex) {
    // Enough properties (40) for the lookup to build its name index; then one is declared again
    // under another name.
    VObject o;
    for (int k = 0; k < 40; ++k)
        ASSERT_NE(o.CreateDynamicProperty(("Q" + std::to_string(k)).c_str(), eValueNumber, nullptr), nullptr);
    VProperty* p = o.FindProperty("Q7");
    ASSERT_NE(p, nullptr);
    p->Declare("Moved", &o);
    EXPECT_EQ(o.FindProperty("Moved"), p);
    EXPECT_EQ(o.FindProperty("Q7"), nullptr);
    EXPECT_EQ(o.FindProperty("Q8"), o.GetProperty(8));
    EXPECT_EQ(o.GetProperty(7), p);
}

// A block that lists its members the way the scene's property blocks do: literal names, no
// add events.
class DeclaredBlock : public Block {
public:
    DeclaredBlock() {
        mDepth.Declare<&DeclaredBlock::GetDepth, &DeclaredBlock::SetDepth>(VLiteralName{"Depth"}, this);
        AddDeclaredProperty(&mDepth);
        mDepth.SetValue(4.0);
    }
    double GetDepth() const { return depth; }
    void SetDepth(double v) { depth = v; }
    bool AddAgain() { return AddDeclaredProperty(&mDepth); }

    double depth = 0;
    VPropertyTemplate<double> mDepth;
};

TEST(objects_Property, LiteralNamesAndQuietlyListedMembers) {
    DeclaredBlock b;
    EXPECT_EQ(Names(b), (std::vector<std::string>{"Size", "Look", "Pivot", "Show", "Depth"}));
    EXPECT_EQ(b.depth, 4.0);  // the callbacks were installed with the literal name
    EXPECT_EQ(b.FindProperty("Depth"), &b.mDepth);
    EXPECT_EQ(b.mDepth.GetListObject(), &b);
    // Listed without the two add events the base's members came with (its value change came
    // with its own).
    int adds = 0;
    for (const Block::Event& e : b.events) {
        if (e.code != eObjectPropertyAdding && e.code != eObjectPropertyAdded) continue;
        ++adds;
        EXPECT_NE(e.plug, &b.mDepth);
    }
    EXPECT_EQ(adds, 8);
    EXPECT_FALSE(b.AddAgain());

    // Declared again with a text, or renamed, the literal gives way.
    b.mDepth.Declare("Height", &b);
    EXPECT_STREQ(b.mDepth.GetName(), "Height");
    EXPECT_EQ(b.FindProperty("Depth"), nullptr);
    EXPECT_EQ(b.FindProperty("Height"), &b.mDepth);
    b.mDepth.Declare(VLiteralName{"Depth"}, &b);
    EXPECT_EQ(b.FindProperty("Depth"), &b.mDepth);
    b.mDepth.SetNameAndType("Width", eValueNumber);
    EXPECT_STREQ(b.mDepth.GetName(), "Width");
    EXPECT_EQ(b.FindProperty("Width"), &b.mDepth);
    b.mDepth.Declare(VLiteralName{nullptr}, &b);
    EXPECT_STREQ(b.mDepth.GetName(), "");
}

TEST(objects_Property, CreatedPropertiesByValueType) {
    VObject o;
    struct Case {
        int valueType;
        int components;
    } cases[] = {{eValueInteger, 1},   {eValueBool, 1},   {eValueReal, 1},  {eValueNumber, 1},
                 {eValueText, 0},      {eValueEnum, 1},   {eValueTime, 1},  {eValueString, 0},
                 {eValueVector4, 4},   {eValueVector, 4}, {eValueColor, 4}, {eValueColorAndAlpha, 4},
                 {eValueObjectList, 0}};
    for (const Case& c : cases) {
        std::string name = "v" + std::to_string(c.valueType);
        VProperty* p = o.CreateDynamicProperty(name.c_str(), c.valueType, nullptr);
        ASSERT_NE(p, nullptr) << c.valueType;
        EXPECT_EQ(p->GetValueType(), c.valueType);
        EXPECT_TRUE(p->IsOwnedByObject());
        EXPECT_EQ(p->GetParentObject(), &o);
        double out[4] = {5, 5, 5, 5};
        EXPECT_EQ(p->GetValue(out), c.components) << c.valueType;
        if (c.components == 4) {
            EXPECT_EQ(out[0], 0.0);
            EXPECT_EQ(out[3], 1.0);
        } else if (c.components == 1) {
            EXPECT_EQ(out[0], 0.0);
        }
    }
    EXPECT_EQ(o.CreateDynamicProperty("bad", 10, nullptr), nullptr);
    EXPECT_EQ(o.CreateDynamicProperty("bad", 0, nullptr), nullptr);
    EXPECT_EQ(o.CreateDynamicProperty(nullptr, eValueBool, nullptr), nullptr);
    EXPECT_EQ(o.GetPropertyCount(), 13);
    EXPECT_TRUE(o.FindProperty("v9")->IsA(VPropertyObjectList::ClassId));

    // A data type of its own, else the default of the value type.
    VProperty* lcl =
        o.CreateDynamicProperty("Lcl Translation", eValueVector, VDataType::Find("Lcl Translation"));
    EXPECT_STREQ(lcl->GetDataType()->GetName(), "Lcl Translation");
    EXPECT_STREQ(o.FindProperty("v13")->GetDataType()->GetName(), "Vector");
    EXPECT_EQ(o.FindProperty("v2")->GetDataType(), nullptr);
}

// The value stamp moves with every write of a value, stored or through a setter, and with the
// list; reads leave it where it is.
TEST(objects_Property, ValueStampFollowsWritesNotReads) {
    Block block;
    uint64_t stamp = block.GetValueStamp();
    auto moved = [&] {
        bool result = block.GetValueStamp() != stamp;
        stamp = block.GetValueStamp();
        return result;
    };
    block.mSize.GetValue();
    double values[4];
    block.mPivot.GetValue(values);
    block.FindProperty("Look");
    EXPECT_FALSE(moved()) << "reads";
    block.mSize.SetValue(3.0);
    EXPECT_TRUE(moved()) << "through the setter";
    block.mShow.SetValue(false);
    EXPECT_TRUE(moved()) << "the same value again is a write all the same";
    block.mLook.SetStoredValue(eSphere);
    EXPECT_TRUE(moved()) << "stored without events";
    EXPECT_TRUE(block.mSize.SetDouble(1.0));
    EXPECT_TRUE(moved()) << "generic access";
    VProperty* created = block.CreateDynamicProperty("Weight", eValueNumber, nullptr);
    EXPECT_TRUE(moved()) << "a property joins";
    created->SetDouble(2.0);
    EXPECT_TRUE(moved()) << "a created property";
    block.RemoveProperty(created);
    EXPECT_TRUE(moved()) << "a property leaves";
    EXPECT_FALSE(block.DestroyProperty(nullptr));
    EXPECT_FALSE(moved()) << "nothing destroyed";

    // A property listed by another object than the one that declared it moves both.
    VObject lister;
    VPropertyTemplate<double> borrowed;
    borrowed.Declare("Borrowed", &block);
    lister.AddProperty(&borrowed);
    const uint64_t listerStamp = lister.GetValueStamp();
    stamp = block.GetValueStamp();
    borrowed.SetValue(5.0);
    EXPECT_TRUE(moved());
    EXPECT_NE(lister.GetValueStamp(), listerStamp);
}

TEST(objects_Property, MemberPropertiesLeaveTheListWhenDestroyed) {
    VObject o;
    o.CreateDynamicProperty("created", eValueNumber, nullptr);
    {
        VPropertyTemplate<double> member;
        member.Declare("member", &o);
        o.AddProperty(&member);
        EXPECT_EQ(o.GetPropertyCount(), 2);
    }
    EXPECT_EQ(o.GetPropertyCount(), 1);
    EXPECT_EQ(o.FindProperty("member"), nullptr);
    EXPECT_STREQ(o.GetProperty(0)->GetName(), "created");
}

TEST(objects_Property, DestroyingDisconnectsAndEmptiesTheList) {
    auto* block = new Block();
    VObject other;
    VProperty* created = block->CreateDynamicProperty("Weight", eValueNumber, nullptr);
    ASSERT_TRUE(created->ConnectSrc(&other));
    ASSERT_TRUE(other.ConnectSrc(block));
    block->Destroying();
    EXPECT_EQ(block->GetPropertyCount(), 0);
    EXPECT_EQ(other.GetSrcCount(), 0);
    EXPECT_EQ(other.GetDstCount(), 0);
    block->Destroy();
}

TEST(objects_ObjectListProperty, SourcesAndDestinations) {
    std::vector<int> events;
    class Owner : public VObject {
    public:
        explicit Owner(std::vector<int>* log) : mLog(log) {}
        bool ConnectNotify(int event, VPlug* plug, VPlug* other) override {
            if (plug != this && event < 10) mLog->push_back(event);
            return VObject::ConnectNotify(event, plug, other);
        }
        std::vector<int>* mLog;
    } owner(&events);

    VPropertyObjectList* sources = CreatePropertyObjectList(&owner, "Source", 0, -1, -1, 1, 42);
    VPropertyObjectList* targets = CreatePropertyObjectList(&owner, "Constrained Object", 8, -1, 1, 2, 0);
    ASSERT_NE(sources, nullptr);
    EXPECT_EQ(sources->GetValueType(), eValueObjectList);
    EXPECT_EQ(sources->GetUserValue(), 42);
    EXPECT_TRUE(sources->GetInfo().HasFlag(kPropertyInfo1 | kPropertyInfo4 | kPropertyInfo8));
    EXPECT_EQ(sources->GetFlags() & 7, kPlugAcceptsSrc);
    EXPECT_EQ(targets->GetFlags() & 7, kPlugIsSrc);
    EXPECT_TRUE(targets->GetFlags() & kPlugFilteredChild);
    EXPECT_EQ(targets->GetMaxCount(), 1);
    EXPECT_EQ(owner.GetPropertyCount(), 2);

    VObject a, b, c;
    events.clear();
    EXPECT_TRUE(sources->Add(&a));
    EXPECT_EQ(events, (std::vector<int>{0, 2, 4}));  // the owner hears its list's events
    EXPECT_TRUE(sources->Add(&b));
    EXPECT_TRUE(sources->IsConnectedSrc(&a));
    EXPECT_EQ(sources->GetCount(), 2);
    EXPECT_EQ(sources->GetAt(1), &b);
    EXPECT_EQ(sources->GetAt(2), nullptr);  // checked, not trusted
    EXPECT_EQ(sources->GetAt(-1), nullptr);

    EXPECT_TRUE(targets->Add(&c));
    EXPECT_TRUE(c.IsConnectedSrc(targets));
    EXPECT_EQ(targets->GetCount(), 1);
    EXPECT_EQ(targets->GetAt(0), &c);
    EXPECT_FALSE(targets->Add(&c));

    EXPECT_TRUE(sources->SetAt(0, &c));  // replaces a
    EXPECT_FALSE(sources->IsConnectedSrc(&a));
    EXPECT_EQ(sources->GetCount(), 2);
    EXPECT_TRUE(sources->SetAt(5, &a));  // past the end: adds
    EXPECT_EQ(sources->GetCount(), 3);
    EXPECT_FALSE(sources->SetAt(-1, &a));
    EXPECT_FALSE(sources->SetAt(0, nullptr));  // the entry stays
    EXPECT_EQ(sources->GetCount(), 3);

    events.clear();
    EXPECT_TRUE(sources->Remove(&b));
    EXPECT_EQ(events, (std::vector<int>{6, 8}));
    EXPECT_FALSE(sources->Remove(&b));
    sources->Clear();
    targets->Clear();
    EXPECT_EQ(sources->GetCount(), 0);
    EXPECT_EQ(c.GetSrcCount(), 0);
}

TEST(objects_ObjectListProperty, FiltersDecideWhatIsListed) {
    VObject owner;
    VPropertyObjectList list;
    list.Declare("LookAtProperty", &owner);
    owner.AddProperty(&list);
    list.SetConnectionKind(1);
    VPropertyObjectList other;
    VObject plain;
    VPlug bare;
    ASSERT_TRUE(list.Add(&plain));
    ASSERT_TRUE(list.ConnectSrc(&bare));
    ASSERT_TRUE(list.ConnectSrc(&other));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(1), nullptr);  // not an object

    list.SetConnectionRule(1, VObject::ClassId);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0), &plain);
    list.SetConnectionRule(1, -1);
    list.SetObjectFilter(1, VProperty::ClassId);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0), static_cast<VObject*>(nullptr));  // a property is not an object
    list.SetObjectFilter(0, -1);
    EXPECT_EQ(list.GetCount(), 3);
}

namespace {

// Members declared the way scene objects declare theirs, so that objects share descriptions.
class SharedBlock : public VObject {
public:
    SharedBlock() {
        OXA_DECLARE_MEMBER_PROPERTY(SharedBlock, Width);
        OXA_DECLARE_MEMBER_PROPERTY(SharedBlock, Look);
    }
    double GetWidth() const { return mWidth.GetStoredValue(); }
    void SetWidth(double v) { mWidth.SetStoredValue(v); }
    ELook GetLook() const { return mLook.GetStoredValue(); }
    void SetLook(ELook v) { mLook.SetStoredValue(v); }

    VPropertyTemplate<double> mWidth;
    VPropertyTemplate<ELook> mLook;
};

}  // namespace

TEST(objects_Property, DescriptionsAreSharedUntilChanged) {
    SharedBlock a, b;
    const SharedBlock& ca = a;
    const SharedBlock& cb = b;
    // Before anything is set: one description for both objects, their class defaults readable.
    EXPECT_TRUE(a.mWidth.SharesInfo());
    EXPECT_EQ(&ca.mWidth.GetInfo(), &cb.mWidth.GetInfo());
    EXPECT_STREQ(a.mWidth.GetName(), "Width");
    EXPECT_EQ(a.mWidth.GetValueType(), eValueNumber);
    EXPECT_EQ(b.mLook.GetValueType(), eValueEnum);
    EXPECT_EQ(a.mWidth.GetValue(), 0.0);
    EXPECT_EQ(a.FindProperty("Look"), &a.mLook);

    // Values are each object's own.
    a.mWidth.SetValue(2.5);
    EXPECT_EQ(a.mWidth.GetValue(), 2.5);
    EXPECT_EQ(b.mWidth.GetValue(), 0.0);
    EXPECT_TRUE(a.mWidth.SharesInfo());  // a value is not a description

    // A change of the description is the changing object's alone.
    a.mLook.GetInfo().SetEnumNameCallback(LookName);
    EXPECT_FALSE(a.mLook.SharesInfo());
    EXPECT_STREQ(a.mLook.GetInfo().GetEnumName(2), "Sphere");
    EXPECT_STREQ(a.mLook.GetName(), "Look");
    EXPECT_EQ(a.mLook.GetValueType(), eValueEnum);
    EXPECT_TRUE(b.mLook.SharesInfo());
    EXPECT_EQ(cb.mLook.GetInfo().GetEnumName(2), nullptr);
    EXPECT_FALSE(cb.mLook.GetInfo().HasFlag(kPropertyEnumNames));

    // Setting what it already holds keeps the shared description; anything else does not.
    b.mWidth.SetValueType(eValueNumber);
    b.mWidth.SetDataType(nullptr);
    EXPECT_TRUE(b.mWidth.SharesInfo());
    b.mWidth.SetValueType(eValueReal);
    EXPECT_FALSE(b.mWidth.SharesInfo());
    EXPECT_EQ(b.mWidth.GetValueType(), eValueReal);
    EXPECT_EQ(a.mWidth.GetValueType(), eValueNumber);
    EXPECT_STREQ(b.mWidth.GetName(), "Width");
    a.mWidth.SetDataType(VDataType::GetDefault(eValueVector));
    EXPECT_EQ(a.mWidth.GetInfo().GetDataType(), VDataType::GetDefault(eValueVector));
    EXPECT_EQ(cb.mWidth.GetInfo().GetDataType(), nullptr);

    // A renamed object leaves the other's name alone, and its own name is a copy.
    std::string name = "Breadth";
    b.mWidth.Declare(name.c_str(), &b);
    name = "Changed";
    EXPECT_STREQ(b.mWidth.GetName(), "Breadth");
    EXPECT_STREQ(a.mWidth.GetName(), "Width");
    EXPECT_EQ(b.FindProperty("Breadth"), &b.mWidth);
    b.mWidth.SetNameAndType(b.mWidth.GetName(), eValueNumber);  // its own name given back
    EXPECT_STREQ(b.mWidth.GetName(), "Breadth");

    // A nameless property takes the value type of its class, and another one, without a copy.
    VPropertyTemplate<int> count;
    EXPECT_EQ(count.GetValueType(), eValueInteger);
    EXPECT_STREQ(count.GetName(), "");
    EXPECT_TRUE(count.SharesInfo());
    count.SetValueType(eValueEnum);
    EXPECT_EQ(count.GetValueType(), eValueEnum);
    EXPECT_TRUE(count.SharesInfo());
    VPropertyTemplate<int> other;
    EXPECT_EQ(other.GetValueType(), eValueInteger);  // the first one's change is its own
    count.SetValueType(eValueUndefined);
    EXPECT_EQ(count.GetValueType(), eValueUndefined);
    EXPECT_TRUE(count.SharesInfo());

    // A property without a value of its own sets nothing.
    VProperty bare;
    const double in[4] = {1.0, 2.0, 3.0, 4.0};
    EXPECT_FALSE(bare.SetValue(in));
    EXPECT_FALSE(bare.SetDouble(1.0));
    EXPECT_FALSE(bare.SetInt(1));
}

namespace {

int gGetterCalls = 0;
double gHeld = 0.0;
double CountedGet(VObject*) {
    ++gGetterCalls;
    return gHeld;
}
void HeldSet(VObject*, double value) {
    gHeld = value;
}

}  // namespace

// The accessors of a property live with its description: they stay when the description becomes
// the property's own, when it is renamed or given a shared description, and they are no other
// property's.
TEST(objects_Property, AccessorsFollowTheirProperty) {
    SharedBlock a, b;
    a.mWidth.GetInfo().SetFlag(kPropertyAnimatable, true);  // a's own description now
    EXPECT_FALSE(a.mWidth.SharesInfo());
    a.mWidth.SetValue(4.0);
    EXPECT_EQ(a.GetWidth(), 4.0);  // still through the setter
    a.SetWidth(5.0);
    EXPECT_EQ(a.mWidth.GetValue(), 5.0);
    EXPECT_EQ(b.mWidth.GetValue(), 0.0);

    VObject owner;
    VPropertyTemplate<double> held;
    held.Declare("Held", &owner, CountedGet, HeldSet);
    VPropertyTemplate<double> plain;
    plain.Declare("Plain", &owner);
    gGetterCalls = 0;
    gHeld = 0.0;
    held.SetValue(2.0);
    EXPECT_EQ(gHeld, 2.0);
    EXPECT_EQ(held.GetValue(), 2.0);
    EXPECT_EQ(gGetterCalls, 1);
    plain.SetValue(3.0);
    EXPECT_EQ(gHeld, 2.0);  // the other property stores its own value
    EXPECT_EQ(plain.GetStoredValue(), 3.0);

    held.SetNameAndType("Renamed", eValueNumber);
    held.SetValue(6.0);
    EXPECT_EQ(gHeld, 6.0);
    static const VPropertyInfo shared(VLiteralName{"Shared"}, eValueNumber);
    held.VProperty::Declare(&shared, &owner);
    EXPECT_STREQ(held.GetName(), "Shared");
    held.SetValue(7.0);
    EXPECT_EQ(gHeld, 7.0);
    EXPECT_EQ(held.GetDouble(), 7.0);
    EXPECT_FALSE(held.SharesInfo());  // the accessors are its own

    // Declared again without accessors, the value is the property's.
    held.Declare("Held", &owner);
    held.SetValue(8.0);
    EXPECT_EQ(gHeld, 7.0);
    EXPECT_EQ(held.GetValue(), 8.0);
    held.Declare(&shared, &owner);
    EXPECT_TRUE(held.SharesInfo());
}

TEST(objects_Property, DescriptionsCopyTheirNames) {
    VPropertyTemplate<double> named;
    std::string text = "Own name";
    named.Declare(text.c_str(), nullptr);
    named.GetInfo().SetFlag(kPropertyAnimatable, true);
    VPropertyInfo copy(named.GetInfo());
    VPropertyInfo assigned;
    assigned = named.GetInfo();
    named.Declare("Other", nullptr);
    EXPECT_STREQ(copy.GetName(), "Own name");
    EXPECT_STREQ(assigned.GetName(), "Own name");
    EXPECT_TRUE(assigned.HasFlag(kPropertyAnimatable));
    EXPECT_EQ(assigned.GetValueType(), eValueNumber);
    const VPropertyInfo& alias = assigned;
    assigned = alias;  // self-assignment keeps the name
    EXPECT_STREQ(assigned.GetName(), "Own name");
    VPropertyInfo literal(VLiteralName{"Literal"}, eValueBool);
    assigned = literal;
    EXPECT_EQ(assigned.GetName(), literal.GetName());  // a literal is kept by its address
    EXPECT_EQ(assigned.GetValueType(), eValueBool);
    EXPECT_FALSE(assigned.HasFlag(kPropertyAnimatable));
}
