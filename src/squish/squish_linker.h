// Links one mapped Squish base: loads the linker core's table from it, lets
// the core decide the links and writes them back.
#pragma once

#include <cstdint>

#include "squish/format.h"
#include "squish/holders.h"
#include "squish/write_access.h"

namespace knotter {

// Links the mapped data file base by MSGID/REPLY with linkType (1 TimEd,
// 2 Flat, anything else Reply); dataFile is the file mapped, to be locked
// exclusively before the first store. changed counts the rewritten headers,
// total is high_msg. Returns false after reporting a failure; nothing is written
// then, and the index descriptor may be left in indexFile for the caller.
bool linkByMsgId(std::int32_t linkType, const char* areaTag, Bytes base, const DataFile& dataFile,
                 const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed,
                 std::int32_t& total);

// The same for linking by subject; writes only replyto and replies[0].
// REQUIRES: settings.subjectLength clamped to 1..72 and the subject scan
// table built.
bool linkBySubject(const char* areaTag, Bytes base, const DataFile& dataFile, const char* indexPath,
                   FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total);

}  // namespace knotter
