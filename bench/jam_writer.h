// Writes a planned area as a JAM base: the header file (1024-byte header
// block, then one 76-byte message header and its subfields per message), the
// index (8 bytes per message, numbers from 1) and the text file. The same
// messages as the Squish writer gives, with MSGID, REPLY and subject as their
// own subfields and every other kludge as FTSKLUDGE. Unlinked: every reply
// field is 0.
#pragma once

#include <string>

#include "base_writer.h"
#include "message_plan.h"

namespace knotter::bench {

// Writes basePath.jhr, basePath.jdx and basePath.jdt; stats.dataSize is the
// size of the header file. Returns false after printing the failing file and
// system error to standard error.
bool writeJamBase(const AreaPlan& plan, const std::string& basePath, BaseStats& stats);

}  // namespace knotter::bench
