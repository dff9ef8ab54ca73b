// Runs the built knotter-dump as a child process in a test's directory and
// captures its exit code, standard output and standard error.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/temp_dir.h"

namespace ktest {

struct DumpResult {
  int exitCode = -1;  // exit status, or 128 + signal number when killed
  std::string out{};
  std::string err{};
};

// Runs KNOTTER_DUMP_BINARY with `args` in `workDir`, stdin from /dev/null.
// The output goes through files, so that no pipe can fill up.
inline DumpResult runDump(const std::vector<std::string>& args,
                          const std::filesystem::path& workDir) {
  const TempDir capture;
  const std::string outPath = capture.file("out");
  const std::string errPath = capture.file("err");
  std::string program = KNOTTER_DUMP_BINARY;
  std::vector<std::string> copies = args;
  std::vector<char*> argv{program.data()};
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0 || chdir(workDir.c_str()) != 0) {
      _exit(127);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  DumpResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

}  // namespace ktest
