#include "driver/early_exit.h"

#include <cstdlib>

#include "log/log.h"

namespace knotter {

void endRun(int exitCode) {
  std::exit(exitCode);
}

void endRunOutOfMemory() {
  logMessage(levelError, "! Not enough memory");
  endRun(exitNoMemory);
}

}  // namespace knotter
