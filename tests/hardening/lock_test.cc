// The tool against other programs that use the same bases: record locks
// held by a real second process, two runs of the tool at once, and a polite
// kill while a base is being written. (That the
// flag commands find the data file unlocked is tested with the commands, in
// tests/driver/hooks_commands_test.cc.)
#include <fcntl.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
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

// A base that holds what linking would give is never written, so it takes
// no exclusive lock, and readers' shared locks on both its files cost
// nothing. A base that needs stores waits for readers to leave, and after a
// second gives up with the interrupted-call error, leaving the base as it
// was. (The readers never let go, so any wait would show as a report.)
TEST(Locks, SharedLocksOfReadersHoldBackOnlyStores) {
  for (const char* linkType : {"-tr", "-ts"}) {
    SCOPED_TRACE(linkType);
    TempDir dir;
    writeBase(threeMessageThread(), dir.file("busy"));
    writeBase(threeMessageThread(), dir.file("done"));
    ASSERT_EQ(runKnotter({linkType, "-#done"}, dir.path()).exitCode, 1);
    writeFile(dir.file("areas.cfg"), "EchoArea BUSY busy\nEchoArea DONE done\n");
    const Snapshot busy = snapshot(dir.file("busy"));
    const Snapshot done = snapshot(dir.file("done"));

    LockHolder busyReader(sqd(dir.file("busy")), F_RDLCK);
    LockHolder dataReader(sqd(dir.file("done")), F_RDLCK);
    LockHolder indexReader(sqi(dir.file("done")), F_RDLCK);
    const FinishedRun run = runKnotterWith({linkType, "areas.cfg"}, dir.path(), {});

    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(run.result.out, banner +
                                  "Linking areas\nLinking BUSY\r! Cannot open file busy.sqd (4)\n"
                                  "Linking DONE: 0 of 3\n");
    EXPECT_GE(run.elapsed.count(), 900);
    EXPECT_TRUE(snapshot(dir.file("busy")) == busy);
    EXPECT_TRUE(snapshot(dir.file("done")) == done);
  }
}

// A run that wants to store while another holds the base gives the area up
// as busy: with the interrupted-call error after the second's wait, or at
// once with EDEADLK when the other run waits to store as well.
bool isBusyReport(const std::string& line) {
  const std::size_t at = line.find("\r! Cannot open file ");
  if (at == std::string::npos || line.find('!') != at + 1) return false;
  return line.ends_with(".sqd (4)") || line.ends_with(".sqd (35)");
}

// The console lines of a run of one area per line, where some may have been
// given up as busy: true when nothing else was reported.
bool onlyBusyReports(const std::string& out) {
  for (const std::string& line : splitLines(out)) {
    if (line.find('!') != std::string::npos && !isBusyReport(line)) return false;
  }
  return true;
}

// Two runs on the same bases at the same time both finish, each area linked
// or given up as busy, and the bases end byte for byte as after one run.
TEST(Locks, TwoRunsAtOnceEndAsOneRun) {
  const char* fixtures[] = {"five_threads", "two_threads_missing_original", "ten_replies", "reply_to_reply", "subjects_without_kludges"};
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
      EXPECT_TRUE(onlyBusyReports(done.result.out)) << done.result.out;
      EXPECT_EQ(splitLines(done.result.out).size(), 3 + std::size(fixtures)) << done.result.out;
    }
    for (const char* name : fixtures) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(snapshot(both.file(name)) == snapshot(once.file(name)));
    }
  }
}

// Threads of three, 2 and 3 answering 1: TimEd and Reply link each thread
// differently. Enough of them that two runs started together overlap.
BaseSpec manyThreads(std::uint32_t threads) {
  const auto msgid = [](std::uint32_t umsgid) {
    char text[32];
    std::snprintf(text, sizeof text, "2:5020/1 %08x", umsgid);
    return std::string(text);
  };
  BaseSpec layout;
  for (std::uint32_t first = 1; first < 3 * threads; first += 3) {
    layout.messages.push_back({.umsgid = first, .control = "\x01MSGID: " + msgid(first)});
    for (const std::uint32_t reply : {first + 1, first + 2}) {
      layout.messages.push_back(
          {.umsgid = reply,
           .control = "\x01MSGID: " + msgid(reply) + "\x01REPLY: " + msgid(first)});
    }
  }
  return layout;
}

Snapshot linkedAlone(const BaseSpec& layout, const char* linkType) {
  TempDir dir;
  writeBase(layout, dir.file("area"));
  EXPECT_EQ(runKnotter({linkType, "-#area"}, dir.path()).exitCode, 1);
  return snapshot(dir.file("area"));
}

// Runs with different link types at once: only one stores at a time, so the
// base ends as one of them alone leaves it, never a mixture of both.
TEST(Locks, TwoLinkTypesAtOnceEndAsOneOfThem) {
  const BaseSpec layout = manyThreads(1000);
  const Snapshot byTimEd = linkedAlone(layout, "-tt");
  const Snapshot byReply = linkedAlone(layout, "-tr");
  ASSERT_FALSE(byTimEd == byReply);

  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    TempDir dir;
    writeBase(layout, dir.file("area"));
    BackgroundRun timEd = startKnotter({"-tt", "-#area"}, dir.path(), "timed");
    BackgroundRun reply = startKnotter({"-tr", "-#area"}, dir.path(), "reply");
    for (const FinishedRun& done : {finishKnotter(timEd), finishKnotter(reply)}) {
      EXPECT_TRUE(done.result.exitCode == 0 || done.result.exitCode == 1) << done.result.exitCode;
      EXPECT_TRUE(onlyBusyReports(done.result.out)) << done.result.out;
    }
    const Snapshot after = snapshot(dir.file("area"));
    EXPECT_TRUE(after == byTimEd || after == byReply);
  }
}

// SIGTERM that comes once the run has asked to store waits until the last
// store is made: sent while the run waits for a reader to leave, it ends the
// run only after the base has been linked whole.
TEST(Locks, TerminationDuringStoresWaitsForTheLast) {
  for (const char* linkType : {"-tr", "-ts"}) {
    SCOPED_TRACE(linkType);
    const Snapshot linked = linkedAlone(threeMessageThread(), linkType);
    TempDir dir;
    writeBase(threeMessageThread(), dir.file("area"));

    LockHolder reader(sqd(dir.file("area")), F_RDLCK);
    BackgroundRun run = startKnotter({linkType, "-#area"}, dir.path(), "run");
    const bool waited =
        waitUntil([&] { return waitsForLock(run.pid); }, std::chrono::milliseconds(5000));
    kill(run.pid, SIGTERM);
    reader.release();
    const FinishedRun done = finishKnotter(run);

    EXPECT_TRUE(waited);
    EXPECT_EQ(done.result.exitCode, 128 + SIGTERM);
    EXPECT_TRUE(snapshot(dir.file("area")) == linked);
  }
}

}  // namespace
}  // namespace ktest
