#include <gtest/gtest.h>

#include "config/text.h"

TEST(Text, CompareNoCaseFoldsAsciiOnly) {
  EXPECT_EQ(knotter::compareNoCase("Fido", "FIDO"), 0);
  EXPECT_LT(knotter::compareNoCase("A", "b"), 0);
  EXPECT_NE(knotter::compareNoCase("\xc0", "\xe0"), 0);
}
