#include "config/settings.h"

#include "config/text.h"

namespace knotter {

Settings settings;

void setLogPath(std::string_view path, bool cut) {
  copyCut(settings.logPath, path, maxPathLength);
  settings.logPathTooLong = cut || path.size() > maxPathLength;
}

void resetSettings() { settings = Settings{}; }

}  // namespace knotter
