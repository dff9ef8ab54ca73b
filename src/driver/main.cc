// Program entry: the run driver does the work; an allocation that fails
// outside the linkers ends the run with exit code 2.
#include <new>

#include "driver/early_exit.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  try {
    return knotter::runKnotter(argc, argv);
  } catch (const std::bad_alloc&) {
    knotter::endRunOutOfMemory();
  }
}
