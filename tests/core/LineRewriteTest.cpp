#include "LineRewrite.h"

#include <gtest/gtest.h>

using namespace veldran;

TEST(ReplaceAll, Smoke) {
    std::string line = "aaa";
    EXPECT_EQ(ReplaceAll(line, "a", "aa"), 3);
    EXPECT_EQ(line, "aaaaaa");
}
