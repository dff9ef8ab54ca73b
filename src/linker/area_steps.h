// The steps of linking an area that both ways of linking take, and the two
// ways themselves: by MSGID and REPLY, and by subject. Only linkArea calls
// them; a format never does.
#pragma once

#include <cstdint>
#include <span>

#include "linker/link_area.h"
#include "linker/message_table.h"

namespace knotter {

// Links by the MSGID and REPLY kludges (TimEd, Flat, Reply); false after a
// report. counts are set when it returns true.
bool linkByMsgId(const LinkRequest& request, AreaSource& source, LinkSink& sink,
                 LinkCounts& counts);

// Links by the normalised subjects (Subj); the same contract.
bool linkBySubject(const LinkRequest& request, AreaSource& source, LinkSink& sink,
                   LinkCounts& counts);

// The index entry at position, whose first reading passed (the source read
// it in index order before the messages were ordered).
std::uint32_t numberAt(AreaSource& source, std::uint32_t position);

// The fields a message gets: replyTo and the replies the links name, as
// numbers through numberOf, the rest of current left as it is. With
// allReplies every reply slot is decided (the list that starts at
// links.firstReply and goes on through nextOf, 0 past its end); otherwise
// only the first. A sibling field takes links.nextReply.
template <typename NumberOf, typename NextOf>
LinkFields freshFields(const LinkFields& current, const Links& links, const LinkShape& shape,
                       bool allReplies, NumberOf numberOf, NextOf nextOf) {
  const auto number = [&](std::uint32_t slot) { return slot == noSlot ? 0 : numberOf(slot); };
  LinkFields fresh = current;
  fresh.replyTo = number(links.replyTo);
  const std::uint32_t decided = allReplies ? shape.replySlots : 1;
  std::uint32_t reply = links.firstReply;
  for (std::uint32_t k = 0; k < decided; ++k) {
    fresh.replies[k] = number(reply);
    if (reply != noSlot) reply = nextOf(reply);
  }
  if (shape.siblingField) fresh.nextReply = number(links.nextReply);
  return fresh;
}

// True when fresh differs from current in a field the shape has.
bool fieldsDiffer(const LinkFields& current, const LinkFields& fresh, const LinkShape& shape);

// Throws when a number does not fit the format's fields: a format must
// never list such a message, and a wrong number must never be stored.
void requireFits(const LinkShape& shape, std::uint32_t number);

// Messages fetched ahead of the one whose fields are compared.
constexpr std::uint32_t storesAhead = 32;

}  // namespace knotter
