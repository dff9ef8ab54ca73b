// A base cut short by another program while the tool has it mapped: the
// next access to a page past the new end faults. That ends only the area:
// it is reported with the linkers' guard line, nothing more is written to
// it, every resource of the area is released (the blocked signals too), and
// the run goes on. The cut is made by this test process at a known moment:
// while the tool waits for a lock another child holds, or, where no lock is
// waited for, with the tool stopped at a system call under trace.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hardening/child_process.h"
#include "hardening/syscall_tracer.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds runLimit(30);
constexpr std::uint64_t pageSize = 4096;

struct Format {
  const char* type;   // as -b names it
  const char* data;   // the mapped file
  const char* index;
};
constexpr Format squish{"squish", ".sqd", ".sqi"};
constexpr Format jam{"jam", ".jhr", ".jdx"};

// A long first message, whose bulk linking never reads (a Squish body, a JAM
// subfield of an address), so that a cut inside the first page leaves the
// thread of three after it on a later page: reading any of them faults.
BaseSpec squishCutBase() {
  BaseSpec base = threeMessageThread();
  for (MessageSpec& message : base.messages) ++message.umsgid;
  base.messages.insert(base.messages.begin(),
                       {.umsgid = 1, .subject = "Long", .body = std::string(6000, 'x')});
  return base;
}

JamBaseSpec jamThread() {
  return {.messages = {{.subfields = {msgIdField("2:5020/1 00000001")}},
                       {.subfields = {msgIdField("2:5020/2 00000002"),
                                      replyField("2:5020/1 00000001")}},
                       {.subfields = {msgIdField("2:5020/3 00000003"),
                                      replyField("2:5020/1 00000001")}}}};
}

JamBaseSpec jamCutBase() {
  JamBaseSpec base = jamThread();
  base.messages.insert(base.messages.begin(), {.subfields = {{1, std::string(6000, 'x')}}});
  return base;
}

// Writes base `name` of format, to be cut; returns its data file's bytes.
std::string writeCutBase(const Format& format, const TempDir& dir, const std::string& name) {
  if (&format == &jam) {
    const BuiltJamBase built = writeJamBase(jamCutBase(), dir.file(name));
    EXPECT_GE(built.headerOffsets[1], pageSize);
    return built.jhr;
  }
  const BuiltBase built = writeBase(squishCutBase(), dir.file(name));
  EXPECT_GE(built.frameOffsets[1], pageSize);
  return built.sqd;
}

void writeNextBase(const Format& format, const TempDir& dir) {
  if (&format == &jam) {
    writeJamBase(jamThread(), dir.file("next"));
  } else {
    writeBase(threeMessageThread(), dir.file("next"));
  }
}

enum class Moment {
  indexLockWait,  // the data file mapped, a child holds the index (Squish)
  storeLockWait,  // all read, the upgrade to the write lock waits for a reader (Squish)
  dataMapping,    // traced: at the mmap of the data file, before anything is read
  indexOpening,   // traced: at the open of the index, the data file mapped
};

struct Cut {
  Moment moment;
  const Format* format;
  std::string base;  // the base's name in the test's directory
  std::uint64_t size;
};

fs::path dataFile(const TempDir& dir, const Cut& cut) {
  return dir.file(cut.base + cut.format->data);
}

// Holds the lock the tool will wait for, cuts the data file once the tool
// is seen waiting with it mapped, and releases the lock within the second
// the tool waits.
FinishedRun cutWhileWaiting(const Cut& cut, const std::vector<std::string>& args,
                            const TempDir& dir, const char* program) {
  const bool atStores = cut.moment == Moment::storeLockWait;
  const fs::path data = dataFile(dir, cut);
  LockHolder holder(atStores ? data : dir.file(cut.base + cut.format->index),
                    atStores ? F_RDLCK : F_WRLCK);
  BackgroundRun run = startKnotter(args, dir.path(), "run", {.program = program});
  const bool waiting = waitUntil([&] { return waitsForLock(run.pid) && mapsFile(run.pid, data); },
                                 std::chrono::milliseconds(5000));
  EXPECT_TRUE(waiting) << "the tool was not seen waiting with " << data << " mapped";
  fs::resize_file(data, cut.size);
  holder.release();
  return finishKnotter(run, runLimit);
}

