// The inspector's *.MSG mode: reads a directory as the linker does, never
// changing it (the directory under a shared flock, every file opened
// read-only by the linker's own reader of message files), copies out what
// it found, releases the directory, and prints it: the header line, one
// line per canonical name, the other message-like names, or the threads of
// replyTo, and the report of what would make the linker give the area up.
#pragma once

#include "dump_options.h"

namespace knotter::dump {

// Inspects the directory named by options and prints it as its mode asks.
// Returns the exit code. REQUIRES: the subject scan table built.
int runMsgDump(const DumpOptions& options);

}  // namespace knotter::dump
