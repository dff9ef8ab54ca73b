// How a path given with -# (or to the inspector) names a base: its format,
// its base path and its tag; a trailing slash names a *.MSG directory.
#include "formats/format_table.h"

#include <gtest/gtest.h>

namespace knotter {
namespace {

TEST(FormatTable, BasePathLosesOnlyAFormatSuffixWithSomethingBeforeIt) {
  struct Case {
    const char* argument;
    const char* path;
    const char* tag;
    BaseFormat format;
  };
  const Case cases[] = {
      {"/m/FIDO.sqd", "/m/FIDO", "FIDO", BaseFormat::squish},
      {"/m/FIDO.JHR", "/m/FIDO", "FIDO", BaseFormat::jam},
      {"/m/FIDO.sqi", "/m/FIDO.sqi", "FIDO.sqi", BaseFormat::squish},
      {".sqd", ".sqd", ".sqd", BaseFormat::squish},
      {".jhr", ".jhr", ".jhr", BaseFormat::squish},
      {"x.jhr", "x", "x", BaseFormat::jam},
      {"/m/mail/", "/m/mail", "mail", BaseFormat::msg},
      {"/m/mail//", "/m/mail", "mail", BaseFormat::msg},
      {"mail/", "mail", "mail", BaseFormat::msg},
      {"/m/MAIL.JHR/", "/m/MAIL.JHR", "MAIL.JHR", BaseFormat::msg},
      {"/", "/", "", BaseFormat::msg},
      {"/m/mail", "/m/mail", "mail", BaseFormat::squish},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const BasePath base = splitBasePath(c.argument);
    EXPECT_EQ(base.path, c.path);
    EXPECT_EQ(base.tag, c.tag);
    EXPECT_EQ(base.format, c.format);
  }
}

}  // namespace
}  // namespace knotter
