// Writes small Squish bases for tests, so that a test states its case as a
// list of messages. Every offset is a literal here, independent of the
// product's own format constants, and there are helpers to damage a base and
// to read the reply-chain fields back.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ktest {

struct MessageSpec {
  std::uint32_t umsgid = 0;
  std::string subject{};
  std::string control{};  // stored as given, e.g. "\x01MSGID: 2:5020/10 0000000a"
  std::string body{};
  std::uint32_t replyto = 0;  // reply-chain fields as found before linking
  std::array<std::uint32_t, 9> replies{};
  std::string from = "Tester";
  std::string to = "All";
  std::optional<std::uint32_t> headerUmsgid{};  // XMSG umsgid; default umsgid
  std::uint16_t frameType = 0;                // 1 marks a free frame
};

struct BaseSpec {
  std::vector<MessageSpec> messages{};  // in data file order
  std::uint16_t szSqhdr = 28;         // frame header size; at least 24
  // Index entry k refers to messages[indexOrder[k]]; empty = file order.
  std::vector<std::size_t> indexOrder{};
  std::size_t staleEntries = 0;  // trailing {0, 0xFFFFFFFF, 0xFFFFFFFF}
  std::optional<std::uint32_t> highMsg{};  // default: number of messages
};

struct BuiltBase {
  std::string sqd{};
  std::string sqi{};
  std::vector<std::uint32_t> frameOffsets{};  // per message, file order
};

struct ReplyFields {
  std::uint32_t replyto = 0;
  std::array<std::uint32_t, 9> replies{};
  bool operator==(const ReplyFields&) const = default;
};

struct IndexEntry {
  std::uint32_t ofs = 0;
  std::uint32_t umsgid = 0;
  std::uint32_t hash = 0;
};

// A small thread whose every header changes on a first link by any link
// type: 2 and 3 reply to 1, and all three share a subject.
BaseSpec threeMessageThread(std::optional<std::uint32_t> highMsg = std::nullopt);

// Builds both files of a base in memory.
BuiltBase buildBase(const BaseSpec& layout);

// Builds the base and writes basePath.sqd and basePath.sqi.
BuiltBase writeBase(const BaseSpec& layout, const std::filesystem::path& basePath);

// basePath + suffix, e.g. sqd(base) == "dir/NAME.sqd".
std::filesystem::path sqd(const std::filesystem::path& basePath);
std::filesystem::path sqi(const std::filesystem::path& basePath);

// Little-endian field access in a byte string; throws when out of range.
std::uint32_t getU32(const std::string& bytes, std::size_t at);
std::uint16_t getU16(const std::string& bytes, std::size_t at);
void putU32(std::string& bytes, std::size_t at, std::uint32_t value);
void putU16(std::string& bytes, std::size_t at, std::uint16_t value);

// Damage helpers that rewrite a file in place.
void setU32(const std::filesystem::path& file, std::size_t at, std::uint32_t value);
void setU16(const std::filesystem::path& file, std::size_t at, std::uint16_t value);
void truncateFile(const std::filesystem::path& file, std::size_t size);

// The index entry at `position` of basePath.sqi.
IndexEntry readIndexEntry(const std::filesystem::path& basePath, std::size_t position);

// replyto and replies[9] of the message at index position `position`,
// found through the entry's ofs and the base header's sz_sqhdr.
ReplyFields readReplyFields(const std::filesystem::path& basePath, std::size_t position);

// The data file with every message's reply-chain fields zeroed, so that two
// bases can be compared in all other bytes.
std::string withoutReplyFields(const std::filesystem::path& basePath);

}  // namespace ktest
