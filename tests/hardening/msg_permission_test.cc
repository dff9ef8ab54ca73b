// A *.MSG area run by a user who may not write its files: the first such
// file, in ascending number, gives the area up before anything is written,
// even files the user could write; a directory the user may not read is
// reported with its path. Run as root, the tool is started as "nobody";
// where the machine does not allow that, the test says so and is skipped.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardening/child_process.h"
#include "support/files.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

constexpr uid_t nobody = 65534;
constexpr gid_t nogroup = 65534;

void becomeNobody() {
  if (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0) _exit(126);
}

// As root: whether a child can become nobody and then run the tool (a build
// below a directory that only root may enter cannot be run so). Otherwise
// the test runs as the user it is, who owns the files it makes.
bool canDropToNobody() {
  const pid_t pid = fork();
  if (pid == 0) {
    becomeNobody();
    _exit(::access(KNOTTER_BINARY, X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

struct Runner {
  bool asNobody = false;
  // Makes path belong to the user the tool runs as (nothing to do when
  // that is the test's own user).
  void give(const std::filesystem::path& path) const {
    if (asNobody) {
      ASSERT_EQ(::chown(path.c_str(), nobody, nogroup), 0);
    }
  }
  RunResult run(const std::vector<std::string>& args, const std::filesystem::path& dir) const {
    return runKnotterWith(args, dir, {.inChild = asNobody ? becomeNobody : nullptr}).result;
  }
};

// Sets up the runner, or says why the test cannot run.
bool prepare(Runner& runner, const TempDir& dir) {
  if (::geteuid() != 0) return true;  // files the user owns, with mode 0444, are enough
  if (!canDropToNobody()) return false;
  runner.asNobody = true;
  // The tool must reach the test's directory and the files of its output.
  EXPECT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  return true;
}

std::string reportOf(const std::string& report) {
  return banner + "Linking areas\nLinking area\r" + report + "\n";
}

TEST(MsgPermission, AFileWithoutWritePermissionGivesTheAreaUpBeforeAnyWrite) {
  TempDir dir;
  Runner runner;
  if (!prepare(runner, dir)) GTEST_SKIP() << "cannot run " KNOTTER_BINARY " as nobody here";
  const auto area = dir.file("area");
  std::filesystem::create_directory(area);
  runner.give(area);
  writeMsgFile(area, "2.msg", {.text = msgText({msgIdKludge(2)}), .replyTo = 9});
  writeMsgFile(area, "3.msg", {.text = msgText({msgIdKludge(3), replyKludge(2)})});
  writeMsgFile(area, "4.msg", {.text = msgText({msgIdKludge(4), replyKludge(2)})});
  for (const char* name : {"2.msg", "4.msg"}) runner.give(area / name);
  // The user may read 3.msg but not write it; 2.msg and 4.msg are its own.
  ASSERT_EQ(::chmod((area / "3.msg").c_str(), 0444), 0);
  std::vector<std::string> before;
  for (const char* name : {"2.msg", "3.msg", "4.msg"}) before.push_back(readFile(area / name));

  const RunResult run = runner.run({"-#area/"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, reportOf("! Cannot open file area/3.msg (13)"));
  std::vector<std::string> after;
  for (const char* name : {"2.msg", "3.msg", "4.msg"}) after.push_back(readFile(area / name));
  EXPECT_EQ(after, before);
}

TEST(MsgPermission, ADirectoryTheUserMayNotReadIsReportedWithItsPath) {
  TempDir dir;
  Runner runner;
  if (!prepare(runner, dir)) GTEST_SKIP() << "cannot run " KNOTTER_BINARY " as nobody here";
  const auto area = dir.file("area");
  std::filesystem::create_directory(area);
  writeMsgFile(area, "2.msg", {.text = msgText({msgIdKludge(2)}), .replyTo = 9});
  ASSERT_EQ(::chmod(area.c_str(), 0300), 0);  // searchable and writable, not readable
  const RunResult run = runner.run({"-#area/"}, dir.path());
  ::chmod(area.c_str(), 0755);
  EXPECT_EQ(run.out, reportOf("! Cannot open file area/ (13)"));
  EXPECT_EQ(readMsgLinks(area / "2.msg"), (MsgLinks{9, 0}));
}

}  // namespace
}  // namespace ktest
