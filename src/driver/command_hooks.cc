#include "driver/command_hooks.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/file_descriptor.h"
#include "base/file_io.h"
#include "base/text_input.h"
#include "log/area_reports.h"
#include "log/log.h"

namespace knotter {

FlagList flagList;

namespace {

constexpr std::size_t maxCommandLogLine = 2047;
constexpr std::size_t maxFlagLineLength = 4095;
constexpr int failedExitStatus = 127;  // the shell's "command not found" and above

// What the shell reads as syntax in a word: separators, expansions, quotes,
// redirections, globs (which would hand the command every file name of the
// working directory), a comment and a home directory. A backslash stays
// allowed, since DOS-style paths need it.
constexpr std::string_view shellSyntax = ";&|$()<>'\"`*?[]~#{}";

// Reads the flags file line by line through one buffer. Lines end at a line
// feed only; the first carriage return of a line is dropped, so that files
// written with CR LF work.
struct FlagsFileReader : FileDescriptor {
  char buffer[4096];
  std::size_t position = 0;
  std::size_t length = 0;

  explicit FlagsFileReader(const char* path) : FileDescriptor(openTextInput(path)) {}
};

bool nextByte(FlagsFileReader& reader, char& c) {
  if (reader.position == reader.length) {
    const ssize_t count = readSome(reader.fd, reader.buffer, sizeof reader.buffer);
    if (count <= 0) return false;  // a read error ends the file as well
    reader.position = 0;
    reader.length = static_cast<std::size_t>(count);
  }
  c = reader.buffer[reader.position++];
  return true;
}

// Returns false at the end of the file when no character of a line is left.
bool nextFlagLine(FlagsFileReader& reader, std::string& line) {
  line.clear();
  bool anyCharacter = false;
  bool carriageReturnDropped = false;
  char c;
  while (nextByte(reader, c)) {
    if (c == '\n') return true;
    anyCharacter = true;
    if (c == '\r' && !carriageReturnDropped) {
      carriageReturnDropped = true;
      continue;
    }
    if (line.size() < maxFlagLineLength) line += c;
  }
  return anyCharacter;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// "<flag path> <command>": false for a line without both parts, and for one
// that holds a NUL byte, which would cut the path or the command short.
bool parseFlagLine(std::string_view line, FlagEntry& entry) {
  if (line.find('\0') != std::string_view::npos) return false;
  std::size_t at = 0;
  while (at < line.size() && isBlank(line[at])) ++at;
  const std::size_t pathStart = at;
  while (at < line.size() && !isBlank(line[at])) ++at;
  if (at == line.size()) return false;
  const std::string_view flagPath = line.substr(pathStart, at - pathStart);
  while (at < line.size() && isBlank(line[at])) ++at;
  std::size_t end = line.size();
  while (end > at && isBlank(line[end - 1])) --end;
  if (end == at) return false;
  entry.command = line.substr(at, end - at);

  const std::size_t slash = flagPath.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? flagPath : flagPath.substr(slash + 1);
  entry.wildcard = name.find_first_of("*?") != std::string_view::npos;
  if (!entry.wildcard) {
    entry.flagPath = flagPath;
    entry.pattern.clear();
    return true;
  }
  entry.pattern = name;
  // A pattern right under "/" is looked for in the root directory, not in
  // the current one.
  if (slash == std::string_view::npos) {
    entry.flagPath.clear();
  } else {
    entry.flagPath = flagPath.substr(0, slash == 0 ? 1 : slash);
  }
  return true;
}

// Owns an open directory stream.
struct Directory {
  DIR* stream;
  explicit Directory(const char* path) : stream(::opendir(path)) {}
  ~Directory() {
    if (stream != nullptr) ::closedir(stream);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
};

bool anyEntryMatches(const FlagEntry& entry) {
  std::string dir = entry.flagPath.empty() ? std::string(".") : entry.flagPath;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const Directory directory(dir.c_str());
  if (directory.stream == nullptr) return false;
  while (const dirent* item = ::readdir(directory.stream)) {
    if (::fnmatch(entry.pattern.c_str(), item->d_name, 0) == 0) return true;
  }
  return false;
}

void reportFailedCommand(const char* commandLine) {
  logMessage(levelError, "! Failed command: %s", commandLine);
}

}  // namespace

bool runCommand(const char* commandLine) {
  std::string line = "Running command: ";
  line += commandLine;
  if (line.size() > maxCommandLogLine) line.resize(maxCommandLogLine);
  logWrite(levelDetail, line.c_str(), true);

  const int status = std::system(commandLine);
  const bool succeeded =
      status != -1 && WIFEXITED(status) && WEXITSTATUS(status) < failedExitStatus;
  if (!succeeded) {
    reportFailedCommand(commandLine);
    return false;
  }
  char result[64];
  std::snprintf(result, sizeof result, "The command has exited with code %d", WEXITSTATUS(status));
  logWrite(levelDetail, result, true);
  return true;
}

bool safeInCommand(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (shellSyntax.find(c) != std::string_view::npos) return false;
  }
  return true;
}

std::string expandAreaCommand(const char* commandTemplate, const char* areaTag,
                              const char* dataFilePath, bool* shellSafe) {
  if (shellSafe != nullptr) *shellSafe = true;
  // Only what is put into the line counts: a template without %a takes any tag.
  const auto paste = [&](std::string& command, const char* value) {
    command += value;
    if (shellSafe != nullptr && !safeInCommand(value)) *shellSafe = false;
  };
  std::string command;
  for (const char* c = commandTemplate; *c != '\0'; ++c) {
    if (*c != '%') {
      command += *c;
      continue;
    }
    if (c[1] == '\0') break;  // a lone '%' at the end stands for nothing
    ++c;
    if (*c == 'a') {
      paste(command, areaTag);
    } else if (*c == 'p') {
      paste(command, dataFilePath);
    } else {
      command += '%';
      command += *c;
    }
  }
  return command;
}

void runAreaCommand(const char* commandTemplate, const char* areaTag, const char* dataFilePath) {
  bool shellSafe = true;
  const std::string command =
      expandAreaCommand(commandTemplate, areaTag, dataFilePath, &shellSafe);
  // Tags can come from a remote system (a tosser creates areas for them), so
  // a tag or path that the shell would read as syntax never reaches it.
  if (!shellSafe) {
    reportFailedCommand(command.c_str());
    return;
  }
  runCommand(command.c_str());
}

void readFlagsFile(const char* path) {
  FlagsFileReader reader(path);
  if (reader.fd < 0) {
    reportCannotOpen(path, errno);
    return;
  }
  std::string line;
  while (nextFlagLine(reader, line)) {
    FlagEntry entry;
    if (parseFlagLine(line, entry)) flagList.push_back(std::move(entry));
  }
}

bool flagExists(const FlagEntry& entry) {
  if (entry.wildcard) return anyEntryMatches(entry);
  struct stat status {};
  return ::stat(entry.flagPath.c_str(), &status) == 0;
}

void runFlagCommands() {
  for (const FlagEntry& entry : flagList) {
    if (flagExists(entry)) runCommand(entry.command.c_str());
  }
}

}  // namespace knotter