// Steps the traced tool to the moment of each cut in turn, cuts there, and
// lets it run on. Nothing when this machine refuses tracing.
std::optional<FinishedRun> cutTraced(const std::vector<Cut>& cuts,
                                     const std::vector<std::string>& args, const TempDir& dir,
                                     const char* program) {
  if (!syscallTracingBuilt) return std::nullopt;
  BackgroundRun run =
      startKnotter(args, dir.path(), "run", {.inChild = traceMe, .program = program});
  Tracee tracee(run.pid);
  if (tracee.refused()) return std::nullopt;
  for (const Cut& cut : cuts) {
    bool reached = false;
    if (cut.moment == Moment::dataMapping) {
      reached = tracee.runToEntry(opening(cut.base + cut.format->data));
      const long fd = reached ? tracee.runToExit() : -1;
      reached = fd >= 0 && tracee.runToEntry(mapping(fd));
    } else {
      reached = tracee.runToEntry(opening(cut.base + cut.format->index));
    }
    if (!reached) {
      ADD_FAILURE() << "the tool never reached the moment to cut " << cut.base;
      return FinishedRun{};
    }
    fs::resize_file(dataFile(dir, cut), cut.size);
  }
  tracee.detach();
  return finishKnotter(run, runLimit);
}

std::optional<FinishedRun> runAndCut(const std::vector<Cut>& cuts,
                                     const std::vector<std::string>& args, const TempDir& dir,
                                     const char* program) {
  const Moment moment = cuts.front().moment;
  if (moment == Moment::indexLockWait || moment == Moment::storeLockWait) {
    return cutWhileWaiting(cuts.front(), args, dir, program);
  }
  return cutTraced(cuts, args, dir, program);
}

// Run after the next area is linked, by the shell the tool starts: the
// signals the tool blocks, as the shell inherits them, read with builtins
// only (a shell blocks every signal for a moment around each command it
// starts), then whatever the tool still holds of the cut bases: a
// descriptor, a mapping, a record lock.
const std::string stateCommand =
    "go.flg while read -r line; do case $line in SigBlk*) echo \"$line\";; esac; done "
    "< /proc/self/status > state.txt; ls -l /proc/$PPID/fd | grep cut >> state.txt; "
    "grep cut /proc/$PPID/maps >> state.txt; grep ' '$PPID' ' /proc/locks >> state.txt; true\n";
const std::string nothingHeld = "SigBlk:\t0000000000000000\n";

struct LinkCutCase {
  const char* name;
  Cut cut;
};

// Area CUT, cut as the case says, then area NEXT of the same format.
void expectOnlyTheCutAreaLost(const LinkCutCase& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  const std::string before = writeCutBase(*c.cut.format, dir, "cut");
  writeNextBase(*c.cut.format, dir);
  writeFile(dir.file("areas.cfg"), std::string("EchoArea CUT cut -b ") + c.cut.format->type +
                                       "\nEchoArea NEXT next -b " + c.cut.format->type + "\n");
  writeFile(dir.file("go.flg"), "");
  writeFile(dir.file("flags"), stateCommand);

  const std::vector<std::string> args = {"-hpt", "-jam", "areas.cfg", "-lrun.log", "-@flags"};
  const std::optional<FinishedRun> done = runAndCut({c.cut}, args, dir, KNOTTER_BINARY);
  if (!done) GTEST_SKIP() << "system calls cannot be traced here";
  const std::string report = "! Error reading CUT. Area is possibly damaged";
  EXPECT_EQ(done->result.exitCode, 1);
  EXPECT_EQ(done->result.out,
            banner + "Linking areas\nLinking CUT\r" + report + "\nLinking NEXT: 3 of 3\n");
  EXPECT_EQ(readLogLines(dir.file("run.log")),
            (std::vector<std::string>{"Begin, Knotwork v2.4", "Linking areas", report,
                                      "Linking NEXT: 3 of 3", "End, Knotwork v2.4", ""}));
  EXPECT_EQ(readFile(dataFile(dir, c.cut)), before.substr(0, c.cut.size));
  EXPECT_EQ(readFile(dir.file("state.txt")), nothingHeld);
}

TEST(TruncatedBase, SquishCutWhileTheToolWaitsLosesOnlyThatArea) {
  const LinkCutCase cases[] = {
      {"reading: cut at a page boundary", {Moment::indexLockWait, &squish, "cut", pageSize}},
      {"reading: cut inside a page", {Moment::indexLockWait, &squish, "cut", 2000}},
      {"storing, with the ending signals held: cut at a page boundary",
       {Moment::storeLockWait, &squish, "cut", pageSize}},
      {"storing: cut inside a page", {Moment::storeLockWait, &squish, "cut", 2000}},
  };
  for (const LinkCutCase& c : cases) expectOnlyTheCutAreaLost(c);
}

