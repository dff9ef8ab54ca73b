// Feeds arbitrary control information to the kludge scanner. Besides the
// sanitizers it checks that both key texts are terminated within their
// buffer with nothing but zeros behind the NUL, and compares the keys with
// a plain byte-at-a-time run of the table, which the scanner's fast loops
// must agree with, whether the control information comes in one block or
// in pieces.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "linker/kludge_scanner.h"

namespace {

using knotter::kludgeTable;
using knotter::MsgIdKey;
using knotter::msgIdTextSize;

// Whether the text ends within its buffer and is all zeros after the NUL.
bool wellFormed(const MsgIdKey& key) {
  const void* nul = std::memchr(key.text, 0, msgIdTextSize);
  if (nul == nullptr) return false;
  for (auto* p = static_cast<const char*>(nul); p < key.text + msgIdTextSize; ++p) {
    if (*p != 0) return false;
  }
  return true;
}

std::uint32_t digitValue(std::uint8_t c) { return (c <= '9' || c >= 0x80) ? (c & 15u) : ((c + 9u) & 15u); }

// The scanner as a table interpreter, one byte and one table value at a time.
struct Reference {
  const std::uint8_t* p;
  const std::uint8_t* end;
  std::uint32_t tagHash;
  MsgIdKey* keys[2];
  std::uint8_t c = 0;
  unsigned row = 0;
  unsigned resume = 0;
  MsgIdKey* target = nullptr;
  char* cursor = nullptr;
  unsigned digits = 0;
  std::uint32_t h = 0;
  std::uint32_t k = 0;
  bool seen[2] = {false, false};
  bool over = false;

  void finish() {
    if (cursor != nullptr) *cursor = '\0';
    cursor = nullptr;
    if (p == end || (seen[0] && seen[1])) {
      over = true;
    } else {
      row = 0;
    }
  }
  void advance(unsigned next) {
    if (++p == end) return finish();
    c = *p;
    row = next;
  }
  void startValue(int which) {
    if (++p == end) return finish();
    target = keys[which];
    cursor = target->text;
    digits = 0;
    resume = 14;
    seen[which] = true;
    c = *p;
    row = 12;
  }
  void step() {
    const unsigned v = kludgeTable[row][c];
    if (v <= 13) return advance(v);
    switch (v) {
      case 14:
        *cursor++ = static_cast<char>(c);
        if (cursor - target->text == msgIdTextSize - 1) {
          resume = 15;
          row = 13;
          return;
        }
        return advance(14);
      case 15:
        if (digits >= 8) return finish();
        target->number = (target->number << 4) | digitValue(c);
        ++digits;
        return advance(15);
      case 16: {
        const std::uint32_t x = static_cast<std::uint32_t>(static_cast<std::int8_t>(c)) | k;
        k += 256;
        const unsigned r = ((x >> 2) ^ x) & 15;
        h = (r == 0 ? h : (h << r) | (h >> (32 - r))) ^ (x * x);
        return advance(16);
      }
      case 17: row = resume; return;
      case 18: return startValue(0);
      case 19: return startValue(1);
      case 20: resume = 15; row = 13; return;
      case 21: resume = 15; row = 12; return;
      case 22: return finish();
      case 23:
        if (++p == end) return finish();
        h = 0;
        k = 256;
        c = *p;
        row = 16;
        return;
      case 24:
        target->number = (h >> 16) ^ h ^ tagHash;
        digits = 8;
        if (c != '@') return finish();
        return advance(14);
      default: std::abort();  // the table holds no other value
    }
  }
};

void referenceScan(MsgIdKey& msgId, MsgIdKey& reply, const std::uint8_t* begin,
                   const std::uint8_t* end, std::uint32_t tagHash) {
  msgId = MsgIdKey{};
  reply = MsgIdKey{};
  if (begin == end) return;
  Reference s{begin, end, tagHash, {&msgId, &reply}};
  s.c = *begin;
  while (!s.over) s.step();
  // A NUL of the control information may have gone into the text; the key
  // is the text up to its first NUL.
  for (MsgIdKey* key : s.keys) {
    char* nul = static_cast<char*>(std::memchr(key->text, 0, msgIdTextSize));
    std::memset(nul, 0, static_cast<std::size_t>(key->text + msgIdTextSize - nul));
  }
}

bool sameKey(const MsgIdKey& a, const MsgIdKey& b) {
  return a.number == b.number && std::memcmp(a.text, b.text, msgIdTextSize) == 0;
}

// Where the control information is cut into pieces: at every SOH and eight
// bytes after it (the shape of kludges kept as records, "SOH MSGID: " then
// the value), or every stride bytes.
std::vector<std::size_t> cutsAtKludges(const std::uint8_t* data, std::size_t size) {
  std::vector<std::size_t> cuts;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != 0x01) continue;
    cuts.push_back(i);
    if (i + 8 < size) cuts.push_back(i + 8);
  }
  cuts.push_back(size);
  std::sort(cuts.begin(), cuts.end());  // an SOH within eight bytes of another
  return cuts;
}

std::vector<std::size_t> cutsEvery(std::size_t stride, std::size_t size) {
  std::vector<std::size_t> cuts;
  for (std::size_t i = stride; i < size; i += stride) cuts.push_back(i);
  cuts.push_back(size);
  return cuts;
}

// Scans the pieces between the cuts; with stopEarly the pieces after the
// scan said it is over are left out, as a caller may.
void scanInPieces(MsgIdKey& msgId, MsgIdKey& reply, const std::uint8_t* data,
                  const std::vector<std::size_t>& cuts, std::uint32_t tagHash, bool stopEarly) {
  std::memset(msgId.text, 'x', msgIdTextSize);
  std::memset(reply.text, 'y', msgIdTextSize);
  knotter::KludgeScan scan;
  knotter::startKludgeScan(scan, msgId, reply, tagHash);
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    const bool more = knotter::feedKludgeScan(scan, data + from, data + cut);
    from = cut;
    if (!more && stopEarly) break;
  }
  knotter::finishKludgeScan(scan);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The control information gets its own block, so that a read past its end
  // is caught even when the input buffer is larger.
  auto* control = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
  if (size != 0) std::memcpy(control, data, size);
  const std::uint32_t tagHash = knotter::MsgIdHash("FUZZ.AREA");

  MsgIdKey msgId;
  MsgIdKey reply;
  // Stale bytes in the text must not survive the scan.
  std::memset(msgId.text, 'x', msgIdTextSize);
  std::memset(reply.text, 'y', msgIdTextSize);
  knotter::scanKludges(msgId, reply, control, control + size, tagHash);
  if (!wellFormed(msgId) || !wellFormed(reply)) std::abort();

  MsgIdKey expectedMsgId;
  MsgIdKey expectedReply;
  referenceScan(expectedMsgId, expectedReply, control, control + size, tagHash);
  if (!sameKey(msgId, expectedMsgId) || !sameKey(reply, expectedReply)) std::abort();

  const std::size_t stride = size == 0 ? 1 : 1 + control[0] % 8;
  for (const auto& cuts : {cutsAtKludges(control, size), cutsEvery(stride, size)}) {
    for (bool stopEarly : {false, true}) {
      scanInPieces(msgId, reply, control, cuts, tagHash, stopEarly);
      if (!wellFormed(msgId) || !wellFormed(reply)) std::abort();
      if (!sameKey(msgId, expectedMsgId) || !sameKey(reply, expectedReply)) std::abort();
    }
  }

  std::free(control);
  return 0;
}
