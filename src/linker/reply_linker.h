// Links the messages of a table by their MSGID and REPLY keys: TimEd (many
// replies to one original), Flat (linear chains) or Reply (Flat, plus replies
// whose original is missing). Knows nothing of any base format: it turns the
// sorted keys into Links.
#pragma once

#include <cstdint>

#include "config/link_type.h"
#include "linker/message_table.h"

namespace knotter {

// Sets the links of every message of the grouped table for type (TimEd,
// Flat, or anything else as Reply). TimEd lists every reply of an original; no
// message answers itself, and on a ring of replies the member with the
// lowest number (then the lowest slot) answers nothing.
// Throws std::logic_error on a table whose chains would not end.
void linkReplies(LinkTable& table, LinkType type);

}  // namespace knotter