TEST(TruncatedBase, CutAtASystemCallLosesOnlyThatArea) {
  const LinkCutCase cases[] = {
      {"Squish, cut to nothing as it is mapped", {Moment::dataMapping, &squish, "cut", 0}},
      {"JAM, cut to nothing as it is mapped", {Moment::dataMapping, &jam, "cut", 0}},
      {"JAM, cut at a page boundary before the index is read",
       {Moment::indexOpening, &jam, "cut", pageSize}},
      {"JAM, cut inside a page before the index is read",
       {Moment::indexOpening, &jam, "cut", 2000}},
  };
  for (const LinkCutCase& c : cases) {
    expectOnlyTheCutAreaLost(c);
    if (testing::Test::IsSkipped()) return;
  }
}

// Two bases cut in one run: the first fault leaves the tool able to catch
// the next one.
TEST(TruncatedBase, EveryCutAreaOfARunIsLostAlone) {
  TempDir dir;
  const std::string squishBefore = writeCutBase(squish, dir, "cuts");
  const std::string jamBefore = writeCutBase(jam, dir, "cutj");
  writeBase(threeMessageThread(), dir.file("next"));
  writeFile(dir.file("areas.cfg"),
            "EchoArea CUTS cuts -b squish\nEchoArea CUTJ cutj -b jam\nEchoArea NEXT next -b "
            "squish\n");
  const std::vector<Cut> cuts = {{Moment::indexOpening, &squish, "cuts", pageSize},
                                 {Moment::indexOpening, &jam, "cutj", 2000}};
  const std::optional<FinishedRun> done =
      cutTraced(cuts, {"-hpt", "-jam", "areas.cfg"}, dir, KNOTTER_BINARY);
  if (!done) GTEST_SKIP() << "system calls cannot be traced here";
  EXPECT_EQ(done->result.exitCode, 1);
  EXPECT_EQ(done->result.out, banner +
                                  "Linking areas\n"
                                  "Linking CUTS\r! Error reading CUTS. Area is possibly damaged\n"
                                  "Linking CUTJ\r! Error reading CUTJ. Area is possibly damaged\n"
                                  "Linking NEXT: 3 of 3\n");
  EXPECT_EQ(readFile(sqd(dir.file("cuts"))), squishBefore.substr(0, pageSize));
  EXPECT_EQ(readFile(jhr(dir.file("cutj"))), jamBefore.substr(0, 2000));
}

// The inspector reads under the same guard: the guard line, exit 1.
void expectInspectorReportsTheCut(const LinkCutCase& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  const std::string before = writeCutBase(*c.cut.format, dir, "cut");
  const std::vector<std::string> args = {"--check", &jam == c.cut.format ? "cut.jhr" : "cut"};
  const std::optional<FinishedRun> done = runAndCut({c.cut}, args, dir, KNOTTER_DUMP_BINARY);
  if (!done) GTEST_SKIP() << "system calls cannot be traced here";
  EXPECT_EQ(done->result.exitCode, 1);
  EXPECT_EQ(done->result.out, "! Error reading cut. Area is possibly damaged\n");
  EXPECT_EQ(readFile(dataFile(dir, c.cut)), before.substr(0, c.cut.size));
}

TEST(TruncatedBase, InspectorReportsASquishBaseCutWhileItWaits) {
  const LinkCutCase cases[] = {
      {"cut at a page boundary", {Moment::indexLockWait, &squish, "cut", pageSize}},
      {"cut inside a page", {Moment::indexLockWait, &squish, "cut", 2000}},
  };
  for (const LinkCutCase& c : cases) expectInspectorReportsTheCut(c);
}

TEST(TruncatedBase, InspectorReportsABaseCutAtASystemCall) {
  const LinkCutCase cases[] = {
      {"Squish, cut to nothing as it is mapped", {Moment::dataMapping, &squish, "cut", 0}},
      {"JAM, cut to nothing as it is mapped", {Moment::dataMapping, &jam, "cut", 0}},
      {"JAM, cut inside a page before the index is read",
       {Moment::indexOpening, &jam, "cut", 2000}},
  };
  for (const LinkCutCase& c : cases) {
    expectInspectorReportsTheCut(c);
    if (testing::Test::IsSkipped()) return;
  }
}

}  // namespace
}  // namespace ktest
