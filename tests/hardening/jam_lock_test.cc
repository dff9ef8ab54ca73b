// The JAM lock with real second processes: the first byte of the header
// file, exclusive, waited for about one second, and held while a base is
// open.
#include <gtest/gtest.h>

#include "hardening/child_process.h"
#include "jam/jam_base.h"
#include "support/jam_base_builder.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// True when a forked child can take a write lock on byte 0 of file at once.
bool childCanLockFirstByte(const std::filesystem::path& file) {
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int fd = open(file.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    _exit(fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string openHere(const std::filesystem::path& base, knotter::JamBase& jam) {
  testing::internal::CaptureStdout();
  knotter::openJamBase(base.c_str(), "area", knotter::OpenFor::linking, jam);
  return testing::internal::GetCapturedStdout();
}

TEST(JamLock, WaitsAboutOneSecondForTheFirstByteOnly) {
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  writeJamBase({.messages = {{}}}, base);
  {
    LockHolder other(jhr(base), F_WRLCK, 0, 1);
    knotter::JamBase jam;
    const auto started = Clock::now();
    EXPECT_EQ(openHere(base, jam), "! Cannot open file " + jhr(base).string() + " (4)\n");
    const auto waited = Clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(3));
  }
  LockHolder rest(jhr(base), F_WRLCK, 1, 0);
  knotter::JamBase jam;
  EXPECT_EQ(openHere(base, jam), "");
}

TEST(JamLock, HeldWhileTheBaseIsOpen) {
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  writeJamBase({.messages = {{}}}, base);
  {
    knotter::JamBase jam;
    ASSERT_EQ(openHere(base, jam), "");
    EXPECT_FALSE(childCanLockFirstByte(jhr(base)));
  }
  EXPECT_TRUE(childCanLockFirstByte(jhr(base)));
}

}  // namespace
}  // namespace ktest
