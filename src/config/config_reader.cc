#include "config/config_reader.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_descriptor.h"
#include "base/text_input.h"
#include "config/area_line.h"
#include "config/area_table.h"
#include "config/line_reader.h"
#include "config/path_resolver.h"
#include "config/settings.h"
#include "config/text.h"

namespace knotter {
namespace {

// Include files nest at most this many levels below the configuration file;
// deeper ones are skipped like missing ones.
constexpr std::size_t maxIncludeDepth = 32;

constexpr const char* defaultLogName = "hpt.log";

// Identifies a file whatever name it was opened by.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;
};

// The files being read, outermost first: an Include of one of them would
// never end, so it is skipped.
struct IncludeChain {
  std::vector<FileId> files;
  OnlyAreaRefusal refuseOnlyArea = nullptr;
};

// Owns the descriptor of one configuration file while it is read.
struct ConfigFile : FileDescriptor {
  explicit ConfigFile(const char* path) : FileDescriptor(openTextInput(path)) {}
};

bool readConfigFile(const char* path, IncludeChain& chain);

// --- Keywords -------------------------------------------------------------

void areaLine(LineReader& reader, const char* keyword, IncludeChain& chain) {
  readAreaLine(reader, keyword, chain.refuseOnlyArea);
}

void echoAreaDefaultsLine(LineReader& reader, const char*, IncludeChain&) {
  readEchoAreaDefaults(reader);
}

void includeLine(LineReader& reader, const char*, IncludeChain& chain) {
  char name[pathTokenBufferSize];
  if (!nextFitToken(reader, name)) return;
  if (chain.files.size() > maxIncludeDepth) return;
  // A name that does not fit is skipped like a missing file, never read cut.
  char resolved[pathBufferSize];
  if (pathTokenTooLong(name) || !resolvePath(name, resolved)) return;
  readConfigFile(resolved, chain);  // a missing Include file is no error
}

void linkTypeLine(LineReader& reader, const char*, IncludeChain&) {
  // -t on the command line wins over the configuration.
  if (settings.cmdLinkType != 0) return;
  char word[maxTokenLength + 1];
  if (!nextFitToken(reader, word)) return;
  struct LinkTypeName {
    const char* name;
    std::int32_t linkType;
  };
  constexpr LinkTypeName names[] = {
      {"TimEd", linkTimEd}, {"Flat", linkFlat}, {"Reply", linkReply}, {"Subj", linkSubj}};
  for (const LinkTypeName& entry : names) {
    if (equalsNoCase(word, entry.name)) {
      settings.linkType = entry.linkType;
      return;
    }
  }
  // Any other word means "do not link": only areas with a link type of
  // their own are linked from here on, and those before it are dropped.
  settings.linkByDefault = false;
  removeAreasWithoutLinkType();
}

void logFileLine(LineReader& reader, const char*, IncludeChain&) {
  char path[pathTokenBufferSize];
  if (!nextFitToken(reader, path)) return;
  // The first one wins: -l, or an earlier LogFile or LogFileDir.
  if (settings.logPath[0] == '\0') {
    setLogPath(std::string_view(path).substr(0, maxTokenLength), pathTokenTooLong(path));
  }
}

// An optional sign, then digits up to the first other character; no digits
// give 0. Values beyond 32 bits are held at the nearest limit.
std::int32_t readDecimal(const char* text) {
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  std::int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value <= INT32_MAX) value = value * 10 + (*text - '0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

void logLevelLine(LineReader& reader, const char*, IncludeChain&) {
  char number[maxTokenLength + 1];
  if (nextFitToken(reader, number)) settings.logLevel = readDecimal(number);
}

void logLevelShowLine(LineReader&, const char*, IncludeChain&) { settings.showLogLevel = true; }

void mapPathLine(LineReader& reader, const char* keyword, IncludeChain&) {
  char from[maxPathLength + 1];
  char to[maxPathLength + 1];
  if (!nextFitToken(reader, from) || !nextFitToken(reader, to)) return;
  const bool soft = keyword[0] == 's' || keyword[0] == 'S';
  pathMapList.push_back(PathMapping{from, to, soft});
}

void importLogLine(LineReader& reader, const char*, IncludeChain&) {
  // Only a bare -f or -k in HPT mode asks for the tosser's import log.
  if (!settings.listMode || settings.listPath != nullptr) return;
  char path[pathTokenBufferSize];
  if (!nextFitToken(reader, path)) return;
  copyCut(settings.importLogPath, path, maxTokenLength);
  // A cut name is never opened: it is then taken as an area name, as the
  // name of a list file that cannot be opened is.
  settings.listPathTooLong = pathTokenTooLong(path);
  settings.listPath = settings.importLogPath;
}

// Puts our log into the tosser's log directory: the tosser's own log file
// unless a relative name of ours was given before.
void logFileDirLine(LineReader& reader, const char*, IncludeChain&) {
  if (isAbsolutePath(settings.logPath)) return;
  char dir[pathTokenBufferSize];
  if (!nextFitToken(reader, dir)) return;
  std::string path = std::string(dir).substr(0, maxTokenLength);
  if (!path.empty() && path.back() != '/') path += '/';
  path += settings.logPath[0] != '\0' ? settings.logPath : defaultLogName;
  // Too long when the directory or the name given before had been cut.
  setLogPath(path, pathTokenTooLong(dir) || settings.logPathTooLong);
}

enum class Mode { both, hptOnly };

using KeywordHandler = void (*)(LineReader&, const char* keyword, IncludeChain&);

struct Keyword {
  const char* name;
  Mode mode;
  KeywordHandler handler;
};

constexpr Keyword keywords[] = {
    {"EchoArea", Mode::both, areaLine},
    {"LocalArea", Mode::both, areaLine},
    {"NetmailArea", Mode::hptOnly, areaLine},
    {"NetArea", Mode::hptOnly, areaLine},
    {"Include", Mode::both, includeLine},
    {"LinkType", Mode::both, linkTypeLine},
    {"LogFile", Mode::both, logFileLine},
    {"LogLevel", Mode::both, logLevelLine},
    {"LogLevelShow", Mode::both, logLevelShowLine},
    {"MapPath", Mode::both, mapPathLine},
    {"SoftMapPath", Mode::both, mapPathLine},
    {"EchoAreaDefaults", Mode::hptOnly, echoAreaDefaultsLine},
    {"ImportLog", Mode::hptOnly, importLogLine},
    {"LogFileDir", Mode::hptOnly, logFileDirLine},
};

// --- Files ----------------------------------------------------------------

bool isComment(const char* token) { return token[0] == ';' || token[0] == '%' || token[0] == '#'; }

void handleLine(LineReader& reader, const char* keyword, IncludeChain& chain) {
  for (const Keyword& entry : keywords) {
    if (!equalsNoCase(keyword, entry.name)) continue;
    if (entry.mode == Mode::hptOnly && !settings.hptMode) return;
    entry.handler(reader, keyword, chain);
    return;
  }
}

FileId identify(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return FileId{};
  return FileId{status.st_dev, status.st_ino, true};
}

bool isBeingRead(const IncludeChain& chain, const FileId& id) {
  for (const FileId& open : chain.files) {
    if (id.known && open.known && open.device == id.device && open.inode == id.inode) return true;
  }
  return false;
}

// Reads one configuration file, its Include files at the place of their
// lines. Returns false when the file cannot be opened (a device, a socket or
// a directory cannot) or read.
bool readConfigFile(const char* path, IncludeChain& chain) {
  const ConfigFile file(path);
  if (file.fd < 0) return false;
  const FileId id = identify(file.fd);
  if (isBeingRead(chain, id)) return true;  // an Include loop: skipped silently

  chain.files.push_back(id);
  LineReader reader(file.fd);
  while (!reader.atEof) {
    char keyword[maxTokenLength + 1];
    if (nextFitToken(reader, keyword) && !isComment(keyword)) handleLine(reader, keyword, chain);
    skipLine(reader);
  }
  chain.files.pop_back();
  // A file that fails to read is no configuration.
  return !reader.readFailed;
}

}  // namespace

bool readConfig(const char* path, OnlyAreaRefusal refuseOnlyArea) {
  IncludeChain chain;
  chain.refuseOnlyArea = refuseOnlyArea;
  return readConfigFile(path, chain);
}

}  // namespace knotter
