// Feeds arbitrary configuration text to readConfig. The first input byte
// chooses the command-line settings the reader consults (-hpt, -$, -f, -t,
// -a); the rest is written to a file in a directory of this process, once
// per input. Include lines are pointed at that file itself, so that no other
// file is ever read. The process-wide settings and tables are reset before
// every input. Checks: the reader returns true and leaves tables whose
// records keep the limits of their buffers.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/area_table.h"
#include "config/config_reader.h"
#include "config/path_resolver.h"
#include "config/settings.h"
#include "config/text.h"
#include "write_all.h"

namespace {

constexpr const char* configName = "fuzz.cfg";
std::string directory;  // with a trailing '/'
std::string configPath;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// The text with the arguments of every Include line replaced by the name of
// the configuration file itself.
std::string pointIncludesAtSelf(const char* text, std::size_t size) {
  std::string result;
  std::size_t at = 0;
  while (at < size) {
    std::size_t end = at;
    while (end < size && !isLineEnd(text[end])) ++end;
    std::size_t word = at;
    while (word < end && isBlank(text[word])) ++word;
    std::size_t wordEnd = word;
    while (wordEnd < end && !isBlank(text[wordEnd])) ++wordEnd;
    const std::string_view keyword(text + word, wordEnd - word);
    if (knotter::equalsNoCase(keyword, "Include")) {
      result.append("Include ").append(configName);
    } else {
      result.append(text + at, end - at);
    }
    if (end < size) result += text[end];  // the line's terminator
    at = end + 1;
  }
  return result;
}

void writeConfig(const std::string& text) {
  const int fd = ::open(configPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  writeAllOrAbort(fd, text.data(), text.size());
  ::close(fd);
}

// Puts the process-wide state back to that of a fresh run and applies the
// command-line settings chosen by the options byte.
void resetRun(std::uint8_t options) {
  knotter::resetSettings();
  knotter::areaTable.clear();
  knotter::pathMapList.clear();
  knotter::copyCut(knotter::baseDir, directory, knotter::maxPathLength);
  knotter::settings.quiet = true;
  knotter::settings.hptMode = (options & 1) != 0;
  knotter::settings.onlyDollarAreas = (options & 2) != 0;
  knotter::settings.listMode = (options & 4) != 0;
  knotter::settings.cmdLinkType = (options >> 3) & 3;  // 0 = no -t, else TimEd to Reply
  if ((options & 0x20) != 0) {
    knotter::settings.onlyArea = "FIDO";
    // A run with -a reports areas that are not Squish bases; an absolute
    // log path that no configuration line can replace keeps those lines
    // from going anywhere.
    knotter::copyCut(knotter::settings.logPath, "/dev/null", knotter::maxPathLength);
  }
}

// A token of NUL bytes reads as an empty text, so empty ones are allowed.
bool withinLimit(const std::string& text, std::size_t limit) {
  return text.size() <= limit;
}

bool isToken(const std::string& text) {
  for (const char c : text) {
    if (isBlank(c) || isLineEnd(c)) return false;
  }
  return true;
}

void checkTables() {
  const knotter::Settings& s = knotter::settings;
  for (const knotter::AreaRecord& area : knotter::areaTable) {
    if (!withinLimit(area.tag, knotter::maxTagLength) || !isToken(area.tag)) std::abort();
    // One character over the limit marks a longer path, refused when linked.
    if (!withinLimit(area.path, knotter::maxPathLength + 1) || !isToken(area.path)) std::abort();
    if (area.linkType < 0 || area.linkType > knotter::linkSubj) std::abort();
    if (s.hptMode && area.linkType != 0) std::abort();  // no own link types in HPT mode
    if (s.onlyArea != nullptr && !knotter::equalsNoCase(area.tag, s.onlyArea)) std::abort();
  }
  for (const knotter::PathMapping& mapping : knotter::pathMapList) {
    if (!withinLimit(mapping.from, knotter::maxPathLength)) std::abort();
    if (!withinLimit(mapping.to, knotter::maxPathLength)) std::abort();
  }
  if (s.linkType < knotter::linkTimEd || s.linkType > knotter::linkSubj) std::abort();
  if (std::memchr(s.logPath, 0, knotter::maxPathLength + 1) == nullptr) std::abort();
  if (s.listPath != nullptr && (s.listPath != s.importLogPath || !s.listMode || !s.hptMode)) {
    std::abort();
  }
  if (std::memchr(s.importLogPath, 0, knotter::maxPathLength + 1) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/knotter-config-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  directory = std::string(pattern) + "/";
  configPath = directory + configName;
  std::atexit([] {
    ::unlink(configPath.c_str());
    ::rmdir(directory.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  writeConfig(pointIncludesAtSelf(reinterpret_cast<const char*>(data + 1), size - 1));
  resetRun(data[0]);
  if (!knotter::readConfig(configPath.c_str())) std::abort();
  checkTables();
  return 0;
}
