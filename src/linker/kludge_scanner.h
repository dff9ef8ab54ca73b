// Turns the MSGID and REPLY kludges of a message's control information into
// keys that compare equal when a REPLY names a MSGID. A byte-driven state
// machine over KludgeTable, which is built once per run; the control
// information may come in one block or in pieces (kludges kept as separate
// records), with the same keys either way.
#pragma once

#include <array>
#include <cstdint>

namespace knotter {

constexpr int msgIdTextSize = 24;  // 23 characters and the NUL

// The key parsed from one kludge. number 0 with an empty text means absent.
struct MsgIdKey {
  std::uint32_t number = 0;        // serial, or hash of an angle-bracket local part
  char text[msgIdTextSize] = {};   // origin; every byte after the NUL is 0
};

// The scanner's state table, one row per state and a value per byte: the
// next row, or an action. Built when the program is compiled.
constexpr int kludgeStates = 17;
using KludgeRows = std::array<std::array<std::uint8_t, 256>, kludgeStates>;
extern const KludgeRows kludgeTable;

// The program's own string hash of a NUL-terminated byte string.
std::uint32_t MsgIdHash(const char* text);

// Fills number and text of both keys from the control information in
// [controlStart, controlEnd), reading nothing outside it. areaTagHash is
// MsgIdHash of the area's tag.
void scanKludges(MsgIdKey& msgIdKey, MsgIdKey& replyKey, const std::uint8_t* controlStart,
                 const std::uint8_t* controlEnd, std::uint32_t areaTagHash);

// One message's scan between pieces of its control information: the state
// machine stops where a piece ends and goes on with the next one, so a field
// may span pieces. Filled by startKludgeScan; the keys must outlive it.
struct KludgeScan {
  MsgIdKey* msgIdKey = nullptr;
  MsgIdKey* replyKey = nullptr;
  std::uint32_t areaTagHash = 0;
  MsgIdKey* target = nullptr;  // key of the open field
  char* cursor = nullptr;      // where the next origin byte goes, or null
  std::uint32_t hash = 0;      // of an angle-bracket local part
  std::uint32_t multiplier = 0;
  std::uint8_t row = 0;        // row in which the next byte is looked up
  std::uint8_t resume = 0;     // row taken up after blanks
  std::uint8_t digits = 0;     // serial digits taken
  bool storedNul = false;      // a NUL byte went into the origin text
  bool sawMsgId = false;
  bool sawReply = false;
  bool over = false;           // further bytes change nothing
};

// Clears number and text of both keys and starts a scan into them.
void startKludgeScan(KludgeScan& scan, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                     std::uint32_t areaTagHash);
// Scans the next piece [begin, end). Returns false once the scan is over, so
// that the caller may leave out the remaining pieces.
bool feedKludgeScan(KludgeScan& scan, const std::uint8_t* begin, const std::uint8_t* end);
// Ends the scan as the end of the control information does. Feeding pieces
// and then finishing gives the keys that scanKludges gives for the
// concatenation of the pieces.
void finishKludgeScan(KludgeScan& scan);

}  // namespace knotter
