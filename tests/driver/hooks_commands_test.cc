// End-to-end: the per-area command of -! and -!+, the flag commands of -@
// after each linked area, failed commands, and the order of their output
// among the tool's own console lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/link_notation.h"

namespace ktest {
namespace {

// Two fixture bases, configured with paths relative to the configuration.
void writeTwoAreas(const TempDir& dir, const std::string& more = "") {
  copyFixture("reply_to_reply", dir.path());
  copyFixture("missing_original", dir.path());
  writeCaseFiles(dir, {{"k.cfg", more + "EchoArea EX1 reply_to_reply\nEchoArea EX2 missing_original\n"}});
}

TEST(AreaCommand, PlainRunsTheCommandInsteadOfLinking) {
  TempDir dir;
  writeTwoAreas(dir);
  const std::string replyToReplyBefore = readFile(dir.file("reply_to_reply.sqd"));
  const RunResult result = runKnotter({"k.cfg", "-!", "echo", "%a", "%p"}, dir.path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, banner + "Running script\nEX1 reply_to_reply.sqd\nEX2 missing_original.sqd\n");
  EXPECT_EQ(readFile(dir.file("reply_to_reply.sqd")), replyToReplyBefore);
}

TEST(AreaCommand, PlusRunsTheCommandThenLinks) {
  TempDir dir;
  writeTwoAreas(dir);
  const RunResult result = runKnotter({"k.cfg", "-!+echo", "%a"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, banner +
                            "Linking areas\nEX1\nLinking EX1: 4 of 4\nEX2\nLinking EX2: 4 of 4\n");
  EXPECT_EQ(describeLinks(dir.file("reply_to_reply")), "10: 0 / 11; 11: 10 / 13; 12: 13 / -; 13: 11 / 12");
}

TEST(AreaCommand, LaterArgumentsBelongToTheCommand) {
  TempDir dir;
  writeTwoAreas(dir);
  const RunResult result = runKnotter({"k.cfg", "-!", "echo", "-q", "-fEX2"}, dir.path());
  EXPECT_EQ(result.out, banner + "Running script\n-q -fEX2\n-q -fEX2\n");
}

TEST(AreaCommand, FailedCommandIsReportedAndTheAreaStillLinked) {
  TempDir dir;
  writeTwoAreas(dir, "LogFile knot.log\n");
  const RunResult result = runKnotter({"k.cfg", "-aEX1", "-!+", "exit", "127"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, banner + "Linking areas\n! Failed command: exit 127\nLinking EX1: 4 of 4\n");
  EXPECT_EQ(readLogLines(dir.file("knot.log")),
            (std::vector<std::string>{"", "Begin, Knotwork v2.4", "Linking areas",
                                      "! Failed command: exit 127", "Linking EX1: 4 of 4",
                                      "End, Knotwork v2.4"}));
}

TEST(FlagCommands, RunAfterEveryLinkedAreaWhileTheirFlagsExist) {
  TempDir dir;
  writeTwoAreas(dir);
  writeCaseFiles(dir, {{"k.cfg", "EchoArea EX1 reply_to_reply\nEchoArea GONE gone\nEchoArea EX2 missing_original\n"},
                       {"flags/x.flg", ""},
                       {"a.flg", ""},
                       {"y.here", ""},
                       {"flags.lst",
                        "{dir}/flags/*.flg echo wild\n"
                        "  {dir}/a.flg   echo   plain  \n"
                        "{dir}/none.flg echo never\n"
                        "{dir}/flags/*.none echo never\n"
                        "*.here echo here\n"
                        "a.flg exit 127\n"}});
  const std::string flagOutput = "wild\nplain\nhere\n! Failed command: exit 127\n";
  const RunResult first = runKnotter({"k.cfg", "-@flags.lst"}, dir.path());
  EXPECT_EQ(first.exitCode, 1);
  EXPECT_EQ(first.out, banner + "Linking areas\nLinking EX1: 4 of 4\n" + flagOutput +
                           "Linking GONE\r! Cannot open file gone.sqd (2)\n"
                           "Linking EX2: 4 of 4\n" + flagOutput);

  // The flags are left alone, so they count again when nothing changes.
  const RunResult second = runKnotter({"k.cfg", "-@flags.lst", "-aEX1"}, dir.path());
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, banner + "Linking areas\nLinking EX1: 0 of 4\n" + flagOutput);
}

TEST(FlagCommands, PlainAreaCommandTestsNoFlags) {
  TempDir dir;
  writeTwoAreas(dir);
  writeCaseFiles(dir, {{"a.flg", ""}, {"flags.lst", "a.flg echo flag\n"}});
  const RunResult result = runKnotter({"k.cfg", "-@flags.lst", "-aEX1", "-!", "echo", "%a"},
                                      dir.path());
  EXPECT_EQ(result.out, banner + "Running script\nEX1\n");
}

TEST(FlagCommands, MissingFlagsFileIsReportedWhileTheOptionsAreRead) {
  TempDir dir;
  writeTwoAreas(dir);
  // The report comes before the banner, and a later -q does not silence it.
  const RunResult result = runKnotter({"k.cfg", "-@", "none.lst", "-q"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "! Cannot open file none.lst (2)\n");
}

TEST(FlagCommands, SeeTheDataFileUnlocked) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  TempDir dir;
  writeTwoAreas(dir);
  // Takes an exclusive record lock without waiting: it fails while the tool
  // still holds its shared lock on the data file.
  writeCaseFiles(dir, {{"a.flg", ""},
                       {"flags.lst",
                        "a.flg python3 -c \"import fcntl,sys; f=open(sys.argv[1],'r+b'); "
                        "fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB); print('locked')\" reply_to_reply.sqd\n"}});
  const RunResult result = runKnotter({"k.cfg", "-aEX1", "-@flags.lst"}, dir.path());
  EXPECT_EQ(result.out, banner + "Linking areas\nLinking EX1: 4 of 4\nlocked\n");
}

}  // namespace
}  // namespace ktest
