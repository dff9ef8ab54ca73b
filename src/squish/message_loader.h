// Feeds the format-neutral linker tables from a mapped Squish base: reads the
// index, checks every ofs against end_frame and every frame, and hands over
// keys or subjects.
#pragma once

#include <cstdint>

#include "linker/message_table.h"
#include "linker/subject_linker.h"
#include "squish/format.h"
#include "squish/holders.h"

namespace knotter {

// Loads the message table of the mapped base: high_msg must be positive.
// Returns false after reporting a failure; nothing has been written then.
bool loadMessageTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, MessageTable& table);

// Loads the subject table of the mapped base, keeping replyto and
// replies[0] as the format's two words; sorted says whether the index was in
// file order. high_msg must be positive. False after reporting a failure.
bool loadSubjectTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, SubjectTable& table,
                      bool& sorted);

}  // namespace knotter
