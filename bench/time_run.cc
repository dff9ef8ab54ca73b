// knotter-time-run: runs a program and prints its wall time in seconds, its
// peak resident memory in KiB (ru_maxrss of that child alone) and its exit
// status, as "<seconds> <kib> <status>". The child's standard output goes to
// /dev/null so that console text costs the same on every run; its standard
// error is kept.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

double now() {
  timespec stamp{};
  ::clock_gettime(CLOCK_MONOTONIC, &stamp);
  return static_cast<double>(stamp.tv_sec) + static_cast<double>(stamp.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: knotter-time-run <program> [arguments...]\n", stderr);
    return 2;
  }
  const double start = now();
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("knotter-time-run: fork");
    return 2;
  }
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    ::execvp(argv[1], argv + 1);
    std::perror("knotter-time-run: exec");
    ::_exit(127);  // the child must not run the parent's exit handlers
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) {
    std::perror("knotter-time-run: wait");
    return 2;
  }
  const double seconds = now() - start;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %ld %d\n", seconds, static_cast<long>(usage.ru_maxrss), code);
  return 0;
}
