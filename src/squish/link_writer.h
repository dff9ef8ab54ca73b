// Writes the links decided by the linker core into the mapped Squish data
// file: only the reply-chain fields that differ from what the base held, in
// ascending ofs, so that an area linked already costs no write at all.
#pragma once

#include <cstdint>

#include "linker/message_table.h"
#include "linker/subject_linker.h"
#include "squish/format.h"

namespace knotter {

// Writes replyto and the first nine replies of every message (TimEd lists
// up to nine, a chain one, so its replies[1..8] become 0). Returns the
// headers changed.
std::int32_t writeReplyLinks(const MessageTable& table, Bytes base, std::uint16_t szSqhdr);

// Subj writes replyto and replies[0] only. Returns the headers changed.
std::int32_t writeSubjectLinks(const SubjectTable& table, Bytes base, std::uint16_t szSqhdr);

}  // namespace knotter
