// Links the messages of an area whose normalised subjects are equal into one
// chain each, in index order; writes only replyto and replies[0].
#pragma once

#include <cstdint>

#include "squish/format.h"
#include "squish/holders.h"
#include "squish/write_access.h"

namespace knotter {

// Links the mapped data file base by subject; dataFile is the file mapped, to
// be locked exclusively before the first store. changed counts the rewritten
// headers, total is high_msg. Returns false after reporting a failure; nothing
// is written then, and the index descriptor may be left in indexFile for the
// caller to close. REQUIRES: settings.subjectLength clamped to 1..72 and the
// subject scan table built.
bool linkBySubject(const char* areaTag, Bytes base, const DataFile& dataFile, const char* indexPath,
                   FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total);

}  // namespace knotter
