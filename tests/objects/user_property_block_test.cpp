#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OXA_TEST_ASAN 1
#endif
#endif
#if !defined(OXA_TEST_ASAN) && defined(__SANITIZE_ADDRESS__)
#define OXA_TEST_ASAN 1
#endif
#ifdef OXA_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

VOxaUserProperty* MakeHandle(int i) {
    return new (std::nothrow) VOxaUserProperty(nullptr, ("H" + std::to_string(i)).c_str(), "Real");
}

bool Inside(const void* p, const void* first, const void* last) {
    auto a = reinterpret_cast<std::uintptr_t>(p);
    return a >= reinterpret_cast<std::uintptr_t>(first) && a <= reinterpret_cast<std::uintptr_t>(last);
}

}  // namespace

// Handles made in an open block share its room; they outlive the block and go one by one, in
// any order, each keeping its own name and type.
TEST(objects_UserPropertyBlock, HandlesShareTheRoomAndOutliveTheBlock) {
    std::vector<VOxaUserProperty*> handles;
    {
        VOxaUserProperty::Block block(4);
        for (int i = 0; i < 6; ++i)
            handles.push_back(MakeHandle(i));
        // Made at once, the handles that found room lie one after the other.
        for (int i = 1; i < 4; ++i)
            EXPECT_GT(reinterpret_cast<std::uintptr_t>(handles[i]),
                      reinterpret_cast<std::uintptr_t>(handles[i - 1]));
        EXPECT_LT(reinterpret_cast<std::uintptr_t>(handles[3]) - reinterpret_cast<std::uintptr_t>(handles[0]),
                  4 * (sizeof(VOxaUserProperty) + 64));
        delete handles[1];  // while the block is still open
        handles[1] = nullptr;
    }
    for (int i : {0, 2, 3, 4, 5}) {
        ASSERT_NE(handles[i], nullptr);
        EXPECT_EQ(handles[i]->GetName(), "H" + std::to_string(i));
        EXPECT_EQ(handles[i]->GetType(), VOxaUserProperty::eReal);
    }
    VOxaUserProperty* later = MakeHandle(9);  // no block open: the heap
    EXPECT_FALSE(Inside(later, handles[0], handles[3]));
    for (int i : {3, 5, 0, 4, 2})
        delete handles[i];
    delete later;
}

// Blocks nest: the inner one serves while open, then the outer one again; a block of no room
// serves nothing.
TEST(objects_UserPropertyBlock, NestedAndEmptyBlocks) {
    VOxaUserProperty *a, *b, *c, *d;
    {
        VOxaUserProperty::Block outer(2);
        a = MakeHandle(0);
        {
            VOxaUserProperty::Block inner(2);
            b = MakeHandle(1);
            {
                VOxaUserProperty::Block none(0);
                d = MakeHandle(3);
            }
        }
        c = MakeHandle(2);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(c) > reinterpret_cast<std::uintptr_t>(a), true);
        EXPECT_LT(reinterpret_cast<std::uintptr_t>(c) - reinterpret_cast<std::uintptr_t>(a),
                  sizeof(VOxaUserProperty) + 64)
            << "the outer block's second room";
        EXPECT_FALSE(Inside(b, a, c));
        EXPECT_FALSE(Inside(d, a, c));
    }
    EXPECT_STREQ(b->GetName(), "H1");
    EXPECT_STREQ(d->GetName(), "H3");
    delete a;
    delete b;
    delete c;
    delete d;
    VOxaUserProperty::Block unused(3);  // closed with nothing made: nothing left behind
}

#ifdef OXA_TEST_ASAN
// A deleted handle's room stays poisoned while its neighbours live, so a use after deletion is
// still reported.
TEST(objects_UserPropertyBlock, DeletedRoomIsPoisoned) {
    VOxaUserProperty* first;
    VOxaUserProperty* second;
    {
        VOxaUserProperty::Block block(2);
        first = MakeHandle(0);
        second = MakeHandle(1);
    }
    EXPECT_FALSE(__asan_address_is_poisoned(first));
    delete first;
    EXPECT_TRUE(__asan_address_is_poisoned(first));
    EXPECT_FALSE(__asan_address_is_poisoned(second));
    delete second;
}
#endif

// A handle made bound keeps its flags for when it is unbound: it then reads as a nameless record
// of type 0 with those flags. Records keep their name, type and flags whatever their length.
TEST(objects_UserPropertyBlock, FlagsOfBoundHandlesOutliveTheBinding) {
    VPropertyTemplate<double> value;
    value.Declare("Weight", nullptr);
    VOxaUserProperty bound(nullptr, &value);
    EXPECT_FALSE(bound.GetFlag(VOxaUserProperty::eAnimatable));
    bound.SetFlag(VOxaUserProperty::eAnimatable, true);
    EXPECT_FALSE(bound.GetFlag(VOxaUserProperty::eAnimatable));  // the property's flag counts
    EXPECT_STREQ(bound.GetName(), "Weight");
    EXPECT_EQ(bound.GetType(), VOxaUserProperty::eReal);
    bound.Unbind();
    EXPECT_TRUE(bound.GetFlag(VOxaUserProperty::eAnimatable));
    EXPECT_STREQ(bound.GetName(), "");
    EXPECT_EQ(bound.GetType(), VOxaUserProperty::eUnknown);
    bound.SetFlag(VOxaUserProperty::eAnimatable, false);
    EXPECT_FALSE(bound.GetFlag(VOxaUserProperty::eAnimatable));

    VOxaUserProperty plain(nullptr, &value);
    plain.SetFlag(VOxaUserProperty::eAnimatable, false);
    plain.Unbind();
    EXPECT_FALSE(plain.GetFlag(VOxaUserProperty::eAnimatable));
    EXPECT_STREQ(plain.GetName(), "");
    EXPECT_EQ(plain.GetType(), VOxaUserProperty::eUnknown);
    EXPECT_TRUE(plain.Bind(&value));
    EXPECT_STREQ(plain.GetName(), "Weight");

    const std::string longName(300, 'n');
    VOxaUserProperty record(nullptr, longName.c_str(), "vector");
    record.SetFlag(VOxaUserProperty::eAnimatable, true);
    EXPECT_EQ(record.GetName(), longName);
    EXPECT_EQ(record.GetType(), VOxaUserProperty::eVector);
    EXPECT_TRUE(record.GetFlag(VOxaUserProperty::eAnimatable));
    EXPECT_FALSE(record.GetFlag(2));
    VOxaUserProperty nameless(nullptr, nullptr, "Bool");
    EXPECT_STREQ(nameless.GetName(), "");
    EXPECT_EQ(nameless.GetType(), VOxaUserProperty::eBool);
    EXPECT_FALSE(nameless.GetFlag(VOxaUserProperty::eAnimatable));
}
