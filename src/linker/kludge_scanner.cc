#include "linker/kludge_scanner.h"

#include <bit>
#include <cstring>

namespace knotter {

std::uint8_t kludgeTable[kludgeStates][256];

namespace {

constexpr std::uint8_t soh = 0x01;

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
    {0, soh, 1},
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
    {14, soh, actWordEnd},
    {14, ' ', actWordEnd},
    {15, '\r', actSerialEnd},
    {15, '\n', actSerialEnd},
    {15, soh, actSerialEnd},
    {15, ' ', actSerialEnd},
    {16, '@', actHashEnd},
    {16, '>', actHashEnd},
    {16, '\r', actHashEnd},
    {16, '\n', actHashEnd},
    {16, soh, actHashEnd},
    {16, ' ', actHashEnd},
};

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

struct Scanner {
  const std::uint8_t* p = nullptr;
  const std::uint8_t* end = nullptr;
  std::uint8_t c = 0;   // the byte at p
  unsigned row = 0;     // row in which c is looked up next
  unsigned resume = 0;  // row to take up after blanks
  MsgIdKey* target = nullptr;
  char* cursor = nullptr;  // into target->text, or null
  bool storedNul = false;  // a NUL of the control information went into the text
  unsigned digits = 0;
  std::uint32_t hash = 0;
  std::uint32_t multiplier = 0;
  bool sawMsgId = false;
  bool sawReply = false;
};

// Ends the current field. Returns false when the scan is over.
inline bool finishField(Scanner& s) {
  if (s.cursor != nullptr) {
    *s.cursor = '\0';
    if (s.storedNul) {
      // The text ends at its first NUL; callers compare all the bytes, so
      // clear whatever was stored after it.
      char* text = s.target->text;
      const std::size_t used = static_cast<std::size_t>(s.cursor - text);
      char* firstNul = static_cast<char*>(std::memchr(text, 0, used));
      std::memset(firstNul, 0, used - static_cast<std::size_t>(firstNul - text));
      s.storedNul = false;
    }
    s.cursor = nullptr;
  }
  if (s.p == s.end || (s.sawMsgId && s.sawReply)) return false;
  s.row = rowBetween;
  return true;
}

// Moves to the next byte, to be looked up in row next. Returns false when the
// scan is over.
inline bool advance(Scanner& s, unsigned next) {
  if (++s.p == s.end) return finishField(s);
  s.c = *s.p;
  s.row = next;
  return true;
}

// A kludge name and its colon are complete: its value goes into key.
inline bool startValue(Scanner& s, MsgIdKey& key, bool& seen) {
  if (++s.p == s.end) return finishField(s);
  s.target = &key;
  // A second kludge of the same name rewrites the text; clear what the first
  // left behind its NUL, since callers compare all the bytes.
  std::memset(key.text, 0, sizeof key.text);
  s.cursor = key.text;
  s.digits = 0;
  s.resume = rowOrigin;
  seen = true;
  s.c = *s.p;
  s.row = rowBlanks;
  return true;
}

// Moves to the next byte and keeps going in row `row` for as long as the
// table keeps it there; true when the caller's loop should run on.
inline bool stayIn(Scanner& s, unsigned row, bool& over) {
  if (++s.p == s.end) {
    over = !finishField(s);
    return false;
  }
  s.c = *s.p;
  if (kludgeTable[row][s.c] == row) return true;
  s.row = row;
  over = false;
  return false;
}

// The loops below do what the main loop would do byte by byte in their row,
// without a table dispatch per byte; the fields are the bulk of the scan.
inline bool takeOrigin(Scanner& s) {
  bool over = false;
  do {
    s.storedNul |= s.c == 0;
    *s.cursor++ = static_cast<char>(s.c);
    if (s.cursor - s.target->text == maxOriginLength) {  // as for actOriginEnd
      s.resume = rowSerial;
      s.row = rowSkipWord;
      return true;
    }
  } while (stayIn(s, rowOrigin, over));
  return !over;
}

inline bool takeSerial(Scanner& s) {
  bool over = false;
  std::uint32_t number = s.target->number;
  do {
    if (s.digits >= maxSerialDigits) {
      s.target->number = number;
      return finishField(s);
    }
    number = (number << 4) | digitValue(s.c);
    ++s.digits;
  } while (stayIn(s, rowSerial, over));
  s.target->number = number;
  return !over;
}

inline bool takeHash(Scanner& s) {
  bool over = false;
  do hashStep(s.hash, s.multiplier, s.c);
  while (stayIn(s, rowHash, over));
  return !over;
}

// Rows 12 and 13 pass over bytes without acting on them.
inline bool skipIn(Scanner& s, unsigned row) {
  bool over = false;
  while (stayIn(s, row, over)) {
  }
  return !over;
}

inline bool startHash(Scanner& s) {
  if (++s.p == s.end) return finishField(s);
  s.hash = 0;
  s.multiplier = 256;
  s.c = *s.p;
  s.row = rowHash;
  return true;
}

// The hash stands in for the serial, so no digit may follow; after an "@"
// the domain is appended to the origin text.
inline bool endHash(Scanner& s, std::uint32_t areaTagHash) {
  s.target->number = hashFinal(s.hash) ^ areaTagHash;
  s.digits = maxSerialDigits;
  if (s.c != '@') return finishField(s);
  return advance(s, rowOrigin);
}

// Carries out table value v for the current byte. Returns false when the
// scan is over.
inline bool step(Scanner& s, MsgIdKey& msgIdKey, MsgIdKey& replyKey, std::uint32_t areaTagHash,
                 std::uint8_t v) {
  switch (v) {
    case rowBlanks:
    case rowSkipWord:
      return skipIn(s, v);
    case rowOrigin:
      return takeOrigin(s);
    case rowSerial:
      return takeSerial(s);
    case rowHash:
      return takeHash(s);
    case actResume:
      s.row = s.resume;
      return true;
    case actMsgId:
      return startValue(s, msgIdKey, s.sawMsgId);
    case actReply:
      return startValue(s, replyKey, s.sawReply);
    case actOriginEnd:
      s.resume = rowSerial;
      s.row = rowSkipWord;
      return true;
    case actWordEnd:
      s.resume = rowSerial;
      s.row = rowBlanks;
      return true;
    case actSerialEnd:
      return finishField(s);
    case actAngle:
      return startHash(s);
    case actHashEnd:
      return endHash(s, areaTagHash);
    default:  // a plain state
      return advance(s, v);
  }
}

}  // namespace

