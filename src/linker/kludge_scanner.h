// Turns the MSGID and REPLY kludges of a message's control information into
// keys that compare equal when a REPLY names a MSGID. A byte-driven state
// machine over KludgeTable, which is built once per run.
#pragma once

#include <cstdint>

namespace knotter {

constexpr int msgIdTextSize = 24;  // 23 characters and the NUL

// The key parsed from one kludge. number 0 with an empty text means absent.
struct MsgIdKey {
  std::uint32_t number = 0;        // serial, or hash of an angle-bracket local part
  char text[msgIdTextSize] = {};   // origin; every byte after the NUL is 0
  std::uint32_t umsgid = 0;        // the message's umsgid; not touched by the scanner
};

constexpr int kludgeStates = 17;
extern std::uint8_t kludgeTable[kludgeStates][256];

// Fills kludgeTable; called once per run before the first area is linked.
void buildKludgeTable();

// The program's own string hash of a NUL-terminated byte string.
std::uint32_t MsgIdHash(const char* text);

// Fills number and text of both keys from the control information in
// [controlStart, controlEnd), reading nothing outside it; umsgid is left as
// it is. areaTagHash is MsgIdHash of the area's tag. REQUIRES: the table built.
void scanKludges(MsgIdKey& msgIdKey, MsgIdKey& replyKey, const std::uint8_t* controlStart,
                 const std::uint8_t* controlEnd, std::uint32_t areaTagHash);

}  // namespace knotter
