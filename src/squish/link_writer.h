// Writes the links decided by the linker core into the mapped Squish data
// file: only the reply-chain fields that differ from what the base held, in
// ascending ofs, so that an area linked already costs no write at all, and
// no exclusive lock. Otherwise that lock on dataFile is taken before the
// first store; without it nothing is written and the writer returns false.
#pragma once

#include <cstdint>

#include "linker/message_table.h"
#include "linker/subject_linker.h"
#include "squish/format.h"
#include "squish/write_access.h"

namespace knotter {

// Writes replyto and the first nine replies of every message (TimEd lists
// up to nine, a chain one, so its replies[1..8] become 0), counting the
// headers changed.
bool writeReplyLinks(const MessageTable& table, Bytes base, std::uint16_t szSqhdr,
                     const DataFile& dataFile, std::int32_t& changed);

// Subj writes replyto and replies[0] only, counting the headers changed.
bool writeSubjectLinks(const SubjectTable& table, Bytes base, std::uint16_t szSqhdr,
                       const DataFile& dataFile, std::int32_t& changed);

}  // namespace knotter
