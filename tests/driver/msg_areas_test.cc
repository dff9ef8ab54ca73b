// The command line of *.MSG areas: -# names a directory by a trailing
// slash, without -msg; -msg is the whole word "msg" in any case, and any
// other option with the letter m prints the usage text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"

namespace ktest {
namespace {

TEST(MsgAreas, SingleAreaNamedByATrailingSlash) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* traced;
  } cases[] = {
      {"the last component is the tag", {"-#sub/mail/"}, "mail sub/mail/"},
      {"trailing slashes fold into one", {"-#sub/mail///"}, "mail sub/mail/"},
      {"with -msg as well", {"-msg", "-#mail/"}, "mail mail/"},
      {"a suffix before the slash stays", {"-#x.JHR/"}, "x.JHR x.JHR/"},
      {"without the slash a Squish base", {"-#mail"}, "mail mail.sqd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const TraceRun run = traceAreas(dir, c.args);
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(run.areas, std::vector<std::string>{c.traced});
  }
}

TEST(MsgAreas, MsgIsTakenInAnyCase) {
  for (const char* option : {"-msg", "-MSG", "/Msg"}) {
    SCOPED_TRACE(option);
    TempDir dir;
    writeBase(threeMessageThread(), dir.file("b"));
    const RunResult run = runKnotter({"-#b", option}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking b: 3 of 3\n");
  }
}

TEST(MsgAreas, OtherMOptionsPrintTheUsageText) {
  for (const char* option : {"-m", "-ms", "-msgx", "/mx", "-mail"}) {
    SCOPED_TRACE(option);
    TempDir dir;
    writeBase({}, dir.file("b"));
    const RunResult run = runKnotter({"-#b", option}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage: KNOTTER"), std::string::npos);
    EXPECT_NE(run.out.find("   -msg           Link *.MSG areas (HPT -b msg, Squish -f) as well\n"),
              std::string::npos);
    EXPECT_EQ(run.out.find("Linking areas"), std::string::npos);
  }
}

}  // namespace
}  // namespace ktest
