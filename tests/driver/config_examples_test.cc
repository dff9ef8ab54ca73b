// End-to-end: the sample configurations, list and flags file in examples/
// keep working on the sample bases (on a copy of the folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"

namespace ktest {
namespace {

void copyExamples(const TempDir& dir) {
  std::filesystem::copy(KNOTTER_EXAMPLES, dir.path(), std::filesystem::copy_options::recursive);
}

TEST(ConfigExamples, ConfigurationsSelectTheSampleAreas) {
  struct ExampleCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> areas;
  };
  const ExampleCase cases[] = {
      {"Squish style", {"squish.cfg"}, {"FIDO.GENERAL bases/fido.sqd", "LOCAL bases/local.sqd"}},
      {"HPT style", {"hpt.cfg", "-hpt"}, {"FIDO.GENERAL bases/fido.sqd", "LOCAL bases/local.sqd"}},
      {"HPT style with the import log", {"hpt.cfg", "-hpt", "-f"},
       {"FIDO.GENERAL bases/fido.sqd"}},
      {"Squish style with the list", {"squish.cfg", "-fimport.lst"},
       {"FIDO.GENERAL bases/fido.sqd"}},
  };
  for (const ExampleCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    copyExamples(dir);
    const TraceRun run = traceAreas(dir, c.args);
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(reportLines(run.result.out), std::vector<std::string>{});
    EXPECT_EQ(run.areas, c.areas);
  }
}

TEST(ConfigExamples, FlagsFileRunsItsCommandAfterEachLinkedArea) {
  TempDir dir;
  copyExamples(dir);
  writeFile(dir.file("linked.flg"), "");
  const RunResult result = runKnotter({"squish.cfg", "-@flags.lst", "-q"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  const std::string line = "linked.flg is set: a follow-up job would run here\n";
  EXPECT_EQ(result.out, line + line);
  EXPECT_EQ(readLogLines(dir.file("knotter.log")).size(), 6u);
}

}  // namespace
}  // namespace ktest
