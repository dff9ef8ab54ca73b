// Writes a planned area as a *.MSG directory: 1.msg holding the highwater
// mark, then one file per message from 2.msg on, each a 190-byte header and
// the text (the kludges as SOH lines ended by CR, the body, a NUL). The same
// messages as the Squish writer gives. Unlinked: replyTo and up are 0.
// Files that exist already are overwritten in place without being cut, so
// that writing the same area again restores a linked copy byte for byte.
#pragma once

#include <string>

#include "base_writer.h"
#include "message_plan.h"

namespace knotter::bench {

// Messages a *.MSG area can hold: its numbers are 16 bits, and 1.msg is the
// highwater mark.
constexpr std::uint32_t maxMsgMessages = 65534;

// Writes dir/1.msg to dir/<count + 1>.msg, making dir if needed;
// stats.dataSize is the bytes of all files. Returns false after printing the
// failing file and system error to standard error.
bool writeMsgArea(const AreaPlan& plan, const std::string& dir, BaseStats& stats);

}  // namespace knotter::bench
