// Gives the origin texts of an area small numbers, so that a key fits in 64
// bits and equal identifiers compare equal as integers. The table is bounded:
// an area in which nearly every message names its own origin costs no more
// memory than one with a few dozen origins, and the table stays in cache.
// Texts that no longer fit (the table is full, or the probe for them is too
// long) get a hash instead of a number; keys that share such a hash are told
// apart by their texts when the keys are grouped.
#pragma once

#include <cstdint>

#include "linker/kludge_scanner.h"

namespace knotter {

// The number of an origin text: 0 for the empty text, 1 to maxOriginTexts
// for a text of the table, hashedText plus originTextHash otherwise. A
// hashed text is never in the table, so a number and a hash never stand for
// the same text.
constexpr std::uint32_t hashedText = 0x80000000;
constexpr std::uint32_t maxOriginTexts = 16383;
inline bool isHashedText(std::uint32_t id) { return (id & hashedText) != 0; }

// 31 bits of a keyed hash of the whole 24-byte text, drawn apart from the
// hash that places the text in the table.
std::uint32_t originTextHash(const char (&text)[msgIdTextSize]);

// The last key with a hashed text seen per line of a small cache.
struct RecentKey {
  std::uint64_t key = 0;
  char text[msgIdTextSize] = {};
};

struct OriginTexts {
  std::uint32_t* slots = nullptr;  // 16 bits of the text's hash, then its number; 0 is empty
  std::uint64_t slotCount = 0;     // a power of two
  char (*texts)[msgIdTextSize] = nullptr;
  std::uint32_t used = 0;
  std::uint32_t room = 0;          // texts the table takes at most
  RecentKey* recent = nullptr;
  std::uint64_t recentLines = 0;   // a power of two
};

// Bytes the table takes for an area of capacity messages.
std::uint64_t originTextsBytes(std::uint64_t capacity);

// Starts an empty table in the given bytes.
void startOriginTexts(OriginTexts& table, std::uint8_t* bytes, std::uint64_t capacity);

// The number of a text whose bytes after the first NUL are all 0, as the
// kludge scanner leaves them.
std::uint32_t originTextNumber(OriginTexts& table, const char (&text)[msgIdTextSize]);

// Keys are collected in file order, and a reply mostly follows its original
// closely. A key with a hashed text that finds the last key with the same
// key field still in the cache, with the same text, names the same
// identifier as that earlier key: true then, so that their group need not
// be checked for it. Either way the key takes the cache line.
bool sameAsRecentKey(OriginTexts& table, std::uint64_t key, const char (&text)[msgIdTextSize]);

}  // namespace knotter
