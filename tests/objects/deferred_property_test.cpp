#include <gtest/gtest.h>

#include <string>

#include "objects/vobject.h"
#include "objects/vproperty.h"

namespace {

// A block that lists its members as scene objects list theirs: values in the object, each
// property made when first asked for. The make function counts what it makes.
class LazyBlock : public VObject {
public:
    explicit LazyBlock(int extra = 0) {
        AddDeferredProperty(&Width());
        AddDeferredProperty(&Hidden());
        // Enough dynamic properties after them for the name index to be built.
        for (int i = 0; i < extra; ++i)
            CreateDynamicProperty(("Extra" + std::to_string(i)).c_str(), eValueInteger, nullptr);
    }
    double GetWidth() const { return mWidth; }
    void SetWidth(double value) {
        mWidth = value;
        NoteValueWritten();
    }
    bool GetHidden() const { return mHidden; }
    void SetHidden(bool value) {
        mHidden = value;
        NoteValueWritten();
    }
    using VObject::GetDeclaredProperty;

    static int sMade;
    static const VDeferredProperty& Width() {
        static const VPropertyInfo info =
            VPropertyTemplate<double>::MakeMemberInfo<&LazyBlock::GetWidth, &LazyBlock::SetWidth>(
                VLiteralName{"Width"});
        static const VDeferredProperty declaration{&info, &Counted<double>, 0};
        return declaration;
    }
    static const VDeferredProperty& Hidden() {
        static const VPropertyInfo info =
            VPropertyTemplate<bool>::MakeMemberInfo<&LazyBlock::GetHidden, &LazyBlock::SetHidden>(
                VLiteralName{"Hidden"});
        static const VDeferredProperty declaration{&info, &Counted<bool>, kPropertyNotSaved};
        return declaration;
    }

private:
    template <typename T>
    static VProperty* Counted(VObject* owner, const VPropertyInfo* info) {
        ++sMade;
        return MakeDeferredPropertyTemplate<T>(owner, info);
    }

    double mWidth = 1.5;
    bool mHidden = false;
};

int LazyBlock::sMade = 0;

class objects_DeferredProperty : public ::testing::Test {
protected:
    void SetUp() override { LazyBlock::sMade = 0; }
};

TEST_F(objects_DeferredProperty, ListedWithoutBeingMadeUntilAskedFor) {
    LazyBlock block;
    EXPECT_EQ(block.GetPropertyCount(), 2);
    // Descriptions answer name, type and flags without making anything.
    ASSERT_NE(block.GetPropertyInfo(0), nullptr);
    EXPECT_STREQ(block.GetPropertyInfo(0)->GetName(), "Width");
    EXPECT_EQ(block.GetPropertyInfo(1)->GetValueType(), eValueBool);
    EXPECT_EQ(block.GetPropertyInfo(2), nullptr);
    EXPECT_EQ(block.GetPropertyInfo(-1), nullptr);
    EXPECT_EQ(block.FindProperty("Depth"), nullptr);
    EXPECT_EQ(LazyBlock::sMade, 0);

    // A value written before the property exists is what the property reads once made.
    block.SetWidth(4.0);
    VProperty* width = block.FindProperty("Width");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(LazyBlock::sMade, 1);
    EXPECT_EQ(width->GetDouble(), 4.0);
    EXPECT_STREQ(width->GetName(), "Width");
    EXPECT_EQ(width->GetListObject(), &block);
    EXPECT_EQ(width->GetParentObject(), &block);
    EXPECT_TRUE(width->SharesInfo());
    // Made once: every way of asking answers the same property.
    EXPECT_EQ(block.GetProperty(0), width);
    EXPECT_EQ(block.GetDeclaredProperty(&LazyBlock::Width()), width);
    EXPECT_EQ(LazyBlock::sMade, 1);

    // Given a description of its own, it is still the declaration's property.
    width->GetInfo().SetFlag(kPropertyAnimatable, true);
    EXPECT_FALSE(width->SharesInfo());
    EXPECT_EQ(block.GetDeclaredProperty(&LazyBlock::Width()), width);
    EXPECT_FALSE(LazyBlock::Width().mInfo->HasFlag(kPropertyAnimatable));

    // Written through the property, the value reaches the object, with the stamp moved.
    const uint64_t stamp = block.GetValueStamp();
    ASSERT_TRUE(width->SetDouble(7.25));
    EXPECT_EQ(block.GetWidth(), 7.25);
    EXPECT_GT(block.GetValueStamp(), stamp);

    // The second one starts with its declared state.
    VProperty* hidden = block.GetProperty(1);
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->HasStateFlag(kPropertyNotSaved));
    EXPECT_EQ(hidden->GetValueType(), eValueBool);
    EXPECT_EQ(LazyBlock::sMade, 2);
}

