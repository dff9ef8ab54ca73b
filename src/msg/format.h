// The parts of the *.MSG format that the tool reads and writes: one file per
// message, named by its number, in one directory per area. Only the two
// 16-bit link fields of a message file's header are ever written; 1.msg, the
// lastread file and the directory itself never are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace knotter {

// Message file header, at offset 0; the text follows it up to a NUL or the
// end of the file. Integers are little-endian.
//   OFFSET  SIZE  FIELD
//        0    36  fromUserName  read only to tell a highwater file
//       72    72  subject       Subj linking
//      184     2  replyTo       number of the message this one answers; 0 none
//      186     2  attribute     never read, never written: others set its bits
//      188     2  nextReply     ("up") number of a reply to this one; 0 none
// The names, dates, addresses and costs in between are not read.
constexpr std::size_t msgFromOffset = 0;
constexpr std::size_t msgFromSize = 36;
constexpr std::size_t msgSubjectOffset = 72;
constexpr std::size_t msgSubjectSize = 72;
constexpr std::size_t msgReplyToOffset = 184;
constexpr std::size_t msgAttributeOffset = 186;
constexpr std::size_t msgUpOffset = 188;
constexpr std::size_t msgHeaderSize = 190;
static_assert(msgSubjectOffset + msgSubjectSize == 144);
static_assert(msgReplyToOffset + 2 == msgAttributeOffset);
static_assert(msgAttributeOffset + 2 == msgUpOffset);
static_assert(msgUpOffset + 2 == msgHeaderSize);

// What the link fields can name: a file number, 16 bits.
constexpr std::uint32_t msgLargestNumber = 65535;

// 1.msg is where tossers and readers keep the highwater mark: it never takes
// part, in any area.
constexpr std::uint32_t msgHighwaterNumber = 1;

// The from names of the highwater files the message APIs write, compared
// byte for byte up to their NUL, and CrashMail's from and subject.
constexpr std::string_view msgApiHighwaterFrom = "-=|smapi internal|=-";
constexpr std::string_view maximusHighwaterFrom = "-=|\x7FSquishMail\x7F|=-";
constexpr std::string_view crashMailHighwaterFrom = "CrashMail II";
constexpr std::string_view crashMailHighwaterSubject = "HighWater mark";

// True when the header holds one of the highwater signatures. REQUIRES:
// msgHeaderSize bytes.
bool isHighwaterHeader(const std::uint8_t* header);

// The number a directory entry names when it is a canonical message file
// name: one digit 1 to 9, at most four more digits, ".msg" in lower case,
// and at most msgLargestNumber. 0 for every other name (0.msg, 0009.msg,
// 12.MSG, 12a.msg, 65536.msg, lastread). Only such a name round-trips
// through "%u.msg", the name every other *.MSG program opens.
std::uint32_t msgNumberOfName(std::string_view name);

// Longest canonical name and its NUL: "65535.msg".
constexpr std::size_t msgNameBufferSize = 10;

// Writes the canonical name of number into out.
void msgNameOf(std::uint32_t number, char (&out)[msgNameBufferSize]);

// The path that reports give a file of the directory dir: dir, one "/" and
// name (so name "" gives the directory with one trailing "/").
std::string msgPathOf(std::string_view dir, std::string_view name);

// The directory of an area path: without its trailing slashes, the root
// staying "/".
std::string_view msgDirectoryOf(std::string_view path);

}  // namespace knotter
