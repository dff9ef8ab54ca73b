#include "linker/kludge_scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace knotter {

namespace {

constexpr std::uint8_t sohByte = 0x01;

// Rows of the table that the scanner enters by name. Rows 1 to 11 spell
// the two kludge names and are only reached through the table itself.
constexpr unsigned rowBetween = 0;
constexpr unsigned rowBlanks = 12;
constexpr unsigned rowSkipWord = 13;
constexpr unsigned rowOrigin = 14;
constexpr unsigned rowSerial = 15;
constexpr unsigned rowHash = 16;

// Table values above the last row are actions.
constexpr std::uint8_t actResume = 17;     // look the byte up in the row to resume
constexpr std::uint8_t actMsgId = 18;      // "MSGID:" complete
constexpr std::uint8_t actReply = 19;      // "REPLY:" complete
constexpr std::uint8_t actOriginEnd = 20;  // "@", ">" or a full origin text
constexpr std::uint8_t actWordEnd = 21;    // blank or line end after the origin word
constexpr std::uint8_t actSerialEnd = 22;  // blank or line end after the serial
constexpr std::uint8_t actAngle = 23;      // "<": hash the local part
constexpr std::uint8_t actHashEnd = 24;    // end of the local part

constexpr unsigned keepBit(unsigned row) { return 1u << (row - rowBlanks); }


constexpr int maxOriginLength = msgIdTextSize - 1;
constexpr unsigned maxSerialDigits = 8;

struct Cell {
  std::uint8_t row;
  std::uint8_t byte;
  std::uint8_t value;
};

// The value of every cell that tableCells does not list, per row. In the rows
// of the kludge names (1 to 11) a mismatch drops back to row 0.
constexpr std::uint8_t rowDefaults[kludgeStates] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, actResume, rowSkipWord, rowOrigin, rowSerial, rowHash};

constexpr Cell tableCells[] = {
    {0, sohByte, 1},
    // SOH M S G I D : and SOH R E P L Y :
    {1, 'M', 2},
    {2, 'S', 3},
    {3, 'G', 4},
    {4, 'I', 5},
    {5, 'D', 6},
    {6, ':', actMsgId},
    {1, 'R', 7},
    {7, 'E', 8},
    {8, 'P', 9},
    {9, 'L', 10},
    {10, 'Y', 11},
    {11, ':', actReply},
    {12, '\t', rowBlanks},
    {12, ' ', rowBlanks},
    {13, '\t', rowBlanks},
    {13, ' ', rowBlanks},
    {14, '<', actAngle},
    {14, '>', actOriginEnd},
    {14, '@', actOriginEnd},
    {14, '\r', actWordEnd},
    {14, '\n', actWordEnd},
    {14, sohByte, actWordEnd},
    {14, ' ', actWordEnd},
    {15, '\r', actSerialEnd},
    {15, '\n', actSerialEnd},
    {15, sohByte, actSerialEnd},
    {15, ' ', actSerialEnd},
    {16, '@', actHashEnd},
    {16, '>', actHashEnd},
    {16, '\r', actHashEnd},
    {16, '\n', actHashEnd},
    {16, sohByte, actHashEnd},
    {16, ' ', actHashEnd},
};

constexpr KludgeRows buildKludgeRows() {
  KludgeRows rows{};
  for (int row = 0; row < kludgeStates; ++row) {
    for (auto& cell : rows[row]) cell = rowDefaults[row];
  }
  for (const Cell& cell : tableCells) rows[cell.row][cell.byte] = cell.value;
  return rows;
}

}  // namespace

constexpr KludgeRows kludgeTable = buildKludgeRows();

