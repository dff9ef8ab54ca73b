// Links one open JAM base: loads the linker core's table from its index and
// headers, lets the core decide the links and writes them back as JAM's
// ReplyTo, Reply1st and ReplyNext.
#pragma once

#include <cstdint>

#include "jam/jam_base.h"

namespace knotter {

// Links base with linkType (1 TimEd, 2 Flat, 4 Subj, anything else Reply).
// Every live message gets all three fields recomputed; deleted ones the
// index still lists get theirs cleared. changed counts the headers written,
// total the headers the index lists. Returns false after reporting a
// failure; nothing is written then. REQUIRES: for Subj, the subject length
// clamped and the subject scan table built.
bool linkJamBase(std::int32_t linkType, const char* areaTag, JamBase& base,
                 std::uint32_t& changed, std::uint32_t& total);

}  // namespace knotter
