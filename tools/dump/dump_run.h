// One run of knotter-dump: read the command line, inspect the base, print
// the listing, the threads, the damage check or the plan, and choose the
// exit code.
#pragma once

namespace knotter::dump {

// Returns the exit code: exitClean, exitDamaged or exitUsage.
int runDump(int argc, char** argv);

}  // namespace knotter::dump
