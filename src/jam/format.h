// The parts of the JAM format that the tool reads and writes, as named
// offsets over the mapped header file (.jhr) and the index (.jdx). Only the
// three reply fields of a message header and ModCounter are ever written;
// the text file (.jdt) and the lastread file are never opened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/bytes.h"

namespace knotter {

// "JAM" and a NUL, little-endian: the signature of the header block and of
// every message header.
constexpr std::uint32_t jamSignature = 0x004D414A;

// Header block, at offset 0 of the .jhr.
//   OFFSET  SIZE  FIELD
//        0     4  Signature   jamSignature
//        8     4  ModCounter  +1 once per area in which a header changed
//       20     4  BaseMsgNum  number of the first .jdx record; at least 1
// ActiveMsgs (12) and the reserved words are other writers' and left alone.
constexpr std::size_t jamBlockSignatureOffset = 0;
constexpr std::size_t jamBlockModCounterOffset = 8;
constexpr std::size_t jamBlockBaseMsgNumOffset = 20;
constexpr std::size_t jamBlockSize = 1024;

// Message header, at HdrOffset; SubfieldLen bytes of subfields follow the
// fixed part directly.
//   OFFSET  SIZE  FIELD
//        0     4  Signature    jamSignature
//        4     2  Revision     jamRevision: the offsets here hold for it only
//        8     4  SubfieldLen  bytes of subfields after the fixed part
//       24     4  ReplyTo      number of the message this one answers; 0 none
//       28     4  Reply1st     number of its first reply; 0 none
//       32     4  ReplyNext    number of the next reply to the same original
//       52     4  Attribute    jamDeleted marks a deleted message
// The stored MsgIdCRC and ReplyCRC (16, 20) and MsgNum (48) are not read:
// messages are numbered by their .jdx position and keyed by their text.
constexpr std::size_t jamHdrSignatureOffset = 0;
constexpr std::size_t jamHdrRevisionOffset = 4;
constexpr std::size_t jamHdrSubfieldLenOffset = 8;
constexpr std::size_t jamHdrReplyToOffset = 24;
constexpr std::size_t jamHdrReply1stOffset = 28;
constexpr std::size_t jamHdrReplyNextOffset = 32;
constexpr std::size_t jamHdrAttributeOffset = 52;
constexpr std::size_t jamHdrSize = 76;
constexpr std::uint16_t jamRevision = 1;
constexpr std::uint32_t jamDeleted = 0x80000000;
static_assert(jamHdrReplyToOffset + 4 == jamHdrReply1stOffset);
static_assert(jamHdrReply1stOffset + 4 == jamHdrReplyNextOffset);
static_assert(jamHdrAttributeOffset + 4 <= jamHdrSize);

// Subfield, one after the other in the subfield area.
//   OFFSET  SIZE  FIELD
//        0     2  LoID    what the data is (the ids below)
//        2     2  HiID    not read
//        4     4  DatLen  bytes of data after the subfield head
constexpr std::size_t jamSubLoIdOffset = 0;
constexpr std::size_t jamSubDatLenOffset = 4;
constexpr std::size_t jamSubHeadSize = 8;
constexpr std::uint16_t jamLoIdMsgId = 4;
constexpr std::uint16_t jamLoIdReplyId = 5;
constexpr std::uint16_t jamLoIdSubject = 6;
constexpr std::uint16_t jamLoIdFtsKludge = 2000;  // any other kludge, without its SOH

// Index record, 8 bytes each; record i holds message number BaseMsgNum + i.
//   OFFSET  SIZE  FIELD
//        0     4  UserCRC    not read
//        4     4  HdrOffset  jamNoHeader for a slot without a message
constexpr std::size_t jamIdxSize = 8;
constexpr std::size_t jamIdxHdrOffsetOffset = 4;
constexpr std::uint32_t jamNoHeader = 0xFFFFFFFF;

}  // namespace knotter
