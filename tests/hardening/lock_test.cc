// The tool against other programs that use the same bases: record locks
// held by a real second process, and two runs of the tool at once. (That the
// flag commands find the data file unlocked is tested with the commands, in
// tests/driver/hooks_commands_test.cc.)
#include <fcntl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hardening/child_process.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

struct Snapshot {
  std::string sqd;
  std::string sqi;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const fs::path& base) { return {readFile(sqd(base)), readFile(sqi(base))}; }

const std::string linked = "Linking areas\nLinking area: 3 of 3\n";

struct LockedFile {
  const char* suffix;
};
constexpr LockedFile lockedFiles[] = {{".sqd"}, {".sqi"}};

// A lock held for longer than the tool waits costs only that area: after
// about one second it is reported with the interrupted-call error, the next
// area is linked, and the locked base is left as it was.
TEST(Locks, ExclusiveLockOverOneSecondGivesUpOnlyThatArea) {
  for (const LockedFile& locked : lockedFiles) {
    SCOPED_TRACE(locked.suffix);
    TempDir dir;
    writeBase(threeMessageThread(), dir.file("locked"));
    writeBase(threeMessageThread(), dir.file("free"));
    writeFile(dir.file("areas.cfg"), "EchoArea LOCKED locked\nEchoArea FREE free\n");
    const Snapshot before = snapshot(dir.file("locked"));

    LockHolder holder(dir.file(std::string("locked") + locked.suffix), F_WRLCK);
    BackgroundRun run = startKnotter({"areas.cfg"}, dir.path(), "run");
    const FinishedRun done = finishKnotter(run);
    holder.release();

    EXPECT_EQ(done.result.exitCode, 1);
    EXPECT_EQ(done.result.out, banner + "Linking areas\nLinking LOCKED\r! Cannot open file locked" +
                                   locked.suffix + " (4)\nLinking FREE: 3 of 3\n");
    EXPECT_GE(done.elapsed.count(), 900);
    EXPECT_LT(done.elapsed.count(), 10000);
    EXPECT_TRUE(snapshot(dir.file("locked")) == before);
  }
}

// A lock released within the second is waited for: the tool is seen waiting
// in the kernel's lock table, the lock goes, and the area is linked.
TEST(Locks, ExclusiveLockUnderOneSecondIsWaitedFor) {
  for (const LockedFile& locked : lockedFiles) {
    SCOPED_TRACE(locked.suffix);
    TempDir dir;
    writeBase(threeMessageThread(), dir.file("area"));

    LockHolder holder(dir.file(std::string("area") + locked.suffix), F_WRLCK);
    BackgroundRun run = startKnotter({"-#area"}, dir.path(), "run");
    const bool waited =
        waitUntil([&] { return waitsForLock(run.pid); }, std::chrono::milliseconds(5000));
    holder.release();
    const FinishedRun done = finishKnotter(run);

    EXPECT_TRUE(waited);
    EXPECT_EQ(done.result.exitCode, 1);
    EXPECT_EQ(done.result.out, banner + linked);
  }
}

// Shared locks of other readers on both files are compatible with ours: the
// holders never let go, so had the tool waited for them it would have given
// the area up after a second.
TEST(Locks, SharedLocksOfOthersDoNotDelay) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("area"));
  LockHolder dataReader(sqd(dir.file("area")), F_RDLCK);
  LockHolder indexReader(sqi(dir.file("area")), F_RDLCK);

  const FinishedRun done = runKnotterWith({"-#area"}, dir.path(), {});
  EXPECT_EQ(done.result.exitCode, 1);
  EXPECT_EQ(done.result.out, banner + linked);
}

// Two runs on the same bases at the same time both finish without a report,
// and the bases end byte for byte as after one run.
TEST(Locks, TwoRunsAtOnceEndAsOneRun) {
  const char* fixtures[] = {"m50", "ex3", "ex5", "ex1", "ex8"};
  std::string config;
  for (const char* name : fixtures) config += std::string("EchoArea ") + name + " " + name + "\n";

  for (const char* linkType : {"-tt", "-tf", "-tr", "-ts"}) {
    SCOPED_TRACE(linkType);
    TempDir once;
    TempDir both;
    for (const TempDir* dir : {&once, &both}) {
      for (const char* name : fixtures) copyFixture(name, dir->path());
      writeFile(dir->file("areas.cfg"), config);
    }
    ASSERT_EQ(runKnotter({linkType, "areas.cfg"}, once.path()).exitCode, 1);

    BackgroundRun first = startKnotter({linkType, "areas.cfg"}, both.path(), "first");
    BackgroundRun second = startKnotter({linkType, "areas.cfg"}, both.path(), "second");
    for (const FinishedRun& done : {finishKnotter(first), finishKnotter(second)}) {
      EXPECT_TRUE(done.result.exitCode == 0 || done.result.exitCode == 1) << done.result.exitCode;
      EXPECT_EQ(done.result.out.find("!"), std::string::npos) << done.result.out;
      EXPECT_EQ(splitLines(done.result.out).size(), 3 + std::size(fixtures)) << done.result.out;
    }
    for (const char* name : fixtures) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(snapshot(both.file(name)) == snapshot(once.file(name)));
    }
  }
}

}  // namespace
}  // namespace ktest
