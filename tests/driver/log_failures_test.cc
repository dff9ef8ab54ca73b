// Failures that must not pass for success: a log file that cannot be opened
// or written is reported once on standard error (also with -q) and then left
// alone, a log path that does not fit is never opened under a cut name, and
// a configuration that is a directory ends the run with exit code 3.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"

namespace ktest {
namespace {

struct LogFailureCase {
  const char* name;
  std::string config;
  std::vector<std::string> args;
  std::string error;    // what standard error shows, once
  std::string console;  // the console line of a log file that cannot be opened
};

TEST(LogFailures, AreReportedOnceOnStandardErrorAndTheRunGoesOn) {
  const std::string longName(600, 'n');
  const std::string longDir = "d/" + std::string(4090, '/');
  const LogFailureCase cases[] = {
      {"cannot be opened", "LogFile none/knot.log\n", {},
       "knotter: cannot write log file none/knot.log: No such file or directory\n",
       "! Cannot open log file: none/knot.log (2)\n"},
      {"quiet", "LogFile none/knot.log\n", {"-q"},
       "knotter: cannot write log file none/knot.log: No such file or directory\n", ""},
      {"cannot be written", "", {"-l/dev/full"},
       "knotter: cannot write log file /dev/full: No space left on device\n", ""},
      {"-l too long", "", {"-l" + longDir + "knot.log"},
       "knotter: cannot write log file " + (longDir + "knot.log").substr(0, 4094) +
           ": File name too long\n", ""},
      {"LogFile token too long", "LogFile " + longName + "\n", {},
       "knotter: cannot write log file " + longName.substr(0, 511) + ": File name too long\n",
       "! Cannot open log file: " + longName.substr(0, 511) + " (36)\n"},
  };
  for (const LogFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.args == std::vector<std::string>{"-l/dev/full"} && !std::filesystem::exists("/dev/full")) {
      continue;
    }
    TempDir dir;
    std::filesystem::create_directory(dir.file("d"));
    writeBase(threeMessageThread(), dir.file("base"));
    writeFile(dir.file("k.cfg"), c.config + "LogLevel 9\nEchoArea A base\n");
    std::vector<std::string> args{"k.cfg"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult result = runKnotter(args, dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, c.error);
    if (c.args.empty()) {
      EXPECT_EQ(result.out, banner + c.console + "Linking areas\nLinking A: 3 of 3\n");
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      EXPECT_NE(entry.path().extension(), ".log");
      EXPECT_EQ(entry.path().filename().string().find("nnn"), std::string::npos);
    }
  }
}

// A relative log path that no longer fits behind the configuration's
// directory is refused as well.
TEST(LogFailures, ResolvedLogPathThatDoesNotFitIsNotOpened) {
  TempDir dir;
  const std::string configDir = "d/" + std::string(4000, '/');
  std::filesystem::create_directory(dir.file("d"));
  writeFile(dir.file("d/k.cfg"), "LogFile " + std::string(200, 'n') + "\n");
  const RunResult result = runKnotter({"-c", configDir + "k.cfg"}, dir.path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "knotter: cannot write log file " +
                            (configDir + std::string(200, 'n')).substr(0, 4094) +
                            ": File name too long\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("d")), {}), 1);
}

TEST(ConfigurationFailures, ADirectoryEndsWithExitCodeThree) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("etc"));
  const RunResult result = runKnotter({"etc", "-lknot.log"}, dir.path());
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.out, banner);
  EXPECT_FALSE(std::filesystem::exists(dir.file("knot.log")));
}

}  // namespace
}  // namespace ktest
