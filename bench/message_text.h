// Turns one planned message into the texts a tosser would store: from, to and
// subject, the control information (MSGID and REPLY first, then PID, TID,
// CHRS, TZUTC) and a body with tear line, origin, SEEN-BY and PATH.
#pragma once

#include <cstdint>
#include <string>

#include "message_plan.h"
#include "text_pools.h"

namespace knotter::bench {

// Lengths of control information and body, as real echomail has them.
constexpr std::size_t controlMin = 60;
constexpr std::size_t controlMax = 200;
constexpr std::size_t bodyMin = 200;
constexpr std::size_t bodyMax = 400;
constexpr std::size_t subjectMax = 71;  // the 72-byte field keeps its NUL

struct ComposedMessage {
  std::string from;
  std::string to;
  std::string subject;
  std::string control;  // SOH-separated kludges, sometimes with a NUL at the end
  std::string body;     // CR line ends, NUL-terminated
  NodeAddress orig;
  NodeAddress dest;
  std::uint32_t attributes = 0;
};

// Fills out with message index of plan (buffers are reused between calls).
void composeMessage(const AreaPlan& plan, std::uint32_t index, ComposedMessage& out);

}  // namespace knotter::bench
