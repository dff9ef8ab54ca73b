// Writes the links decided for a JAM base into its mapped header file:
// ReplyTo, Reply1st and ReplyNext where they changed, then ModCounter once.
// Nothing else of the base is ever written.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "squish/write_access.h"

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

// The stores of one area, header by header. Signals that ask the process to
// end wait from the first store until the holder is gone. REQUIRES: the
// base's lock, held since it was read.
struct JamLinkWriter {
  Bytes base;
  WriteAccess access;
  std::uint32_t changed = 0;  // headers written so far
  explicit JamLinkWriter(Bytes mapped);
};

// Stores fields into the header at ofs, counting it when it changed.
void writeJamHeader(JamLinkWriter& writer, std::uint32_t ofs, const JamLinkFields& fields);

// Bumps ModCounter once when any header changed; returns the count.
std::uint32_t finishJamWrites(JamLinkWriter& writer);

}  // namespace knotter
