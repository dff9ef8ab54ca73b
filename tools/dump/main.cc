// knotter-dump: shows a Squish base as the linker sees it, read-only. An
// allocation that fails is reported like the linker's and ends with code 1.
#include <new>

#include "dump_options.h"
#include "dump_run.h"
#include "log/area_reports.h"

int main(int argc, char** argv) {
  try {
    return knotter::dump::runDump(argc, argv);
  } catch (const std::bad_alloc&) {
    knotter::reportNotEnoughMemory();
    return knotter::dump::exitDamaged;
  }
}
