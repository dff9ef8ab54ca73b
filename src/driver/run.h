// The run driver: the fixed order of a run from the command line to the exit
// code.
#pragma once

namespace knotter {

// Runs the tool on the argument vector and returns the exit code.
int runKnotter(int argc, char** argv);

}  // namespace knotter
