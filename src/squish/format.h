// The parts of the Squish format that the tool reads and writes, as named
// offsets, and little-endian access to them over a bounds-checked view of the
// mapped data file. Nothing else in a base is interpreted or changed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/bytes.h"

namespace knotter {

// Base header (SQBASE), at offset 0 of the data file.
//   OFFSET  SIZE  FIELD
//        8     4  high_msg    number of messages (read as signed)
//      120     4  end_frame   end of the used part of the file
//      130     2  sz_sqhdr    size of a frame header
constexpr std::size_t sqbaseHighMsgOffset = 8;
constexpr std::size_t sqbaseEndFrameOffset = 120;
constexpr std::size_t sqbaseSzSqhdrOffset = 130;
constexpr std::size_t sqbaseFieldsEnd = sqbaseSzSqhdrOffset + 2;

// Index entry (SQIDX), 12 bytes each, entry i at 12 * i of the index file.
//   OFFSET  SIZE  FIELD
//        0     4  ofs         frame offset in the data file
//        4     4  umsgid      the message's unique id
//        8     4  hash        not read
constexpr std::size_t sqidxSize = 12;
constexpr std::size_t sqidxOfsOffset = 0;
constexpr std::size_t sqidxUmsgidOffset = 4;

// Frame header (SQHDR), at ofs.
//   OFFSET  SIZE  FIELD
//        0     4  id          must be sqhdrSignature
//       16     4  msg_length  bytes of the frame after the frame header
//       20     4  clen        length of the control information
constexpr std::size_t sqhdrIdOffset = 0;
constexpr std::size_t sqhdrMsgLengthOffset = 16;
constexpr std::size_t sqhdrClenOffset = 20;
constexpr std::size_t sqhdrFieldsEnd = sqhdrClenOffset + 4;
constexpr std::uint32_t sqhdrSignature = 0xAFAE4453;

// Message header (XMSG), 238 bytes at ofs + sz_sqhdr; the control information
// follows it directly.
//   OFFSET  SIZE  FIELD
//       76    72  subj
//      174     4  replyto
//      178    36  replies[9]
constexpr std::size_t xmsgSize = 238;
constexpr std::size_t xmsgSubjOffset = 76;
constexpr std::size_t xmsgSubjSize = 72;
constexpr std::size_t xmsgReplytoOffset = 174;
constexpr std::size_t xmsgRepliesOffset = 178;
constexpr std::size_t replySlots = 9;
static_assert(xmsgSubjOffset + xmsgSubjSize <= xmsgReplytoOffset);
static_assert(xmsgReplytoOffset + 4 == xmsgRepliesOffset);
static_assert(xmsgRepliesOffset + replySlots * 4 == 214);

// The three base header fields the linkers use. Valid only when the data file
// holds the whole of them (see readBaseHeader).
struct BaseHeader {
  std::int32_t highMsg = 0;
  std::uint32_t endFrame = 0;
  std::uint16_t szSqhdr = 0;
};

// Reads the base header fields; false when the data file is too short for them.
inline bool readBaseHeader(Bytes base, BaseHeader& header) {
  if (!inBounds(base, 0, sqbaseFieldsEnd)) return false;
  header.highMsg = static_cast<std::int32_t>(load32(base, sqbaseHighMsgOffset));
  header.endFrame = load32(base, sqbaseEndFrameOffset);
  header.szSqhdr = load16(base, sqbaseSzSqhdrOffset);
  return true;
}

// Where one message lies in the data file, computed in 64 bits so that a
// hostile ofs, sz_sqhdr or clen cannot wrap (see checkFrame).
struct FrameLayout {
  std::uint64_t header = 0;      // ofs + sz_sqhdr: the message header
  std::uint64_t control = 0;     // header + 238: the control information
  std::uint64_t controlEnd = 0;  // control + clen
};

// Reads the frame id at ofs into id; false when those four bytes lie outside
// the data file.
inline bool readFrameId(Bytes base, std::uint32_t ofs, std::uint32_t& id) {
  if (!inBounds(base, ofs, 4)) return false;
  id = load32(base, ofs + sqhdrIdOffset);
  return true;
}

// Finds the message header of the frame at ofs: at = ofs + sz_sqhdr. False
// when the header would reach outside the data file, or when sz_sqhdr is too
// small to hold the frame header fields the linkers read.
inline bool locateMessageHeader(Bytes base, std::uint32_t ofs, std::uint16_t szSqhdr,
                                std::uint64_t& at) {
  // A smaller frame header would lay the message header over the frame's
  // own fields, and the reply-chain fields we write over other fields of the
  // real message header: such a base is damaged, not linkable.
  if (szSqhdr < sqhdrFieldsEnd) return false;
  at = std::uint64_t{ofs} + szSqhdr;
  return inBounds(base, at, xmsgSize);
}

// The parts of a frame at ofs whose message header locateMessageHeader found
// inside the data file; clen lies in the frame header before it. Whether the
// control information ends inside the file is for the caller to check.
inline FrameLayout layFrame(Bytes base, std::uint32_t ofs, std::uint16_t szSqhdr) {
  FrameLayout frame;
  frame.header = std::uint64_t{ofs} + szSqhdr;
  frame.control = frame.header + xmsgSize;
  frame.controlEnd = frame.control + load32(base, ofs + sqhdrClenOffset);
  return frame;
}

// Listed frames must not overlap, or the links stored for one message would
// land in another's text. Taken in ascending ofs (equal offsets in index
// order), a frame reaches from ofs to ofs + sz_sqhdr + msg_length, and one
// that begins before a frame taken earlier ends is damaged; so is a second
// index entry for the same frame. A frame is taken only once it has passed
// its own checks (id, inside the data file), so a damaged frame is reported
// for what is wrong with it first, and its msg_length can be read.
class FrameOrder {
 public:
  // Takes the next frame; false when it begins inside one taken before.
  bool next(std::uint32_t ofs, std::uint16_t szSqhdr, std::uint32_t msgLength) {
    const bool clear = ofs >= end_;
    // A frame holds at least its message header, whose links are written,
    // whatever a short msg_length claims.
    const std::uint64_t length = std::max<std::uint64_t>(msgLength, xmsgSize);
    end_ = std::max(end_, std::uint64_t{ofs} + szSqhdr + length);
    return clear;
  }
  // The same for the frame at ofs of the mapped data file, whose frame
  // header lies inside it.
  bool next(Bytes base, std::uint32_t ofs, std::uint16_t szSqhdr) {
    return next(ofs, szSqhdr, load32(base, ofs + sqhdrMsgLengthOffset));
  }

 private:
  std::uint64_t end_ = 0;  // the furthest end of a frame taken so far
};

}  // namespace knotter