TEST_F(objects_DeferredProperty, NameIndexAndRemovalKeepSlotsInOrder) {
    LazyBlock block(20);
    ASSERT_EQ(block.GetPropertyCount(), 22);
    // Enough look-ups for the name index; it must know the slots not made yet.
    for (int i = 0; i < 12; ++i)
        ASSERT_NE(block.FindProperty(("Extra" + std::to_string(i)).c_str()), nullptr);
    EXPECT_EQ(LazyBlock::sMade, 0);
    VProperty* hidden = block.FindProperty("Hidden");
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(block.GetProperty(1), hidden);
    EXPECT_EQ(LazyBlock::sMade, 1);

    // Removing a property before them moves them up; what is not made is made where it now is.
    ASSERT_TRUE(block.RemoveProperty(block.FindProperty("Extra0")));
    EXPECT_EQ(block.GetPropertyCount(), 21);
    EXPECT_STREQ(block.GetPropertyInfo(2)->GetName(), "Extra1") << "the hole is squeezed out first";
    // A property of another object is not this one's to remove.
    LazyBlock other;
    VProperty* foreign = other.GetProperty(0);
    EXPECT_FALSE(block.RemoveProperty(foreign));
    EXPECT_EQ(foreign->GetListObject(), &other);
    EXPECT_EQ(block.GetPropertyCount(), 21);
    EXPECT_EQ(block.GetProperty(1), hidden);
    ASSERT_TRUE(block.RemoveProperty(hidden));  // made by the object: deleted by it
    EXPECT_EQ(block.GetPropertyCount(), 20);
    EXPECT_EQ(block.GetDeclaredProperty(&LazyBlock::Hidden()), nullptr);
    EXPECT_STREQ(block.GetPropertyInfo(1)->GetName(), "Extra1");
    EXPECT_STREQ(block.GetProperty(0)->GetName(), "Width");
    EXPECT_STREQ(block.FindProperty("Extra19")->GetName(), "Extra19");
}

TEST_F(objects_DeferredProperty, DestroyingDropsSlotsWithoutMakingThem) {
    auto* block = new LazyBlock(3);
    VProperty* hidden = block->GetProperty(1);
    ASSERT_NE(hidden, nullptr);
    VObject other;
    ASSERT_TRUE(other.ConnectSrc(hidden));
    block->Destroying();
    EXPECT_EQ(block->GetPropertyCount(), 0);
    EXPECT_EQ(other.GetSrcCount(), 0) << "a made property is disconnected";
    EXPECT_EQ(LazyBlock::sMade, 1);
    delete block;
}

// Counts the list events an object hears.
class ListeningObject : public VObject {
public:
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override {
        if (event == eObjectPropertyAdded) ++mAdded;
        return VObject::ConnectNotify(event, plug, other);
    }
    using VObject::CreateSharedProperty;
    int mAdded = 0;
};

TEST(objects_SharedProperty, CreatedPropertiesShareOneDescriptionUntilChanged) {
    VPropertyInfo info(VLiteralName{"Lcl Scaling"}, eValueVector);
    info.SetDataType(VDataType::GetDefault(eValueVector));
    info.SetFlag(kPropertyAnimatable, true);
    ListeningObject a, b;
    VProperty* pa = a.CreateSharedProperty(&info);
    VProperty* pb = b.CreateSharedProperty(&info);
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(a.mAdded, 1) << "listed with the list events";
    EXPECT_TRUE(pa->IsOwnedByObject());
    EXPECT_EQ(pa->GetParentObject(), &a);
    EXPECT_EQ(&static_cast<const VProperty*>(pa)->GetInfo(), &info);
    EXPECT_EQ(pa->GetValueType(), eValueVector);
    EXPECT_TRUE(pa->IsAnimatable());
    EXPECT_EQ(a.FindProperty("Lcl Scaling"), pa);
    // Values are each property's own; a changed description is the changing one's alone.
    const double v[4] = {2.0, 3.0, 4.0, 1.0};
    ASSERT_TRUE(pa->SetValue(v));
    double out[4] = {0, 0, 0, 0};
    pb->GetValue(out);
    EXPECT_EQ(out[0], 0.0);
    pb->GetInfo().SetFlag(kPropertyAnimatable, false);
    EXPECT_TRUE(pa->IsAnimatable());
    EXPECT_TRUE(info.HasFlag(kPropertyAnimatable));
    EXPECT_EQ(a.CreateSharedProperty(nullptr), nullptr);
    VPropertyInfo untyped(VLiteralName{"Nothing"}, eValueUndefined);
    EXPECT_EQ(a.CreateSharedProperty(&untyped), nullptr);
    EXPECT_EQ(a.GetPropertyCount(), 1);
}

}  // namespace
