// Writes the links decided for a JAM base into its mapped header file:
// ReplyTo, Reply1st and ReplyNext where they changed, then ModCounter once.
// Nothing else of the base is ever written.
#pragma once

#include <cstdint>
#include <span>

#include "base/bytes.h"

namespace knotter {

// The three reply fields of one header, as message numbers; 0 = none.
struct JamLinkFields {
  std::uint32_t replyTo = 0;
  std::uint32_t reply1st = 0;
  std::uint32_t replyNext = 0;
};

// Stores into the header at ofs those of fields that differ from what it
// holds; true when any did.
bool storeJamLinks(Bytes base, std::uint32_t ofs, const JamLinkFields& fields);

// Adds 1 to ModCounter, wrapping: readers that cache threads look at it to
// see that the base changed.
void bumpModCounter(Bytes base);

// Writes fields[k] into the header headers[k] (packed as listJamHeaders
// leaves them, in ascending offset) and bumps ModCounter once when any
// header changed; changed counts the headers written. Signals that ask the
// process to end wait until the last store. REQUIRES: the base's lock.
void writeJamLinks(Bytes base, std::span<const std::uint64_t> headers,
                   std::span<const JamLinkFields> fields, std::uint32_t& changed);

}  // namespace knotter
