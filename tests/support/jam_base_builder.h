// Writes small JAM bases for tests, so that a test states its case as a list
// of messages and their subfields. Every offset is a literal here,
// independent of the product's own format constants, and there are helpers
// to damage a base and to read the reply fields back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ktest {

// Field positions of the JAM records, written out for the tests that damage
// a base on purpose.
namespace jamAt {
constexpr std::size_t modCounter = 8;    // header block
constexpr std::size_t activeMsgs = 12;   // header block
constexpr std::size_t baseMsgNum = 20;   // header block
constexpr std::size_t signature = 0;     // header block and message header
constexpr std::size_t revision = 4;      // message header
constexpr std::size_t subfieldLen = 8;   // message header
constexpr std::size_t replyTo = 24;      // message header
constexpr std::size_t msgNum = 48;       // message header
constexpr std::size_t attribute = 52;    // message header
constexpr std::size_t firstSubfield = 76;
}  // namespace jamAt

struct JamSubfield {
  std::uint16_t loId = 0;
  std::string data{};
};

// The subfields writers use for what the linker reads.
JamSubfield msgIdField(const std::string& text);     // LoID 4
JamSubfield replyField(const std::string& text);     // LoID 5
JamSubfield subjectField(const std::string& text);   // LoID 6
JamSubfield ftsKludge(const std::string& text);      // LoID 2000, without SOH

struct JamMessageSpec {
  std::vector<JamSubfield> subfields{};  // in file order
  std::uint32_t replyTo = 0;   // reply fields as found before linking
  std::uint32_t reply1st = 0;
  std::uint32_t replyNext = 0;
  bool deleted = false;        // the attribute's deleted bit
  bool hardDeleted = false;    // no header: the record is FFFFFFFF/FFFFFFFF
  std::optional<std::uint32_t> msgNum{};   // stored MsgNum; default by position
  std::optional<std::uint32_t> userCrc{};  // .jdx UserCRC; default a fixed value
  std::string text = "Hello\r";            // in the .jdt
};

struct JamBaseSpec {
  std::vector<JamMessageSpec> messages{};  // in .jdx order, headers in the same order
  std::uint32_t baseMsgNum = 1;
  std::uint32_t modCounter = 0;
  std::optional<std::uint32_t> activeMsgs{};  // default: messages with a header
};

struct BuiltJamBase {
  std::string jhr{};
  std::string jdx{};
  std::string jdt{};
  std::vector<std::uint32_t> headerOffsets{};  // per message; FFFFFFFF when hard-deleted
};

struct JamLinks {
  std::uint32_t replyTo = 0;
  std::uint32_t reply1st = 0;
  std::uint32_t replyNext = 0;
  bool operator==(const JamLinks&) const = default;
};

// Builds the three files of a base in memory.
BuiltJamBase buildJamBase(const JamBaseSpec& layout);

// Builds the base and writes basePath.jhr and basePath.jdx, and
// basePath.jdt when withText.
BuiltJamBase writeJamBase(const JamBaseSpec& layout, const std::filesystem::path& basePath,
                          bool withText = false);

std::filesystem::path jhr(const std::filesystem::path& basePath);
std::filesystem::path jdx(const std::filesystem::path& basePath);
std::filesystem::path jdt(const std::filesystem::path& basePath);

// HdrOffset of .jdx record `position` of basePath.
std::uint32_t jamHeaderOffset(const std::filesystem::path& basePath, std::size_t position);

// Rewrites four bytes of the header of record `position` (at its HdrOffset
// plus `at`).
void setJamHeaderU32(const std::filesystem::path& basePath, std::size_t position,
                     std::size_t at, std::uint32_t value);

// The reply fields of the header of record `position`.
JamLinks readJamLinks(const std::filesystem::path& basePath, std::size_t position);

// "number: ReplyTo Reply1st ReplyNext" for every record with a header, in
// .jdx order, joined by "; ".
std::string describeJamLinks(const std::filesystem::path& basePath);

// The links in the notation of describeLinks for Squish bases: "number:
// ReplyTo / " and the replies found from Reply1st along ReplyNext ("-" for
// none; a list that does not end is cut with "..."), for every record with
// a header, in .jdx order, joined by "; ".
std::string describeJamThreads(const std::filesystem::path& basePath);

// True when a walk up ReplyTo, and one down Reply1st and along ReplyNext,
// from every header ends.
bool jamLinksEnd(const std::filesystem::path& basePath);

}  // namespace ktest
