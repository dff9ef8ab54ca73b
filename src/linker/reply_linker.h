// Links the messages of an area by their MSGID and REPLY kludges: TimEd (many
// replies to one original), Flat (linear chains) or Reply (Flat, plus replies
// whose original is missing), rewriting replyto and replies[0..8].
#pragma once

#include <cstdint>

#include "squish/format.h"
#include "squish/holders.h"
#include "squish/write_access.h"

namespace knotter {

// Links the mapped data file base with linkType (1 TimEd, 2 Flat, anything
// else Reply); dataFile is the file mapped, to be locked exclusively before
// the first store. changed counts the rewritten headers, total is high_msg.
// Returns false after reporting a failure; nothing is written then, and the
// index descriptor may be left in indexFile for the caller to close.
bool linkByMsgId(std::int32_t linkType, const char* areaTag, Bytes base, const DataFile& dataFile,
                 const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed,
                 std::int32_t& total);

}  // namespace knotter
