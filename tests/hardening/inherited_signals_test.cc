// The tool started under a hostile signal state, as a careless parent can
// leave it: SIGALRM blocked (the lock wait must still end), SIGCHLD ignored
// (commands must still report their status), and standard output a pipe
// nobody reads (the run must link and log all the same).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "hardening/child_process.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

void blockAlarm() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGALRM);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void ignoreChildren() { signal(SIGCHLD, SIG_IGN); }

// Standard output becomes a pipe whose reading end is already closed.
void closedPipeAsOutput() {
  int ends[2];
  if (pipe(ends) != 0 || dup2(ends[1], 1) < 0) _exit(126);
  close(ends[0]);
  close(ends[1]);
}

TEST(InheritedSignals, BlockedAlarmStillEndsTheLockWait) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  const std::string before = readFile(sqd(dir.file("area")));
  LockHolder holder(sqd(dir.file("area")), F_WRLCK);

  const FinishedRun done = runKnotterWith({"-#area"}, dir.path(), {0, blockAlarm});
  holder.release();
  EXPECT_EQ(done.result.exitCode, 0);
  EXPECT_EQ(done.result.out, banner + "Linking areas\nLinking area\r! Cannot open file area.sqd (4)\n");
  EXPECT_LT(done.elapsed.count(), 10000);
  EXPECT_TRUE(readFile(sqd(dir.file("area"))) == before);
}

TEST(InheritedSignals, IgnoredChildSignalStillGivesCommandsTheirStatus) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  const FinishedRun done =
      runKnotterWith({"-#area", "-!+", "echo", "%a;", "exit", "3"}, dir.path(), {0, ignoreChildren});
  EXPECT_EQ(done.result.exitCode, 1);
  EXPECT_EQ(done.result.out, banner + "Linking areas\narea\nLinking area: 3 of 3\n");
}

TEST(InheritedSignals, ClosedConsoleDropsOutputAndTheRunGoesOn) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  writeBase(threeMessageThread(), dir.file("linked"));
  ASSERT_EQ(runKnotter({"-#linked", "-q"}, dir.path()).exitCode, 1);

  const FinishedRun done =
      runKnotterWith({"-#area", "-lknot.log"}, dir.path(), {0, closedPipeAsOutput});
  EXPECT_EQ(done.result.exitCode, 1);
  EXPECT_EQ(done.result.err, "");
  EXPECT_TRUE(readFile(sqd(dir.file("area"))) == readFile(sqd(dir.file("linked"))));
  EXPECT_EQ(readLogLines(dir.file("knot.log")),
            (std::vector<std::string>{"", "Begin, Knotwork v2.4", "Linking areas",
                                      "Linking area: 3 of 3", "End, Knotwork v2.4"}));
}

}  // namespace
}  // namespace ktest
