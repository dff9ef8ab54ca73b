#include "log/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "config/settings.h"

namespace knotter {
namespace {

constexpr const char* monthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Large enough for the prefix, any message text and a full-length path, so
// that in practice nothing is cut; vsnprintf cuts whatever would not fit.
constexpr std::size_t messageBufferSize = 8192;

// Holds the log file open for exactly one line, so that other programs can
// append to the same file between our lines.
struct LogFile {
  int fd = -1;
  explicit LogFile(const char* path)
      : fd(::open(path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
  ~LogFile() {
    if (fd >= 0) ::close(fd);
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
};

void writeAll(int fd, const char* text, std::size_t length) {
  // Write errors are not reported: there is nowhere left to report them.
  while (length > 0) {
    const ssize_t n = ::write(fd, text, length);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

bool reachesConsole(std::int32_t level) {
  return !settings.quiet && (level <= 8 || settings.logLevel > 8);
}

}  // namespace

std::size_t logPrefix(std::int32_t level, char* out) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  int n = std::snprintf(out, logPrefixMax, "%02u %s %02u  %02u:%02u:%02u ",
                        static_cast<unsigned>(local.tm_mday), monthNames[local.tm_mon % 12],
                        static_cast<unsigned>(local.tm_year % 100),
                        static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                        static_cast<unsigned>(local.tm_sec));
  if (settings.showLogLevel) {
    n += std::snprintf(out + n, logPrefixMax - static_cast<std::size_t>(n), "[%2u] ",
                       static_cast<unsigned>(level));
  }
  return static_cast<std::size_t>(n);
}

void logWrite(std::int32_t level, const char* text, bool withPrefix) {
  if (settings.logPath[0] == '\0' || level > settings.logLevel) return;
  LogFile file(settings.logPath);
  if (file.fd < 0) {
    const int error = errno;
    // Forget the log file for the rest of the run, so the failure is reported once.
    char failedPath[pathBufferSize];
    std::memcpy(failedPath, settings.logPath, sizeof failedPath);
    settings.logPath[0] = '\0';
    logMessage(levelError, "! Cannot open log file: %s (%u)", failedPath,
               static_cast<unsigned>(error));
    return;
  }
  if (settings.firstLogWrite) {
    settings.firstLogWrite = false;
    // Each run's block of lines is set apart by an empty line: before it, or
    // in HPT mode (sharing the tosser's log) after it.
    if (!settings.hptMode) writeAll(file.fd, "\n", 1);
  }
  if (withPrefix) {
    char prefix[logPrefixMax];
    writeAll(file.fd, prefix, logPrefix(level, prefix));
  }
  writeAll(file.fd, text, std::strlen(text));
  writeAll(file.fd, "\n", 1);
}

void logMessage(std::int32_t level, const char* format, ...) {
  char line[messageBufferSize];
  const std::size_t prefixLength = logPrefix(level, line);
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + prefixLength, sizeof line - prefixLength, format, args);
  va_end(args);

  if (reachesConsole(level)) {
    // A message overwrites an open progress line instead of trailing it.
    if (settings.progressPending) {
      std::fputs("\r", stdout);
      settings.progressPending = false;
    }
    std::fputs(line + prefixLength, stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
  }
  logWrite(level, line, false);
}

void consoleWrite(const char* text) {
  if (settings.quiet) return;
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace knotter
