// Writes *.MSG message files for tests, so that a test states its case as a
// list of files. Every offset is a literal here, independent of the
// product's own format constants; there are helpers to read the two link
// fields back and to describe a directory's links in one line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ktest {

// The 190-byte header at offset 0: from 0 (36), to 36 (36), subject 72
// (72), date 144 (20), replyTo 184, attribute 186, up 188.
namespace msgAt {
constexpr std::size_t from = 0;
constexpr std::size_t subject = 72;
constexpr std::size_t replyTo = 184;
constexpr std::size_t attribute = 186;
constexpr std::size_t up = 188;
constexpr std::size_t text = 190;
}  // namespace msgAt

struct MsgFileSpec {
  std::string from = "Tester";
  std::string to = "All";
  std::string subject{};
  std::string text = "Hello\r";  // everything after the header, stored as given
  std::uint16_t replyTo = 0;     // link fields as found before linking
  std::uint16_t up = 0;
  std::uint16_t attribute = 0x0100;
};

// The text of a message as a tosser stores it: each kludge as SOH, the
// kludge and lineEnd, then the body and a NUL.
std::string msgText(const std::vector<std::string>& kludges, const std::string& body = "Hello\r",
                    const std::string& lineEnd = "\r");

// "MSGID: 2:5020/1 0000000a" for serial 0xa; the same for REPLY.
std::string msgIdKludge(std::uint32_t serial);
std::string replyKludge(std::uint32_t serial);

// The bytes of one message file.
std::string buildMsgFile(const MsgFileSpec& spec);

// Writes dir/name and returns its path.
std::filesystem::path writeMsgFile(const std::filesystem::path& dir, const std::string& name,
                                   const MsgFileSpec& spec);

struct MsgLinks {
  std::uint16_t replyTo = 0;
  std::uint16_t up = 0;
  bool operator==(const MsgLinks&) const = default;
};

// replyTo and up of a message file.
MsgLinks readMsgLinks(const std::filesystem::path& file);

// "10: 0 11; 11: 10 0" for the files N.msg of dir, by ascending number.
std::string describeMsgLinks(const std::filesystem::path& dir,
                             const std::vector<std::uint32_t>& numbers);

// True when a walk up replyTo, and one along up, ends from every listed
// file (fields naming a number that is not listed end a walk).
bool msgLinksEnd(const std::filesystem::path& dir, const std::vector<std::uint32_t>& numbers);

}  // namespace ktest
