// What the linkers read from a JAM message: its MSGID and REPLY keys, from
// the subfields presented to the kludge scanner as the control information
// they came from, and its subject.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/bytes.h"
#include "jam/format.h"
#include "linker/kludge_scanner.h"

namespace knotter {

constexpr std::size_t jamSubjectSize = 72;  // as much as a Squish subject holds

// Feeds the subfields of the header at ofs, in file order, to feed(begin,
// end) as the control information they stand for: MSGID as "\x01MSGID: "
// and its data, REPLYID as "\x01REPLY: " and its data, any other kludge as
// "\x01" and its text; the rest is skipped. Stops once feed returns false.
// REQUIRES: a live header that passed the checks of listJamHeaders.
template <typename Feed>
void feedJamKludges(Bytes base, std::uint32_t ofs, Feed feed);

// The keys of the header at ofs, as scanKludges gives them for the
// equivalent control information.
void scanJamKeys(Bytes base, std::uint32_t ofs, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                 std::uint32_t areaTagHash);

// Copies the first jamSubjectSize bytes of the first SUBJECT subfield into
// field and fills the rest with zeros; all zeros without one. REQUIRES: as
// for feedJamKludges.
void readJamSubject(Bytes base, std::uint32_t ofs, std::uint8_t (&field)[jamSubjectSize]);

// The lead of the control information a subfield stands for, or null for a
// subfield that is no kludge.
const std::uint8_t* jamKludgeLead(std::uint16_t loId, std::size_t& length);

// Calls visit(loId, data, datLen) for each subfield of the header at ofs,
// in file order, until it returns false. REQUIRES: as for feedJamKludges.
template <typename Visit>
void forEachJamSubfield(Bytes base, std::uint32_t ofs, Visit visit) {
  std::uint64_t at = std::uint64_t{ofs} + jamHdrSize;
  const std::uint64_t end = at + load32(base, ofs + jamHdrSubfieldLenOffset);
  while (at < end) {
    const std::uint32_t datLen = load32(base, at + jamSubDatLenOffset);
    const std::uint8_t* data = base.data() + at + jamSubHeadSize;
    if (!visit(load16(base, at + jamSubLoIdOffset), data, datLen)) return;
    at += jamSubHeadSize + datLen;
  }
}

template <typename Feed>
void feedJamKludges(Bytes base, std::uint32_t ofs, Feed feed) {
  forEachJamSubfield(base, ofs, [&](std::uint16_t loId, const std::uint8_t* data,
                                    std::uint32_t length) {
    std::size_t leadLength = 0;
    const std::uint8_t* lead = jamKludgeLead(loId, leadLength);
    // The SOH that starts each piece ends the field before it.
    return lead == nullptr || (feed(lead, lead + leadLength) && feed(data, data + length));
  });
}

}  // namespace knotter
