#include "base/varray.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <utility>
#include <vector>

#include "base/vallocation_hook.h"

namespace {

struct Point4 {
    double v[4];
};

void ExpectSame(const VArrayTemplate<int>& a, const std::vector<int>& ref) {
    ASSERT_EQ(a.GetCount(), (int)ref.size());
    for (int i = 0; i < a.GetCount(); ++i)
        ASSERT_EQ(a[i], ref[i]) << "at " << i;
}

}  // namespace

TEST(VBaseArray, GrowsByWholeBlocks) {
    VArrayTemplate<int> a(16);
    EXPECT_EQ(a.GetCapacity(), 0);
    a.Add(1);
    EXPECT_EQ(a.GetBlockCount(), 1);
    EXPECT_EQ(a.GetCapacity(), 16);
    for (int i = 1; i < 16; ++i)
        a.Add(i);
    EXPECT_EQ(a.GetBlockCount(), 1);
    a.Add(16);
    EXPECT_EQ(a.GetBlockCount(), 2);  // one more block when full
    for (int i = 17; i < 5000; ++i) {
        a.Add(i);
        ASSERT_EQ(a.GetCapacity() % 16, 0);
        ASSERT_GE(a.GetCapacity(), a.GetCount());
    }
    EXPECT_EQ(a.GetCount(), 5000);
    EXPECT_EQ(a.GetBlockSize(), 16);

    VBaseArray odd(0, 0);  // sizes below 1 are taken as 1
    EXPECT_EQ(odd.GetBlockSize(), 1);
    EXPECT_EQ(odd.GetItemSize(), 1);
}

TEST(VBaseArray, InsertClampsAndRemoveKeepsStorage) {
    VArrayTemplate<int> a(4);
    EXPECT_EQ(a.InsertAt(10, 1), 0);  // beyond the count: appends
    EXPECT_EQ(a.InsertAt(1, 3), 1);   // at the count: appends
    EXPECT_EQ(a.InsertAt(1, 2), 1);
    EXPECT_EQ(a.InsertAt(-5, 0), 0);  // negative: front
    ExpectSame(a, {0, 1, 2, 3});

    int capacity = a.GetCapacity();
    EXPECT_EQ(a.RemoveAt(1), 3);
    ExpectSame(a, {0, 2, 3});
    EXPECT_EQ(a.RemoveAt(3), 3);  // out of range: unchanged
    EXPECT_EQ(a.RemoveAt(-1), 3);
    EXPECT_EQ(a.GetCapacity(), capacity);

    EXPECT_EQ(a.GetAt(7), 0);
    EXPECT_EQ(a.GetAt(-1), 0);
    EXPECT_FALSE(a.SetAt(3, 9));
    EXPECT_TRUE(a.SetAt(2, 9));
    EXPECT_EQ(a.GetLast(), 9);
    EXPECT_EQ(a.Find(9), 2);
    EXPECT_EQ(a.Find(42), -1);

    // Items taken from the array itself survive the growth and the shift.
    VArrayTemplate<int> self(1);
    self.Add(1);
    self.Add(2);
    self.Add(self[0]);                     // {1, 2, 1}
    self.InsertAt(0, self[1]);             // {2, 1, 2, 1}
    self.InsertAt(1, self.GetArray()[0]);  // the shifted slot is read before the shift
    ExpectSame(self, {2, 2, 1, 2, 1});

    a.Clear();
    EXPECT_EQ(a.GetCount(), 0);
    EXPECT_EQ(a.GetCapacity(), 0);
    EXPECT_EQ(a.GetArray(), nullptr);
}

