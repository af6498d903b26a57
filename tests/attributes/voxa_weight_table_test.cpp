#include "attributes/voxa_weight_table.h"

#include <gtest/gtest.h>

namespace {

TEST(attributes_WeightTable, RowsEntriesAndSums) {
    VOXAWeightTable table(0, 0);
    EXPECT_EQ(table.GetRowCount(0), 0);
    EXPECT_EQ(table.GetRowCount(1), 0);
    table.Init(3, 2);
    EXPECT_EQ(table.GetRowCount(0), 3);
    EXPECT_EQ(table.GetRowCount(1), 2);
    EXPECT_EQ(table.GetRowCount(7), 2) << "any non-zero side is the destination side";
    EXPECT_EQ(table.GetEntryCount(0, 2), 0);
    EXPECT_EQ(table.FindEntry(0, 0, 1), -1);
    EXPECT_EQ(table.GetWeightSum(1, 0, true), 0.0);

    table.Add(0, 1, 0.25);
    EXPECT_EQ(table.GetEntry(0, 0, 0).index, 1);
    EXPECT_EQ(table.GetEntry(0, 0, 0).weight, 0.25);
    EXPECT_EQ(table.GetEntry(1, 1, 0).index, 0);
    EXPECT_EQ(table.GetEntry(1, 1, 0).weight, 0.25);
    EXPECT_EQ(table.FindEntry(0, 0, 1), 0);
    EXPECT_EQ(table.FindEntry(0, 0, 0), -1);

    table.Add(2, 1, -1.0);
    table.Add(1, 1, 3.0);
    EXPECT_EQ(table.FindEntry(1, 1, 1), 2);
    EXPECT_EQ(table.GetWeightSum(1, 1, false), 2.25);
    EXPECT_EQ(table.GetWeightSum(1, 1, true), 4.25);

    table.Init(-1, 4);
    EXPECT_EQ(table.GetRowCount(0), 0);
    EXPECT_EQ(table.GetRowCount(1), 4);
    EXPECT_EQ(table.GetEntryCount(1, 1), 0) << "Init empties the rows";
}

TEST(attributes_WeightTable, NormalizeKeepsBothSidesEqual) {
    VOXAWeightTable table(3, 3);
    table.Add(0, 0, 0.5);
    table.Add(1, 0, 1.5);
    table.Add(0, 1, 1.0);
    table.Add(2, 1, -1.0);
    table.Add(2, 2, -2.0);
    table.Add(1, 2, 6.0);

    // Not absolute: a row summing to zero becomes zeros; signs stay.
    table.Normalize(1, false);
    EXPECT_EQ(table.GetEntry(1, 0, 0).weight, 0.25);
    EXPECT_EQ(table.GetEntry(1, 0, 1).weight, 0.75);
    EXPECT_EQ(table.GetEntry(1, 1, 0).weight, 0.0);
    EXPECT_EQ(table.GetEntry(1, 1, 1).weight, 0.0);
    EXPECT_EQ(table.GetEntry(1, 2, 0).weight, -0.5);
    EXPECT_EQ(table.GetEntry(1, 2, 1).weight, 1.5);

    // Every link equals its mirror, found independently by searching the other side.
    auto checkMirrors = [&table](const char* when) {
        for (int row = 0; row < table.GetRowCount(0); ++row) {
            for (int e = 0; e < table.GetEntryCount(0, row); ++e) {
                const VOXAWeightEntry& entry = table.GetEntry(0, row, e);
                int found = table.FindEntry(1, entry.index, row);
                ASSERT_GE(found, 0) << when;
                EXPECT_EQ(table.GetEntry(1, entry.index, found).weight, entry.weight)
                    << when << ": source row " << row << " entry " << e;
            }
        }
    };
    checkMirrors("after the destination side");

    // Absolute: each source row sums to 1 over positive weights.
    table.Normalize(0, true);
    for (int row = 0; row < 3; ++row) {
        EXPECT_NEAR(table.GetWeightSum(0, row, false), 1.0, 1e-15) << "row " << row;
        for (int e = 0; e < table.GetEntryCount(0, row); ++e)
            EXPECT_GE(table.GetEntry(0, row, e).weight, 0.0);
    }
    EXPECT_EQ(table.GetEntry(0, 1, 0).weight, 0.75 / 2.25);
    checkMirrors("after the source side");

    // A pair added twice keeps both copies equal on both sides.
    VOXAWeightTable twice(1, 1);
    twice.Add(0, 0, 1.0);
    twice.Add(0, 0, 3.0);
    twice.Normalize(0, true);
    EXPECT_EQ(twice.GetEntry(0, 0, 0).weight, 0.25);
    EXPECT_EQ(twice.GetEntry(0, 0, 1).weight, 0.75);
    EXPECT_EQ(twice.GetEntry(1, 0, 0).weight, 0.25);
    EXPECT_EQ(twice.GetEntry(1, 0, 1).weight, 0.75);
}

}  // namespace
