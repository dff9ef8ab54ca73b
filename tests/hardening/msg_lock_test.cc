// A *.MSG directory whose flock a real second process holds, as a second
// run of the tool would: linking waits about one second, reports the
// directory with the interrupted-call error and writes nothing; the
// inspector's shared lock keeps a linker out but not another inspector; and
// a finished run leaves the directory unlocked.
#include <fcntl.h>
#include <sys/file.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "hardening/child_process.h"
#include "support/files.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace ktest {
namespace {

// A forked child that holds flock(operation) on a directory until released.
struct FlockHolder {
  pid_t pid = -1;

  FlockHolder(const std::filesystem::path& dir, int operation) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      close(ready[0]);
      const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
      const char answer = fd >= 0 && flock(fd, operation | LOCK_NB) == 0 ? 'L' : 'E';
      if (write(ready[1], &answer, 1) != 1 || answer != 'L') _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    char answer = 0;
    const bool locked = read(ready[0], &answer, 1) == 1 && answer == 'L';
    close(ready[0]);
    if (!locked) ADD_FAILURE() << "the child could not lock " << dir;
  }
  ~FlockHolder() { release(); }
  FlockHolder(const FlockHolder&) = delete;
  FlockHolder& operator=(const FlockHolder&) = delete;

  void release() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
  }
};

// 2 and 3 reply to nothing and to 2: both change on a first link.
void writeArea(const std::filesystem::path& area) {
  std::filesystem::create_directory(area);
  writeMsgFile(area, "2.msg", {.text = msgText({msgIdKludge(2)})});
  writeMsgFile(area, "3.msg", {.text = msgText({msgIdKludge(3), replyKludge(2)})});
}

std::vector<std::string> contents(const std::filesystem::path& area) {
  return {readFile(area / "2.msg"), readFile(area / "3.msg")};
}

TEST(MsgLock, ADirectoryLockedByAnotherRunIsGivenUpAfterAboutOneSecond) {
  for (const int operation : {LOCK_EX, LOCK_SH}) {
    SCOPED_TRACE(operation == LOCK_EX ? "exclusive" : "shared");
    TempDir dir;
    writeArea(dir.file("area"));
    const std::vector<std::string> before = contents(dir.file("area"));
    FlockHolder holder(dir.file("area"), operation);
    BackgroundRun run = startKnotter({"-#area/", "-lrun.log"}, dir.path(), "run");
    const FinishedRun done = finishKnotter(run);
    holder.release();
    EXPECT_EQ(done.result.exitCode, 0);
    EXPECT_EQ(done.result.out, banner + "Linking areas\nLinking area\r! Cannot open file area/ (4)\n");
    EXPECT_GE(done.elapsed, std::chrono::milliseconds(900));
    EXPECT_EQ(contents(dir.file("area")), before);
    const std::vector<std::string> log = readLogLines(dir.file("run.log"));
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3], "! Cannot open file area/ (4)");

    // Once the other run is gone, the area links, and leaves the lock free.
    EXPECT_EQ(runKnotter({"-#area/"}, dir.path()).out, banner + "Linking areas\nLinking area: 2 of 2\n");
    FlockHolder after(dir.file("area"), LOCK_EX);
  }
}

TEST(MsgLock, TheInspectorSharesTheLockWithAnotherInspectorOnly) {
  TempDir dir;
  writeArea(dir.file("area"));
  {
    FlockHolder reader(dir.file("area"), LOCK_SH);
    const DumpResult shared = runDump({"--check", "area/"}, dir.path());
    EXPECT_EQ(shared.exitCode, 0);
    EXPECT_EQ(shared.out, "area: 2 messages, no damage found\n");
  }
  FlockHolder writer(dir.file("area"), LOCK_EX);
  const DumpResult locked = runDump({"--check", "area/"}, dir.path());
  EXPECT_EQ(locked.exitCode, 1);
  EXPECT_EQ(locked.out, "! Cannot open file area/ (4)\n");
}

}  // namespace
}  // namespace ktest
