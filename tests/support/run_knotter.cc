#include "support/run_knotter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <regex>
#include <stdexcept>

#include "support/files.h"

namespace ktest {
namespace {

constexpr int timeoutSeconds = 60;

const std::regex& stampPattern() {
  static const std::regex pattern(
      "^(0[1-9]|[12][0-9]|3[01]) "
      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{2}  "
      "([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9] (\\[[ 0-9][0-9]\\] )?");
  return pattern;
}

// The argument vector is built before the fork, so that the child only
// redirects its descriptors and executes.
std::vector<char*> argumentVector(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
}

[[noreturn]] void execChild(char* const* argv, const std::filesystem::path& workDir, int outFd,
                            int errFd) {
  int nullFd = open("/dev/null", O_RDONLY);
  if (nullFd < 0 || dup2(nullFd, 0) < 0 || dup2(outFd, 1) < 0 ||
      dup2(errFd, 2) < 0 || chdir(workDir.c_str()) != 0) {
    _exit(127);
  }
  execv(argv[0], argv);
  _exit(127);
}

// Reads both pipes until they close, so that neither can fill up and block
// the child; gives up after the time-out.
bool drain(int outFd, int errFd, RunResult& result) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  time_t deadline = time(nullptr) + timeoutSeconds;
  int openCount = 2;
  while (openCount > 0) {
    if (time(nullptr) > deadline) return false;
    int ready = poll(fds, 2, 1000);
    if (ready < 0 && errno != EINTR) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --openCount;
      }
    }
  }
  return true;
}

}  // namespace

RunResult runKnotter(const std::vector<std::string>& args,
                     const std::filesystem::path& workDir) {
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> words = {KNOTTER_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv = argumentVector(words);
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) execChild(argv.data(), workDir, outPipe[1], errPipe[1]);
  close(outPipe[1]);
  close(errPipe[1]);
  RunResult result;
  bool finished = drain(outPipe[0], errPipe[0], result);
  close(outPipe[0]);
  close(errPipe[0]);
  if (!finished) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exitCode = 128 + WTERMSIG(status);
  }
  return result;
}

bool hasStamp(const std::string& line) {
  return std::regex_search(line, stampPattern());
}

std::string stripStamp(const std::string& line) {
  std::smatch match;
  if (!std::regex_search(line, match, stampPattern())) return line;
  return line.substr(static_cast<size_t>(match.length(0)));
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> readLogLines(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) return {};
  std::vector<std::string> lines = splitLines(readFile(path));
  for (std::string& line : lines) line = stripStamp(line);
  return lines;
}

}  // namespace ktest
