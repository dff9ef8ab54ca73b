// End-to-end: which areas are JAM bases. HPT's "-b jam" and
// "EchoAreaDefaults -b jam" count only under -jam; -# names a JAM base by
// its ".jhr" suffix without it. Areas are traced with a -! command, whose
// %p names the file that holds the messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"

namespace ktest {
namespace {

AreaCase hptCase(const char* name, const std::string& config, std::vector<std::string> args,
                 std::vector<std::string> areas, std::vector<std::string> reports = {}) {
  args.insert(args.begin(), "-hpt");
  return {name, {{"k.cfg", config}}, std::move(args), std::move(areas), std::move(reports)};
}

TEST(JamAreas, HptJamAreasCountOnlyUnderTheJamOption) {
  const std::string defaults =
      "EchoAreaDefaults -b Jam\nEchoArea A /m/a\nLocalArea B /m/b\nNetmailArea N /m/n\n"
      "EchoArea C /m/c -b squish\nEchoArea D passthrough\n";
  const AreaCase cases[] = {
      hptCase("-b jam without -jam", "EchoArea A /m/a -b jam\n", {}, {}),
      hptCase("-b jam with -jam", "EchoArea A /m/a -b JAM\n", {"-jam"}, {"A /m/a.jhr"}),
      hptCase("/JAM in any case", "EchoArea A /m/a -b jam\n", {"/JAM"}, {"A /m/a.jhr"}),
      hptCase("every area keyword", "NetArea N /m/n -b jam\nNetmailArea M /m/m -b jam\n"
              "LocalArea L /m/l -b jam\n", {"-jam"}, {"N /m/n.jhr", "M /m/m.jhr", "L /m/l.jhr"}),
      hptCase("a later -b squish wins", "EchoArea A /m/a -b jam -b squish\n", {"-jam"},
              {"A /m/a.sqd"}),
      hptCase("a later -b jam wins", "EchoArea A /m/a -b squish -b jam\n", {"-jam"},
              {"A /m/a.jhr"}),
      hptCase("the last of three types wins", "EchoArea A /m/a -b jam -b msg -b squish\n",
              {"-jam"}, {"A /m/a.sqd"}),
      hptCase("a type of no known name ends the line", "EchoArea A /m/a -b jam -b jim -b squish\n",
              {"-jam"}, {}),
      hptCase("-0 and -nolink as for Squish", "EchoArea A /m/a -b jam -0\n"
              "EchoArea B /m/b -b jam -nolink\n", {"-jam"}, {}),
      // Only echo areas take the defaults; local and netmail areas are Squish.
      hptCase("defaults -b jam without -jam", defaults, {},
              {"B /m/b.sqd", "N /m/n.sqd", "C /m/c.sqd"}),
      hptCase("defaults -b jam with -jam", defaults, {"-jam"},
              {"A /m/a.jhr", "B /m/b.sqd", "N /m/n.sqd", "C /m/c.sqd"}),
      hptCase("-a naming a JAM area without -jam", "EchoArea A /m/a -b jam\n", {"-aA"}, {},
              {"! A is not a Squish message base"}),
      hptCase("-a naming a JAM area with -jam", "EchoArea A /m/a -b jam\n", {"-aA", "-jam"},
              {"A /m/a.jhr"}),
      {"Squish mode: -jam changes nothing", {{"k.cfg", "EchoArea A /m/a -b jam\n"}}, {"-jam"},
       {"A /m/a.sqd"}},
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(JamAreas, SingleBaseNamedByItsHeaderFile) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* traced;
  } cases[] = {
      {".jhr cut, tag the base name", {"-#sub/AREA.jhr"}, "AREA sub/AREA.jhr"},
      {"suffix in any case, no -jam needed", {"-#base.JHR"}, "base base.jhr"},
      {"a bare suffix is a Squish base", {"-#.jhr"}, ".jhr .jhr.sqd"},
      {"other suffixes stay", {"-#AREA.jdx"}, "AREA.jdx AREA.jdx.sqd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const TraceRun run = traceAreas(dir, c.args);
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(run.areas, std::vector<std::string>{c.traced});
  }
}

TEST(JamAreas, OtherJOptionsPrintTheUsageText) {
  for (const char* option : {"-j", "-ja", "-jamx", "/jx"}) {
    SCOPED_TRACE(option);
    TempDir dir;
    writeBase({}, dir.file("b"));
    const RunResult run = runKnotter({"-#b", option}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage: KNOTTER"), std::string::npos);
    EXPECT_EQ(run.out.find("Linking areas"), std::string::npos);
  }
}

}  // namespace
}  // namespace ktest
