#include "config/settings.h"

namespace knotter {

Settings settings;

void resetSettings() { settings = Settings{}; }

}  // namespace knotter
