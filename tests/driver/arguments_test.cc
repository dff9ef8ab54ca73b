// The command-line pieces both tools share: a base path and its tag, and the
// subject length clamp.
#include "driver/arguments.h"

#include <gtest/gtest.h>

namespace knotter {
namespace {

TEST(Arguments, BasePathLosesOnlyAFormatSuffixWithSomethingBeforeIt) {
  struct Case {
    const char* argument;
    const char* path;
    const char* tag;
    bool jam;
  };
  const Case cases[] = {
      {"/m/FIDO.sqd", "/m/FIDO", "FIDO", false}, {"/m/FIDO.JHR", "/m/FIDO", "FIDO", true},
      {"/m/FIDO.sqi", "/m/FIDO.sqi", "FIDO.sqi", false}, {".sqd", ".sqd", ".sqd", false},
      {".jhr", ".jhr", ".jhr", false},           {"x.jhr", "x", "x", true},
      {"/m/dir/", "/m/dir/", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const BasePath base = splitBasePath(c.argument);
    EXPECT_EQ(base.path, c.path);
    EXPECT_EQ(base.tag, c.tag);
    EXPECT_EQ(base.jam, c.jam);
  }
}

TEST(Arguments, SubjectLengthBelowOneIsTheDefaultAboveTheFieldIsCut) {
  EXPECT_EQ(clampSubjectLength(-5), defaultSubjectLength);
  EXPECT_EQ(clampSubjectLength(0), defaultSubjectLength);
  EXPECT_EQ(clampSubjectLength(1), 1);
  EXPECT_EQ(clampSubjectLength(72), 72);
  EXPECT_EQ(clampSubjectLength(INT32_MAX), maxSubjectLength);
}

}  // namespace
}  // namespace knotter
