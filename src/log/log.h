// The log facility: every line the tool reports goes through here. The console
// shows the bare text, the log file the same text behind a time stamp; the
// level decides which of the two a line reaches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace knotter {

constexpr std::int32_t levelError = 1;
constexpr std::int32_t levelStart = 4;
constexpr std::int32_t levelDetail = 9;
constexpr std::int32_t levelAlways = -1;

// Writes the time stamp prefix ("%02u %s %02u  %02u:%02u:%02u ", then
// "[%2u] " with the level when LogLevelShow is on) into out, which must hold
// at least logPrefixMax bytes. Returns the number of characters written.
constexpr std::size_t logPrefixMax = 64;
std::size_t logPrefix(std::int32_t level, char* out);

// Appends one line to the log file with a single write (nothing to the
// console). Does nothing when there is no log file or the level is above
// LogLevel. When the file cannot be opened or written, says so once on
// standard error and writes no more log lines in this run.
void logWrite(std::int32_t level, const char* text, bool withPrefix);

// Formats a message (printf-style), echoes it to the console unless quiet or a
// detail line, and appends it with its time stamp to the log file.
void logMessage(std::int32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes text to the console (standard output) with write(2), so that it is in
// order with the output of commands; text that cannot be written is dropped.
void consoleOut(std::string_view text);

// Writes console text that is not a log message (banner, usage) unless quiet.
void consoleWrite(const char* text);

// Writes an area's progress text without a line end, unless quiet. The next
// console message overwrites it; endProgress completes it with text, which
// ends the line.
void showProgress(const char* text);
void endProgress(const char* text);

// True once a line has reached the log file in this run.
bool logFileWritten();

// Test hook: forgets the run's log state.
void resetLog();

}  // namespace knotter
