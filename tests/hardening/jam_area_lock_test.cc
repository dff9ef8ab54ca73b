// A JAM area whose lock another process holds: after about one second it is
// reported with the interrupted-call error, the next area is linked, and the
// locked base is left as it was. Only the first byte of the header file
// counts.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <string>

#include "hardening/child_process.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

JamBaseSpec jamThread() {
  return {.messages = {{.subfields = {msgIdField("2:5020/1 00000001")}},
                       {.subfields = {msgIdField("2:5020/2 00000002"),
                                      replyField("2:5020/1 00000001")}}}};
}

TEST(JamAreaLock, HeldFirstByteGivesUpOnlyThatArea) {
  TempDir dir;
  writeJamBase(jamThread(), dir.file("locked"));
  writeJamBase(jamThread(), dir.file("free"));
  writeBase(threeMessageThread(), dir.file("sq"));
  writeFile(dir.file("areas.cfg"),
            "EchoArea LOCKED locked -b jam\nEchoArea SQ sq -b squish\nEchoArea FREE free -b Jam\n");
  const std::string before = readFile(jhr(dir.file("locked")));

  LockHolder holder(jhr(dir.file("locked")), F_WRLCK, 0, 1);
  BackgroundRun run = startKnotter({"areas.cfg", "-hpt", "-jam", "-lrun.log"}, dir.path(), "run");
  const FinishedRun done = finishKnotter(run);
  holder.release();

  EXPECT_EQ(done.result.exitCode, 1);
  EXPECT_EQ(done.result.out, banner + "Linking areas\nLinking LOCKED\r! Cannot open file locked.jhr"
                                 " (4)\nLinking SQ: 3 of 3\nLinking FREE: 2 of 2\n");
  EXPECT_EQ(readFile(jhr(dir.file("locked"))), before);
  EXPECT_EQ(describeJamLinks(dir.file("free")), "1: 0 2 0; 2: 1 0 0");
  const std::vector<std::string> log = readLogLines(dir.file("run.log"));
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[2], "! Cannot open file locked.jhr (4)");
  EXPECT_EQ(log[3], "Linking SQ: 3 of 3");
  EXPECT_EQ(log[4], "Linking FREE: 2 of 2");
}

TEST(JamAreaLock, OtherBytesOfTheHeaderFileAndTheIndexAreNotWaitedFor) {
  TempDir dir;
  writeJamBase(jamThread(), dir.file("area"));
  LockHolder rest(jhr(dir.file("area")), F_WRLCK, 1, 0);
  LockHolder index(jdx(dir.file("area")), F_WRLCK);
  const RunResult run = runKnotter({"-#area.jhr"}, dir.path());
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: 2 of 2\n");
}

}  // namespace
}  // namespace ktest
