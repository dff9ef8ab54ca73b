// End-to-end tests of a successful run on one base: the result line on the
// console and in the log, the exit code, and the data file's times.
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/link_notation.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

constexpr time_t longAgo = 1000000000;  // September 2001

void setTimesLongAgo(const std::filesystem::path& file) {
  utimbuf times{longAgo, longAgo};
  ASSERT_EQ(utime(file.c_str(), &times), 0);
}

struct stat statOf(const std::filesystem::path& file) {
  struct stat status {};
  EXPECT_EQ(stat(file.c_str(), &status), 0);
  return status;
}

std::vector<std::string> block(const std::vector<std::string>& middle) {
  std::vector<std::string> lines = {"", "Begin, Knotwork v2.4", "Linking areas"};
  lines.insert(lines.end(), middle.begin(), middle.end());
  lines.push_back("End, Knotwork v2.4");
  return lines;
}

TEST(SingleBaseRun, ChangedBaseThenUnchangedBase) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  setTimesLongAgo(sqd(dir.file("area")));
  setTimesLongAgo(sqi(dir.file("area")));
  const std::string indexBefore = readFile(sqi(dir.file("area")));
  const time_t start = time(nullptr);

  RunResult first = runKnotter({"-#area", "-lrun.log"}, dir.path());
  EXPECT_EQ(first.exitCode, 1);
  EXPECT_EQ(first.out, banner + "Linking areas\nLinking area: 3 of 3\n");
  EXPECT_EQ(describeLinks(dir.file("area")), "1: 0 / 2; 2: 1 / 3; 3: 2 / -");
  std::vector<std::string> expectedLog = block({"Linking area: 3 of 3"});
  EXPECT_EQ(readLogLines(dir.file("run.log")), expectedLog);
  for (const std::string& line : splitLines(readFile(dir.file("run.log")))) {
    EXPECT_EQ(line.empty(), !hasStamp(line)) << line;
  }
  struct stat data = statOf(sqd(dir.file("area")));
  EXPECT_GE(data.st_mtime, start);
  EXPECT_GE(data.st_atime, start);
  EXPECT_EQ(statOf(sqi(dir.file("area"))).st_mtime, longAgo);
  EXPECT_EQ(readFile(sqi(dir.file("area"))), indexBefore);

  const std::string linked = readFile(sqd(dir.file("area")));
  setTimesLongAgo(sqd(dir.file("area")));
  RunResult second = runKnotter({"-#area", "-lrun.log"}, dir.path());
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, banner + "Linking areas\nLinking area: 0 of 3\n");
  std::vector<std::string> secondBlock = block({});
  expectedLog.insert(expectedLog.end(), secondBlock.begin(), secondBlock.end());
  EXPECT_EQ(readLogLines(dir.file("run.log")), expectedLog);
  EXPECT_EQ(readFile(sqd(dir.file("area"))), linked);
  EXPECT_EQ(statOf(sqd(dir.file("area"))).st_mtime, longAgo);
}

TEST(SingleBaseRun, QuietChangesOnlyTheConsole) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  RunResult run = runKnotter({"-q", "-#area", "-lrun.log"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(readLogLines(dir.file("run.log")), block({"Linking area: 3 of 3"}));
  EXPECT_EQ(describeLinks(dir.file("area")), "1: 0 / 2; 2: 1 / 3; 3: 2 / -");
}

TEST(SingleBaseRun, NoLogFileWithoutLogPath) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  RunResult run = runKnotter({"-#area"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// A base that counts no messages links without its index file.
TEST(SingleBaseRun, EmptyBaseNeedsNoIndex) {
  struct Case {
    const char* name;
    std::uint32_t highMsg;
    const char* counts;
  } cases[] = {
      {"high_msg 0", 0, "0 of 0"},
      {"high_msg negative", 0x80000000u, "0 of 2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeBase(threeMessageThread(), dir.file("area"));
    setU32(sqd(dir.file("area")), 8, c.highMsg);
    std::filesystem::remove(sqi(dir.file("area")));
    setTimesLongAgo(sqd(dir.file("area")));
    const std::string before = readFile(sqd(dir.file("area")));
    RunResult run = runKnotter({"-#area", "-lrun.log"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: " + c.counts + "\n");
    EXPECT_EQ(readLogLines(dir.file("run.log")), block({}));
    EXPECT_EQ(readFile(sqd(dir.file("area"))), before);
    EXPECT_EQ(statOf(sqd(dir.file("area"))).st_mtime, longAgo);
  }
}

TEST(SingleBaseRun, SharedEmptyFixture) {
  TempDir dir;
  copyFixture("empty_base", dir.path());
  std::filesystem::remove(dir.file("empty_base.sqi"));
  RunResult run = runKnotter({"-#empty_base.sqd"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking empty_base: 0 of 0\n");
  EXPECT_EQ(readFile(dir.file("empty_base.sqd")), readFile(fixturesDir() / "empty_base.sqd"));
}

// An index entry whose ofs equals end_frame passes the range test.
TEST(SingleBaseRun, OffsetEqualToEndFramePasses) {
  TempDir dir;
  BuiltBase built = writeBase(threeMessageThread(), dir.file("area"));
  setU32(sqd(dir.file("area")), 120, built.frameOffsets.back());
  RunResult run = runKnotter({"-#area"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: 3 of 3\n");
}

}  // namespace
}  // namespace ktest