void buildKludgeTable() {
  for (int row = 0; row < kludgeStates; ++row) {
    std::memset(kludgeTable[row], rowDefaults[row], sizeof kludgeTable[row]);
  }
  for (const Cell& cell : tableCells) kludgeTable[cell.row][cell.byte] = cell.value;
}

std::uint32_t MsgIdHash(const char* text) {
  std::uint32_t h = 0;
  std::uint32_t k = 256;
  for (; *text != '\0'; ++text) hashStep(h, k, static_cast<std::uint8_t>(*text));
  return hashFinal(h);
}

void scanKludges(MsgIdKey& msgIdKey, MsgIdKey& replyKey, const std::uint8_t* controlStart,
                 const std::uint8_t* controlEnd, std::uint32_t areaTagHash) {
  msgIdKey.number = 0;
  std::memset(msgIdKey.text, 0, sizeof msgIdKey.text);
  replyKey.number = 0;
  std::memset(replyKey.text, 0, sizeof replyKey.text);
  if (controlStart >= controlEnd) return;

  Scanner s;
  s.p = controlStart;
  s.end = controlEnd;
  s.c = *s.p;
  for (;;) {
    if (s.row == rowBetween && s.c != soh) {
      // Between kludges every byte but SOH keeps the state, so jump to the
      // next SOH. No field is open here, so running out just ends the scan.
      const void* next = std::memchr(s.p, soh, static_cast<std::size_t>(s.end - s.p));
      if (next == nullptr) return;
      s.p = static_cast<const std::uint8_t*>(next);
      s.c = soh;
    }
    if (!step(s, msgIdKey, replyKey, areaTagHash, kludgeTable[s.row][s.c])) return;
  }
}

}  // namespace knotter
