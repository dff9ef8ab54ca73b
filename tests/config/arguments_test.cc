// The command-line pieces both tools share: the subject length clamp.
#include "config/arguments.h"

#include <gtest/gtest.h>

namespace knotter {
namespace {

TEST(Arguments, SubjectLengthBelowOneIsTheDefaultAboveTheFieldIsCut) {
  EXPECT_EQ(clampSubjectLength(-5), defaultSubjectLength);
  EXPECT_EQ(clampSubjectLength(0), defaultSubjectLength);
  EXPECT_EQ(clampSubjectLength(1), 1);
  EXPECT_EQ(clampSubjectLength(72), 72);
  EXPECT_EQ(clampSubjectLength(INT32_MAX), maxSubjectLength);
}

}  // namespace
}  // namespace knotter
