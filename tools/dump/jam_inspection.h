// Reads a JAM base for the inspector, never changing it: the header file is
// opened read-only and mapped PROT_READ under a read lock on its first byte,
// the index is read once, and every header is checked and scanned with the
// JAM module's own checks and subfield reader. Everything needed is copied
// out, so that the base is released before anything is printed.
#pragma once

#include "base_inspection.h"
#include "dump_options.h"

namespace knotter::dump {

// Reads the JAM base named by options into inspection: one view per index
// record, numbered as the linker numbers them. Returns false after
// reporting, as the linker words it, a base that cannot be read at all.
// Requires the scanner tables to be built.
bool inspectJamBase(const DumpOptions& options, BaseInspection& inspection);

}  // namespace knotter::dump
