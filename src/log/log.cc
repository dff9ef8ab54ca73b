#include "log/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/file_descriptor.h"
#include "base/file_io.h"
#include "config/settings.h"
#include "config/text.h"

namespace knotter {
namespace {

// What the log knows of the run so far.
struct LogState {
  bool firstLogWrite = true;    // nothing written to the log file yet
  bool progressPending = false; // a progress text is on the console without its line end
};

LogState logState;

constexpr const char* monthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Large enough for the prefix, any message text and a full-length path, so
// that in practice nothing is cut; vsnprintf cuts whatever would not fit.
constexpr std::size_t messageBufferSize = 8192;

// A log line: the separating line end, a time stamp, a message and its line end.
constexpr std::size_t logLineSize = 1 + logPrefixMax + messageBufferSize + 1;

// Holds the log file open for exactly one line, so that other programs can
// append to the same file between our lines.
struct LogFile : FileDescriptor {
  explicit LogFile(const char* path)
      : FileDescriptor(::open(path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
};

// Says once, on standard error (the console may be quiet or gone), that the
// log file cannot be written, and forgets it for the rest of the run. A file
// that cannot be opened is also reported on the console, as it always was.
void giveUpLogFile(int error, bool opening) {
  char failedPath[pathBufferSize];
  std::memcpy(failedPath, settings.logPath, sizeof failedPath);
  settings.logPath[0] = '\0';
  settings.logPathTooLong = false;
  char report[pathBufferSize + 256];
  const int n = std::snprintf(report, sizeof report, "knotter: cannot write log file %s: %s\n",
                              failedPath, std::strerror(error));
  if (n > 0) writeAll(STDERR_FILENO, report, std::min(sizeof report - 1, static_cast<std::size_t>(n)));
  if (opening) {
    logMessage(levelError, "! Cannot open log file: %s (%u)", failedPath,
               static_cast<unsigned>(error));
  }
}

// The whole line as one block (the run's separating line end, the time stamp,
// the text, the line end), so that it reaches the file with a single write
// and never interleaves with the lines of other programs. Returns its length.
std::size_t buildLogLine(std::int32_t level, const char* text, bool withPrefix, char* out,
                         std::size_t size) {
  std::size_t used = 0;
  // Each run's block of lines is set apart by an empty line: before it, or
  // in HPT mode (sharing the tosser's log) after it.
  if (logState.firstLogWrite && !settings.hptMode) out[used++] = '\n';
  if (withPrefix) used += logPrefix(level, out + used);
  used += copyCut(out + used, text, size - used - 2);
  out[used++] = '\n';
  return used;
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
  if (settings.logPathTooLong) {
    giveUpLogFile(ENAMETOOLONG, true);
    return;
  }
  LogFile file(settings.logPath);
  if (file.fd < 0) {
    giveUpLogFile(errno, true);
    return;
  }
  char line[logLineSize];
  const std::size_t length = buildLogLine(level, text, withPrefix, line, sizeof line);
  if (!writeAll(file.fd, line, length)) {
    giveUpLogFile(errno, false);
    return;
  }
  logState.firstLogWrite = false;
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
    const std::size_t textLength = std::strlen(line + prefixLength);
    char console[messageBufferSize + 2];
    std::size_t used = 0;
    if (logState.progressPending) {
      console[used++] = '\r';
      logState.progressPending = false;
    }
    used += copyCut(console + used, {line + prefixLength, textLength}, sizeof console - used - 2);
    console[used++] = '\n';
    consoleOut({console, used});
  }
  logWrite(level, line, false);
}

void consoleOut(std::string_view text) {
  // Output that cannot be written (a closed pipe, a full disk) is dropped:
  // the console is a courtesy, linking and the log go on.
  writeAll(STDOUT_FILENO, text.data(), text.size());
}

void consoleWrite(const char* text) {
  if (!settings.quiet) consoleOut(text);
}

void showProgress(const char* text) {
  if (settings.quiet) return;
  consoleOut(text);
  logState.progressPending = true;
}

void endProgress(const char* text) {
  if (settings.quiet) return;
  consoleOut(text);
  logState.progressPending = false;
}

bool logFileWritten() { return !logState.firstLogWrite; }

void resetLog() { logState = LogState{}; }

}  // namespace knotter
