#include "driver/early_exit.h"

#include <cstdlib>

#include "log/area_reports.h"

namespace knotter {

void endRun(int exitCode) {
  std::exit(exitCode);
}

void endRunOutOfMemory() {
  reportNotEnoughMemory();
  endRun(exitNoMemory);
}

}  // namespace knotter