namespace {

// For each byte, which of the field rows (12 to 16) keep it in the row, read
// off kludgeTable. The field loops test a byte against one bit here instead
// of a table value; a NUL is kept out of the origin's bit, since storing one
// needs care.
constexpr std::array<std::uint8_t, 256> buildFieldKeeps() {
  std::array<std::uint8_t, 256> keeps{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (unsigned row = rowBlanks; row <= rowHash; ++row) {
      if (kludgeTable[row][byte] == row) keeps[byte] |= keepBit(row);
    }
  }
  keeps[0] &= ~keepBit(rowOrigin);
  return keeps;
}

constexpr std::array<std::uint8_t, 256> fieldKeeps = buildFieldKeeps();

inline bool keeps(unsigned row, std::uint8_t byte) { return (fieldKeeps[byte] & keepBit(row)) != 0; }

// One step of MsgIdHash; the scanner runs the same steps over an
// angle-bracket local part.
inline void hashStep(std::uint32_t& h, std::uint32_t& k, std::uint8_t byte) {
  const std::uint32_t v = static_cast<std::uint32_t>(static_cast<std::int8_t>(byte)) | k;
  k += 256;
  h = std::rotl(h, static_cast<int>(((v >> 2) ^ v) & 15)) ^ (v * v);
}

inline std::uint32_t hashFinal(std::uint32_t h) { return (h >> 16) ^ h; }

// Every byte counts as a hexadecimal digit; there is no validity test.
inline std::uint32_t digitValue(std::uint8_t byte) {
  return (byte <= '9' || byte >= 0x80) ? (byte & 15u) : ((byte + 9u) & 15u);
}

// The step that takes the colon of a kludge name leads to actMsgId or
// actReply; the scan keeps that as its row until the field's first byte is
// there (the control information may end first), so it must not be a row.
static_assert(actMsgId > rowHash && actReply > rowHash);

// Ends the open field. The text ends at its first NUL: callers compare all
// its bytes, so whatever a NUL of the control information left behind it is
// cleared. Once both kludges were seen, nothing later counts.
inline void closeField(KludgeScan& s) {
  if (s.cursor != nullptr) {
    *s.cursor = '\0';
    if (s.storedNul) {
      char* text = s.target->text;
      const std::size_t used = static_cast<std::size_t>(s.cursor - text);
      char* firstNul = static_cast<char*>(std::memchr(text, 0, used));
      std::memset(firstNul, 0, used - static_cast<std::size_t>(firstNul - text));
      s.storedNul = false;
    }
    s.cursor = nullptr;
  }
  if (s.sawMsgId && s.sawReply) s.over = true;
  s.row = rowBetween;
}

// Rows 1 to 11 one byte at a time. A mismatch drops back to row 0 and uses
// up its byte, so an SOH there does not start a kludge.
inline const std::uint8_t* stepName(KludgeScan& s, const std::uint8_t* p) {
  s.row = kludgeTable[s.row][*p];
  return p + 1;
}

// Right after an SOH: a whole kludge name in sight is matched at once, the
// rest goes through the table.
inline const std::uint8_t* matchName(KludgeScan& s, const std::uint8_t* p,
                                     const std::uint8_t* end) {
  if (end - p >= 6) {
    if (std::memcmp(p, "MSGID:", 6) == 0) {
      s.row = actMsgId;
      return p + 6;
    }
    if (std::memcmp(p, "REPLY:", 6) == 0) {
      s.row = actReply;
      return p + 6;
    }
  }
  return stepName(s, p);
}

// Between kludges every byte but SOH keeps the state, so jump to the next
// SOH and look at the name after it.
inline const std::uint8_t* toNextKludge(KludgeScan& s, const std::uint8_t* p,
                                        const std::uint8_t* end) {
  // Kludges mostly follow one another directly, so the SOH is mostly there
  // already, and a search would cost more than the look.
  if (*p != sohByte) {
    const void* soh = std::memchr(p, sohByte, static_cast<std::size_t>(end - p));
    if (soh == nullptr) return end;
    p = static_cast<const std::uint8_t*>(soh);
  }
  s.row = 1;
  ++p;
  return p == end ? p : matchName(s, p, end);
}

// The field's first byte is there: its value goes into key. A second kludge
// of the same name rewrites the text but shifts its digits into the number.
inline void openField(KludgeScan& s, MsgIdKey& key, bool& seen) {
  s.target = &key;
  std::memset(key.text, 0, sizeof key.text);
  s.cursor = key.text;
  s.digits = 0;
  s.resume = rowOrigin;
  seen = true;
  s.row = rowBlanks;
}

// Rows 12 and 13 pass over bytes without acting on them: row 12 hands the
// first other byte to the row to resume, row 13 ends at a blank it uses up.
inline const std::uint8_t* skipBlanks(KludgeScan& s, const std::uint8_t* p,
                                      const std::uint8_t* end) {
  while (keeps(rowBlanks, *p)) {
    if (++p == end) return p;
  }
  s.row = s.resume;
  return p;
}

inline const std::uint8_t* skipWord(KludgeScan& s, const std::uint8_t* p,
                                    const std::uint8_t* end) {
  while (keeps(rowSkipWord, *p)) {
    if (++p == end) return p;
  }
  s.row = rowBlanks;
  return p + 1;
}

// Row 14 stores bytes until one of its own ends the word, or until the text
// is full; the byte that filled it is looked at again in row 13. A NUL is
// stored too, but the text ends there (see closeField).
inline const std::uint8_t* takeOrigin(KludgeScan& s, const std::uint8_t* p,
                                      const std::uint8_t* end) {
  char* const full = s.target->text + maxOriginLength;
  char* cursor = s.cursor;  // a local: a char store could alias the scan state
  for (;;) {
    const std::uint8_t* const stop = p + std::min(end - p, full - cursor);
    while (p != stop && keeps(rowOrigin, *p)) *cursor++ = static_cast<char>(*p++);
    s.cursor = cursor;
    if (cursor == full) {
      s.resume = rowSerial;
      s.row = rowSkipWord;
      return p - 1;
    }
    if (p == end) return p;
    if (kludgeTable[rowOrigin][*p] != rowOrigin) break;
    s.storedNul = true;  // the loop leaves a NUL to this line
    *cursor++ = '\0';
    ++p;
  }
  s.resume = rowSerial;
  switch (kludgeTable[rowOrigin][*p]) {
    case actAngle:
      s.hash = 0;
      s.multiplier = 256;
      s.row = rowHash;
      return p + 1;
    case actWordEnd:
      s.row = rowBlanks;
      return p;
    default:  // actOriginEnd
      s.row = rowSkipWord;
      return p;
  }
}

// The digit values of eight bytes at once, as digitValue gives them, the
// first byte in the highest four bits.
inline std::uint32_t eightDigits(const std::uint8_t* p) {
  std::uint64_t x = 0;
  for (int i = 0; i < 8; ++i) x = (x << 8) | p[i];
  constexpr std::uint64_t ones = 0x0101010101010101;
  // Bytes from ":" (0x3A) to 0x7F are letters: (byte + 9) AND 15.
  const std::uint64_t letters = ((x & 0x7F * ones) + 0x46 * ones) & ~x & 0x80 * ones;
  x = (x + (letters >> 7) * 9) & 0x0F * ones;
  x = ((x >> 4) | x) & 0x00FF00FF00FF00FF;
  x = ((x >> 8) | x) & 0x0000FFFF0000FFFF;
  return static_cast<std::uint32_t>((x >> 16) | x);
}

// Row 15: the serial ends at its own bytes or after eight digits; either way
// that byte is looked at again between kludges, so the field may as well
// close right after the eighth digit.
inline const std::uint8_t* takeSerial(KludgeScan& s, const std::uint8_t* p,
                                      const std::uint8_t* end) {
  if (s.digits == 0 && end - p >= 8) {
    const unsigned serial = fieldKeeps[p[0]] & fieldKeeps[p[1]] & fieldKeeps[p[2]] &
                            fieldKeeps[p[3]] & fieldKeeps[p[4]] & fieldKeeps[p[5]] &
                            fieldKeeps[p[6]] & fieldKeeps[p[7]];
    if ((serial & keepBit(rowSerial)) != 0) {  // eight digits replace the number
      s.target->number = eightDigits(p);
      closeField(s);
      return p + 8;
    }
  }
  std::uint32_t number = s.target->number;
  unsigned digits = s.digits;
  for (; p != end; ++p) {
    if (!keeps(rowSerial, *p) || digits >= maxSerialDigits) {
      s.target->number = number;
      closeField(s);
      return p;
    }
    number = (number << 4) | digitValue(*p);
    ++digits;
  }
  s.target->number = number;
  s.digits = static_cast<std::uint8_t>(digits);
  return p;
}

// Row 16 hashes the local part. The hash stands in for the serial, so no
// digit may follow; after an "@" the domain is appended to the origin text.
inline const std::uint8_t* takeHash(KludgeScan& s, const std::uint8_t* p,
                                    const std::uint8_t* end) {
  while (keeps(rowHash, *p)) {
    hashStep(s.hash, s.multiplier, *p);
    if (++p == end) return p;
  }
  s.target->number = hashFinal(s.hash) ^ s.areaTagHash;
  s.digits = maxSerialDigits;
  if (*p != '@') {
    closeField(s);
    return p;
  }
  s.row = rowOrigin;
  return p + 1;
}

// Runs an open field until it closes or the bytes run out, through its rows
// in the order a field usually takes them, so that the common path is
// straight; a field resumed from an earlier piece enters at its row.
inline const std::uint8_t* takeField(KludgeScan& s, const std::uint8_t* p,
                                     const std::uint8_t* end) {
  while (p != end && s.row != rowBetween) {
    if (s.row == rowBlanks && (p = skipBlanks(s, p, end)) == end) break;
    if (s.row == rowOrigin && (p = takeOrigin(s, p, end)) == end) break;
    if (s.row == rowHash && (p = takeHash(s, p, end)) == end) break;
    if (s.row == rowSkipWord && (p = skipWord(s, p, end)) == end) break;
    if (s.row == rowBlanks && (p = skipBlanks(s, p, end)) == end) break;
    if (s.row == rowSerial) p = takeSerial(s, p, end);
  }
  return p;
}

// Runs the state machine over [p, end) from the row the scan is in. Each
// step uses up bytes or changes the row, so the loop ends.
inline void feed(KludgeScan& s, const std::uint8_t* p, const std::uint8_t* end) {
  while (p != end && !s.over) {
    switch (s.row) {
      case rowBetween: p = toNextKludge(s, p, end); break;
      case 1: p = matchName(s, p, end); break;
      case actMsgId:
        openField(s, *s.msgIdKey, s.sawMsgId);
        p = takeField(s, p, end);
        break;
      case actReply:
        openField(s, *s.replyKey, s.sawReply);
        p = takeField(s, p, end);
        break;
      case rowBlanks:
      case rowSkipWord:
      case rowOrigin:
      case rowSerial:
      case rowHash: p = takeField(s, p, end); break;
      default: p = stepName(s, p); break;  // rows 2 to 11
    }
  }
}

inline void start(KludgeScan& s, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                  std::uint32_t areaTagHash) {
  msgIdKey.number = 0;
  std::memset(msgIdKey.text, 0, sizeof msgIdKey.text);
  replyKey.number = 0;
  std::memset(replyKey.text, 0, sizeof replyKey.text);
  s = KludgeScan{};
  s.msgIdKey = &msgIdKey;
  s.replyKey = &replyKey;
  s.areaTagHash = areaTagHash;
}

// The end of the control information ends the open field and the scan.
inline void finish(KludgeScan& s) {
  if (!s.over) closeField(s);
  s.over = true;
}

}  // namespace


std::uint32_t MsgIdHash(const char* text) {
  std::uint32_t h = 0;
  std::uint32_t k = 256;
  for (; *text != '\0'; ++text) hashStep(h, k, static_cast<std::uint8_t>(*text));
  return hashFinal(h);
}

void scanKludges(MsgIdKey& msgIdKey, MsgIdKey& replyKey, const std::uint8_t* controlStart,
                 const std::uint8_t* controlEnd, std::uint32_t areaTagHash) {
  KludgeScan s;
  start(s, msgIdKey, replyKey, areaTagHash);
  feed(s, controlStart, controlEnd);
  finish(s);
}

void startKludgeScan(KludgeScan& scan, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                     std::uint32_t areaTagHash) {
  start(scan, msgIdKey, replyKey, areaTagHash);
}

bool feedKludgeScan(KludgeScan& scan, const std::uint8_t* begin, const std::uint8_t* end) {
  feed(scan, begin, end);
  return !scan.over;
}

void finishKludgeScan(KludgeScan& scan) { finish(scan); }

}  // namespace knotter