TEST(VBaseArray, SetCountResizeAndAddMultipleZeroNewItems) {
    VArrayTemplate<int> a(8);
    for (int i = 1; i <= 10; ++i)
        a.Add(i);
    int capacity = a.GetCapacity();
    EXPECT_TRUE(a.SetCount(3));
    EXPECT_EQ(a.GetCount(), 3);
    EXPECT_EQ(a.GetCapacity(), capacity);  // shrinking keeps the storage
    EXPECT_TRUE(a.SetCount(6));            // stale items come back zeroed
    ExpectSame(a, {1, 2, 3, 0, 0, 0});
    EXPECT_FALSE(a.SetCount(-1));
    EXPECT_EQ(a.GetCount(), 6);

    EXPECT_EQ(a.AddMultiple(3), 6);
    ExpectSame(a, {1, 2, 3, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(a.AddMultiple(-2), -1);

    EXPECT_TRUE(a.Resize(2));
    EXPECT_TRUE(a.Resize(4));
    ExpectSame(a, {1, 2, 0, 0});

    // Counts whose byte size does not fit are refused, not wrapped.
    VArrayTemplate<Point4> big(16);
    EXPECT_FALSE(big.SetCount(0x7fffffff));
    EXPECT_EQ(big.GetCount(), 0);
}

TEST(VArrayTemplate, AssignmentMakesAnExactCopy) {
    VArrayTemplate<Point4> src(256);
    for (int i = 0; i < 300; ++i)
        src.Add(Point4{{(double)i, i * 2.0, i * 3.0, 1.0}});
    VArrayTemplate<Point4> dst(16);
    dst.Add(Point4{{9, 9, 9, 9}});
    dst = src;
    EXPECT_EQ(dst.GetBlockSize(), 256);
    ASSERT_EQ(dst.GetCount(), 300);
    EXPECT_EQ(dst.GetCapacity() % 256, 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(dst[i].v[1], i * 2.0);
    const VArrayTemplate<Point4>& alias = dst;
    dst = alias;  // self-assignment keeps the items
    EXPECT_EQ(dst.GetCount(), 300);
    VArrayTemplate<Point4> copy(dst);
    EXPECT_EQ(copy.GetCount(), 300);
    EXPECT_EQ(copy[299].v[2], 897.0);
    VArrayTemplate<Point4> moved(std::move(copy));
    EXPECT_EQ(moved.GetCount(), 300);
    EXPECT_EQ(copy.GetCount(), 0);
}

TEST(VArrayTemplate, RandomEditsMatchAVector) {
    std::mt19937 rng(3);
    VArrayTemplate<int> a(5);
    std::vector<int> ref;
    for (int step = 0; step < 3000; ++step) {
        int op = (int)(rng() % 4);
        int value = (int)rng();
        if (op < 2) {
            int index = (int)(rng() % (ref.size() + 3)) - 1;
            int clamped = index < 0 ? 0 : (index > (int)ref.size() ? (int)ref.size() : index);
            ASSERT_EQ(a.InsertAt(index, value), clamped);
            ref.insert(ref.begin() + clamped, value);
        } else if (op == 2 && !ref.empty()) {
            int index = (int)(rng() % ref.size());
            ASSERT_EQ(a.RemoveAt(index), (int)ref.size() - 1);
            ref.erase(ref.begin() + index);
        } else {
            a.Add(value);
            ref.push_back(value);
        }
    }
    ExpectSame(a, ref);
}

// An array whose block takes more than kSmallBlockBytes starts with room for what it holds and
// doubles it up to one block; from there it grows by whole blocks.
TEST(VBaseArray, LargeBlocksGrowFromWhatTheyHold) {
    static_assert(sizeof(Point4) * 256 > VBaseArray::kSmallBlockBytes, "a large block");
    // From empty: exactly the count asked for, zeroed.
    VArrayTemplate<Point4> three(256);
    ASSERT_TRUE(three.SetCount(3));
    EXPECT_EQ(three.GetCapacity(), 3);
    EXPECT_EQ(three.GetBlockCount(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(three[i].v[0], 0.0);
    ASSERT_TRUE(three.SetCount(4));  // twice what it held
    EXPECT_EQ(three.GetCapacity(), 6);
    // A copy holds what the original holds.
    VArrayTemplate<Point4> copy(three);
    EXPECT_EQ(copy.GetCapacity(), 4);
    EXPECT_EQ(copy.GetCount(), 4);

    // From one element: 1, 2, 4, ... up to one block, then whole blocks; every item kept.
    VArrayTemplate<Point4> a(256);
    std::vector<int> capacities;
    for (int i = 0; i < 600; ++i) {
        const int before = a.GetCapacity();
        ASSERT_EQ(a.Add(Point4{{(double)i, -i * 1.0, 0.5 * i, 1.0}}), i);
        if (a.GetCapacity() != before) capacities.push_back(a.GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 768}));
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(a[i].v[1], -i * 1.0) << "at " << i;
    EXPECT_EQ(a.GetBlockCount(), 3);

    // A count past one block from empty takes whole blocks at once.
    VArrayTemplate<Point4> big(256);
    ASSERT_TRUE(big.SetCount(300));
    EXPECT_EQ(big.GetCapacity(), 512);
    // A partial storage that must pass one block becomes exactly one block when that is enough.
    VArrayTemplate<Point4> partial(256);
    ASSERT_TRUE(partial.SetCount(200));
    ASSERT_TRUE(partial.SetCount(256));
    EXPECT_EQ(partial.GetCapacity(), 256);

    // The limit: a block of exactly kSmallBlockBytes is still taken whole, one more item is not.
    VArrayTemplate<int> small(VBaseArray::kSmallBlockBytes / (int)sizeof(int));
    small.Add(1);
    EXPECT_EQ(small.GetCapacity(), VBaseArray::kSmallBlockBytes / (int)sizeof(int));
    VArrayTemplate<int> large(VBaseArray::kSmallBlockBytes / (int)sizeof(int) + 1);
    large.Add(1);
    EXPECT_EQ(large.GetCapacity(), 1);

    // Clear gives everything back; the next growth starts small again.
    a.Clear();
    a.Add(Point4{{1, 2, 3, 4}});
    EXPECT_EQ(a.GetCapacity(), 1);
    EXPECT_EQ(a[0].v[3], 4.0);
}

// Arrays of different item sizes do not move into each other: the target is left empty with the
// other's block size, and the other keeps its items.
TEST(VBaseArray, MoveBetweenItemSizesLeavesTheTargetEmpty) {
    VBaseArray ints(16, (int)sizeof(int));
    const int one = 1;
    ASSERT_EQ(ints.Add(&one), 0);
    VBaseArray points(8, (int)sizeof(Point4));
    const Point4 p{{1, 2, 3, 4}};
    ASSERT_EQ(points.Add(&p), 0);
    ints = std::move(points);
    EXPECT_EQ(ints.GetCount(), 0);
    EXPECT_EQ(ints.GetCapacity(), 0);
    EXPECT_EQ(ints.GetBlockSize(), 8);
    EXPECT_EQ(ints.GetItemSize(), (int)sizeof(int));
    EXPECT_EQ(points.GetCount(), 1);  // NOLINT(bugprone-use-after-move): the move was refused
    EXPECT_EQ(static_cast<const Point4*>(points.GetAt(0))->v[2], 3.0);

    // The same sizes move: the items and the storage change hands.
    VBaseArray more(16, (int)sizeof(int));
    const int two = 2;
    ASSERT_EQ(more.Add(&two), 0);
    ints = std::move(more);
    EXPECT_EQ(ints.GetCount(), 1);
    EXPECT_EQ(*static_cast<const int*>(ints.GetAt(0)), 2);
    EXPECT_EQ(ints.GetBlockSize(), 16);
    EXPECT_EQ(more.GetCount(), 0);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(more.GetCapacity(), 0);
}

// Storage that cannot grow leaves the array as it was, says so through every growing operation,
// and is counted, so that a read or write that met it can tell.
TEST(VArray, GrowthThatFailsChangesNothingAndIsCounted) {
    VArrayTemplate<int> a(4);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(a.Add(i), i);
    const unsigned long long before = oxa_alloc::FailureCount();
    oxa_alloc::Fail(0);
    EXPECT_EQ(a.Add(9), -1);
    EXPECT_EQ(a.InsertAt(0, 9), -1);
    EXPECT_EQ(a.Add(a[1]), -1) << "an item of the array itself";
    EXPECT_EQ(a.AddMultiple(3), -1);
    EXPECT_FALSE(a.SetCount(100));
    EXPECT_FALSE(a.Resize(5));
    VArrayTemplate<int> copy(a);
    oxa_alloc::Fail(-1);
    EXPECT_EQ(oxa_alloc::FailureCount() - before, 7u);
    EXPECT_EQ(copy.GetCount(), 0) << "a copy without storage is empty, not half made";
    ExpectSame(a, {0, 1, 2, 3});
    // Within the storage it has, nothing is allocated and nothing fails.
    oxa_alloc::Fail(0);
    EXPECT_TRUE(a.SetCount(2));
    EXPECT_EQ(a.Add(7), 2);
    oxa_alloc::Fail(-1);
    ExpectSame(a, {0, 1, 7});
    EXPECT_EQ(oxa_alloc::FailureCount() - before, 7u);
    // A size past what one allocation may hold is refused before any allocation is tried.
    VArrayTemplate<double> huge(1);
    EXPECT_FALSE(huge.SetCount(INT_MAX / 8 + 1));
    EXPECT_EQ(huge.AddMultiple(INT_MAX / 8 + 1), -1);
    EXPECT_EQ(huge.GetCount(), 0);
}
