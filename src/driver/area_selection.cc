#include "driver/area_selection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_descriptor.h"
#include "base/text_input.h"
#include "config/area_table.h"
#include "config/line_reader.h"
#include "config/settings.h"
#include "config/text.h"
#include "log/log.h"

namespace knotter {
namespace {

using RequestList = std::vector<std::string>;

bool lessNoCase(std::string_view a, std::string_view b) { return compareNoCase(a, b) < 0; }

// The first token of every line of the list file; the rest of a line (the
// tosser's comments, for instance) is ignored, and so is a line whose first
// token holds a NUL byte.
void readRequestFile(int fd, RequestList& names) {
  LineReader reader(fd);
  while (!reader.atEof) {
    char name[maxTokenLength + 1];
    if (nextFitToken(reader, name)) names.emplace_back(name);
    skipLine(reader);
  }
}

// Reads the requested names: the lines of the list file, or the list path
// itself as the one area name when no such file can be opened. Returns
// whether the names came from a file.
bool readRequests(RequestList& names) {
  // A list path that had to be cut names some other file: never opened. A
  // device, socket or directory is no list either: its name is the area's.
  const FileDescriptor file(settings.listPathTooLong ? -1 : openTextInput(settings.listPath));
  if (file.fd < 0) {
    names.emplace_back(settings.listPath);
    settings.deleteListFile = false;  // -k never deletes anything but a list file
    return false;
  }
  readRequestFile(file.fd, names);
  return true;
}

}  // namespace

void selectAreas() {
  if (settings.listPath == nullptr) return;
  RequestList names;
  const bool namesFromFile = readRequests(names);
  std::stable_sort(names.begin(), names.end(), lessNoCase);
  sortAreasByTag();

  bool anyFound = false;
  std::erase_if(areaTable, [&](const AreaRecord& area) {
    const bool requested = std::binary_search(names.begin(), names.end(), area.tag, lessNoCase);
    anyFound = anyFound || requested;
    return !requested;
  });
  // A name given on the command line is reported once when no area has it;
  // a list file may well name areas this configuration does not link.
  if (!namesFromFile && !anyFound) {
    logMessage(levelError, "! Cannot find area: %.512s", names.front().c_str());
  }
}

}  // namespace knotter
