#include "base/verror.h"

#include <gtest/gtest.h>

namespace {
const char* const kMessages[] = {"Index out of range.", nullptr, ""};
}

TEST(VError, IdAndTextRules) {
    VError error(kMessages, 3);
    EXPECT_EQ(error.GetLastErrorID(), -1);
    EXPECT_STREQ(error.GetLastErrorString(), "");

    error.SetLastErrorID(0);
    EXPECT_EQ(error.GetLastErrorID(), 0);
    EXPECT_STREQ(error.GetLastErrorString(), "Index out of range.");
    error.SetLastErrorID(1);  // an entry without text
    EXPECT_EQ(error.GetLastErrorID(), 1);
    EXPECT_STREQ(error.GetLastErrorString(), "");
    error.SetLastErrorID(7);  // outside the table: the id is kept, the text is empty
    EXPECT_EQ(error.GetLastErrorID(), 7);
    EXPECT_STREQ(error.GetLastErrorString(), "");
    error.SetLastErrorID(-3);
    EXPECT_STREQ(error.GetLastErrorString(), "");

    // An explicit text does not consult the table.
    error.SetLastError(0, "custom");
    EXPECT_EQ(error.GetLastErrorID(), 0);
    EXPECT_STREQ(error.GetLastErrorString(), "custom");
    error.SetLastError(4, nullptr);
    EXPECT_STREQ(error.GetLastErrorString(), "");

    error.ClearError();
    EXPECT_EQ(error.GetLastErrorID(), -1);

    VError empty;
    empty.SetLastErrorID(0);
    EXPECT_STREQ(empty.GetLastErrorString(), "");
    EXPECT_STREQ(error.GetErrorString(0), "Index out of range.");
    EXPECT_EQ(error.GetErrorStringCount(), 3);
}
