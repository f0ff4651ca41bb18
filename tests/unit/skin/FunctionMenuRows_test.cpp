// SPDX-License-Identifier: MIT
#include "skin/FunctionMenuRows.h"

#include <gtest/gtest.h>

using namespace krv;

namespace {

// The code an item of each group stores.
TEST(FunctionMenuRows, MenuGroups) {
    EXPECT_FALSE(MenuGroupOfRow(6));
    EXPECT_EQ(MenuGroupOfRow(7)->base + 9, 19);
    EXPECT_EQ(MenuGroupOfRow(8)->base + MenuGroupOfRow(8)->itemCount, 26);
    EXPECT_EQ(MenuGroupOfRow(10)->base + 4, 34);
    EXPECT_EQ(MenuGroupOfRow(9)->base + 2, 42);
}

} // namespace
