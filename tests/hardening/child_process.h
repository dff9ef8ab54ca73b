// Real second processes for the hardening tests: the tool (or the inspector)
// started in the background (optionally with a memory limit), a forked child
// that holds a record lock on a file, and looks at the kernel's lock table
// and at the tool's mappings to see it wait for a lock with a base mapped.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/run_knotter.h"

namespace ktest {

// The tool's build has AddressSanitizer when this test binary has it; its
// allocator then needs options of its own to let a huge allocation fail.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool underAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool underAsan = true;
#else
inline constexpr bool underAsan = false;
#endif
#else
inline constexpr bool underAsan = false;
#endif

using Clock = std::chrono::steady_clock;

struct SpawnOptions {
  // Address space limit of the tool in bytes; 0 for none. Under the
  // sanitizer, whose shadow memory needs far more address space, the limit
  // only caps what goes through the sanitizer's allocator, and lets it fail
  // instead of ending the process.
  std::uint64_t memoryLimit = 0;
  // Run in the child just before the tool starts, after its standard
  // descriptors are set: to hand it a signal state, for instance.
  void (*inChild)() = nullptr;
  // The binary to run: knotter, or KNOTTER_DUMP_BINARY for the inspector.
  const char* program = KNOTTER_BINARY;
};

// The tool running in the background; its standard output and error go to
// files in the work directory.
struct BackgroundRun {
  pid_t pid = -1;
  std::filesystem::path out;
  std::filesystem::path err;
  Clock::time_point started{};
};

inline void limitMemoryInChild(std::uint64_t limit) {
  if (limit == 0) return;
  if (underAsan) {
    const char* old = std::getenv("ASAN_OPTIONS");
    std::string options = old != nullptr ? std::string(old) + ":" : std::string();
    options += "allocator_may_return_null=1:max_allocation_size_mb=" +
               std::to_string(limit >> 20);
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    return;
  }
  const rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
  if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(126);
}

// Starts the tool with args in workDir; `name` tells the output files apart.
inline BackgroundRun startKnotter(const std::vector<std::string>& args,
                                  const std::filesystem::path& workDir, const std::string& name,
                                  const SpawnOptions& options = {}) {
  BackgroundRun run;
  run.out = workDir / (name + ".out");
  run.err = workDir / (name + ".err");
  run.started = Clock::now();
  run.pid = fork();
  if (run.pid < 0) throw std::runtime_error("fork failed");
  if (run.pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0 || chdir(workDir.c_str()) != 0) {
      _exit(127);
    }
    limitMemoryInChild(options.memoryLimit);
    if (options.inChild != nullptr) options.inChild();
    std::vector<std::string> copies = args;
    std::string program = options.program;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return run;
}

struct FinishedRun {
  RunResult result;
  std::chrono::milliseconds elapsed{};
};

// Waits for the tool (killing it after `limit`) and collects its output.
inline FinishedRun finishKnotter(BackgroundRun& run,
                                 std::chrono::seconds limit = std::chrono::seconds(60)) {
  FinishedRun finished;
  int status = 0;
  const auto deadline = Clock::now() + limit;
  bool killed = false;
  for (;;) {
    const pid_t done = waitpid(run.pid, &status, WNOHANG);
    if (done == run.pid) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (!killed && Clock::now() > deadline) {
      kill(run.pid, SIGKILL);
      killed = true;
      ADD_FAILURE() << "the tool did not finish within " << limit.count() << " seconds";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  finished.elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - run.started);
  run.pid = -1;
  finished.result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  finished.result.out = readFile(run.out);
  finished.result.err = readFile(run.err);
  return finished;
}

inline FinishedRun runKnotterWith(const std::vector<std::string>& args,
                                  const std::filesystem::path& workDir,
                                  const SpawnOptions& options) {
  BackgroundRun run = startKnotter(args, workDir, "run", options);
  return finishKnotter(run);
}

// A forked child that takes a record lock over the whole of a file (or over
// length bytes from start) and holds it until it is released or the holder
// goes out of scope. The constructor returns once the lock is held.
struct LockHolder {
  pid_t pid = -1;

  LockHolder(const std::filesystem::path& file, short lockType, off_t start = 0,
             off_t length = 0) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      close(ready[0]);
      const int fd = open(file.c_str(), lockType == F_WRLCK ? O_RDWR : O_RDONLY);
      struct flock lock {};
      lock.l_type = lockType;
      lock.l_whence = SEEK_SET;
      lock.l_start = start;
      lock.l_len = length;
      const char answer = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'L' : 'E';
      if (write(ready[1], &answer, 1) != 1 || answer != 'L') _exit(1);
      for (;;) pause();  // until killed; the kernel then drops the lock
    }
    close(ready[1]);
    char answer = 0;
    const bool locked = read(ready[0], &answer, 1) == 1 && answer == 'L';
    close(ready[0]);
    if (!locked) ADD_FAILURE() << "the child could not lock " << file;
  }
  ~LockHolder() { release(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  // Ends the child, which releases its lock.
  void release() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
  }
};

// True when the kernel lists process `pid` as waiting for a record lock.
inline bool waitsForLock(pid_t pid) {
  std::ifstream locks("/proc/locks");
  std::string line;
  const std::string owner = " " + std::to_string(pid) + " ";
  while (std::getline(locks, line)) {
    if (line.find("-> POSIX") != std::string::npos && line.find(owner) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// True when process `pid` has `file` mapped (its canonical path is listed
// in the kernel's table of the process's mappings).
inline bool mapsFile(pid_t pid, const std::filesystem::path& file) {
  std::error_code error;
  const std::string path = std::filesystem::canonical(file, error).string();
  if (error) return false;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.ends_with(" " + path)) return true;
  }
  return false;
}

// Waits until `condition` holds, checking every few milliseconds; false after
// the time-out.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ktest
