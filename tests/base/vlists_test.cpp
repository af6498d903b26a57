#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>

#include "base/vname_table.h"
#include "base/vpair_array.h"
#include "base/vstring_list.h"
#include "base/vstring_pair_list.h"

TEST(VStringPairList, SortsAndFindsWithoutRegardToCase) {
    VStringPairList list(20);
    EXPECT_EQ(list.Add("Beta", 2), 0);
    EXPECT_EQ(list.Add("alpha", 1), 1);
    EXPECT_EQ(list.Add("GAMMA", 3), 2);
    EXPECT_EQ(list.Add("ALPHA", 10), 3);  // same key without regard to case: kept after "alpha"

    int index = 99;
    EXPECT_EQ(list.Find("Alpha", &index), 1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(list.Find("gamma"), 3);
    EXPECT_EQ(list.Find("delta", &index), 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(list.Find(nullptr, &index), 0);

    const char* key = nullptr;
    EXPECT_EQ(list.GetAt(0, &key), 1);
    EXPECT_STREQ(key, "alpha");
    EXPECT_EQ(list.GetAt(1, &key), 10);
    EXPECT_STREQ(key, "ALPHA");
    EXPECT_EQ(list.GetAt(3, &key), 3);
    EXPECT_STREQ(key, "GAMMA");
    EXPECT_EQ(list.GetAt(4, &key), 0);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(list.GetAt(-1), 0);

    list.SetCaseSensitive(true);
    EXPECT_EQ(list.Find("Alpha"), 0);
    EXPECT_EQ(list.Find("ALPHA"), 10);

    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.Find("alpha"), 0);
}

TEST(VStringPairList, InterleavedAddAndFindMatchAMap) {
    std::mt19937 rng(11);
    VStringPairList list(20);
    std::map<std::string, intptr_t> ref;  // keys upper-cased; first value wins
    for (int i = 0; i < 3000; ++i) {
        std::string key = "k" + std::to_string(rng() % 500);
        if (rng() % 2) key[0] = 'K';
        std::string upper = key;
        upper[0] = 'K';
        if (rng() % 3 == 0) {
            auto it = ref.find(upper);
            ASSERT_EQ(list.Find(key.c_str()), it == ref.end() ? 0 : it->second) << key;
        } else {
            list.Add(key.c_str(), i + 1);
            ref.emplace(upper, i + 1);
        }
    }
    // Sorted order holds across the whole list.
    const char* prev = nullptr;
    for (int i = 0; i < list.GetCount(); ++i) {
        const char* key = nullptr;
        list.GetAt(i, &key);
        if (prev) {
            ASSERT_LE(VString(prev).CompareNoCase(key), 0);
        }
        prev = key;
    }
}

TEST(VPairArray, SortsByKeyAndBisects) {
    VPairArray pairs(20);
    EXPECT_EQ(pairs.Add(5, 50), 0);
    pairs.Add(1, 10);
    pairs.Add(3, 30);
    pairs.Add(1, 11);
    int key = -1, index = -1;
    EXPECT_EQ(pairs.GetAt(0, &key), 10);
    EXPECT_EQ(key, 1);
    EXPECT_EQ(pairs.GetAt(1, &key), 11);
    EXPECT_EQ(pairs.GetAt(3, &key), 50);
    EXPECT_EQ(key, 5);
    key = 77;
    EXPECT_EQ(pairs.GetAt(4, &key), 0);
    EXPECT_EQ(key, 77);
    EXPECT_EQ(pairs.Find(3, &index), 30);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(pairs.Find(4, &index), 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(pairs.GetCount(), 4);

    std::mt19937 rng(5);
    VPairArray many(16);
    std::map<int, intptr_t> ref;
    for (int i = 0; i < 2000; ++i) {
        int k = (int)(rng() % 700) - 350;
        if (i % 4 == 0) {
            auto it = ref.find(k);
            ASSERT_EQ(many.Find(k), it == ref.end() ? 0 : it->second);
        } else {
            many.Add(k, i);
            ref.emplace(k, i);
        }
    }
    pairs.Clear();
    EXPECT_EQ(pairs.GetCount(), 0);
}

TEST(VNameTable, NumbersClashingNames) {
    VNameTable table(8, 64);
    EXPECT_STREQ(table.AddUnique("Hip", 1), "Hip");
    EXPECT_STREQ(table.AddUnique("hip", 2), "hip1");
    EXPECT_STREQ(table.AddUnique("HIP", 3), "HIP2");
    EXPECT_STREQ(table.AddUnique("Knee", 4), "Knee");
    EXPECT_STREQ(table.FindNameByData(2), "hip1");
    EXPECT_STREQ(table.FindNameByData(4), "Knee");
    EXPECT_EQ(table.FindNameByData(5), nullptr);
    EXPECT_TRUE(table.Contains("HIP1"));
    EXPECT_FALSE(table.Contains("Hip3"));

    // A name that already carries the next number is skipped over.
    VNameTable other(2, 1);
    other.AddUnique("Arm1", 1);
    other.AddUnique("Arm", 2);
    EXPECT_STREQ(other.AddUnique("arm", 3), "arm2");
    EXPECT_STREQ(other.AddUnique(nullptr, 4), "");
    EXPECT_STREQ(other.AddUnique("", 5), "1");

    // Stored names stay put while the table grows, and every one is unique.
    VNameTable big(1, 4);
    const char* first = big.AddUnique("Marker", 0);
    for (int i = 1; i < 2000; ++i)
        big.AddUnique(i % 2 ? "Marker" : "marker", i);
    EXPECT_STREQ(first, "Marker");
    EXPECT_STREQ(big.FindNameByData(1999), "Marker1999");
    EXPECT_EQ(big.GetCount(), 2000);
}

TEST(VStringList, KeepsOrderReferencesAndSortsWithoutCase) {
    VStringList list;
    EXPECT_EQ(list.Add("camera", 3), 0);
    EXPECT_EQ(list.Add("Beta", 2), 1);
    EXPECT_EQ(list.Add("alpha"), 2);
    EXPECT_EQ(list.Add("Alpha", 7), 3);
    EXPECT_STREQ(list.GetStringAt(1), "Beta");
    EXPECT_EQ(list.GetReferenceAt(0), 3);
    EXPECT_STREQ(list.GetStringAt(9), "");
    EXPECT_EQ(list.GetReferenceAt(-1), 0);
    EXPECT_EQ(list.Find("Alpha"), 3);
    EXPECT_EQ(list.FindNoCase("ALPHA"), 2);
    EXPECT_EQ(list.FindReference(7), 3);

    list.Sort();
    EXPECT_STREQ(list[0], "alpha");  // equal without case: original order kept
    EXPECT_STREQ(list[1], "Alpha");
    EXPECT_STREQ(list[2], "Beta");
    EXPECT_STREQ(list[3], "camera");
    EXPECT_EQ(list.GetReferenceAt(3), 3);

    EXPECT_EQ(list.InsertAt(99, ""), 4);
    list.RemoveAt(0);
    EXPECT_EQ(list.GetCount(), 4);
    EXPECT_TRUE(list.SetReferenceAt(0, 5));
    EXPECT_FALSE(list.SetStringAt(4, "x"));
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
}
