#include "jam/subfields.h"

#include <algorithm>
#include <cstring>

#include "jam/format.h"

namespace knotter {
namespace {

constexpr std::uint8_t msgIdLead[] = "\x01MSGID: ";
constexpr std::uint8_t replyLead[] = "\x01REPLY: ";
constexpr std::uint8_t kludgeLead[] = "\x01";

// The control information a subfield stands for: the lead before its data,
// or null for a subfield that is no kludge.
const std::uint8_t* leadOf(std::uint16_t loId, std::size_t& length) {
  switch (loId) {
    case jamLoIdMsgId: length = sizeof msgIdLead - 1; return msgIdLead;
    case jamLoIdReplyId: length = sizeof replyLead - 1; return replyLead;
    case jamLoIdFtsKludge: length = sizeof kludgeLead - 1; return kludgeLead;
    default: return nullptr;
  }
}

// Calls visit(loId, data, datLen) for each subfield of the header at ofs
// until it returns false.
template <typename Visit>
void forEachSubfield(Bytes base, std::uint32_t ofs, Visit visit) {
  std::uint64_t at = std::uint64_t{ofs} + jamHdrSize;
  const std::uint64_t end = at + load32(base, ofs + jamHdrSubfieldLenOffset);
  while (at < end) {
    const std::uint32_t datLen = load32(base, at + jamSubDatLenOffset);
    const std::uint8_t* data = base.data() + at + jamSubHeadSize;
    if (!visit(load16(base, at + jamSubLoIdOffset), data, datLen)) return;
    at += jamSubHeadSize + datLen;
  }
}

}  // namespace

void feedJamKludges(Bytes base, std::uint32_t ofs, KludgeScan& scan) {
  forEachSubfield(base, ofs, [&](std::uint16_t loId, const std::uint8_t* data, std::uint32_t length) {
    std::size_t leadLength = 0;
    const std::uint8_t* lead = leadOf(loId, leadLength);
    if (lead == nullptr) return true;
    // The SOH that starts each piece ends the field before it.
    return feedKludgeScan(scan, lead, lead + leadLength) &&
           feedKludgeScan(scan, data, data + length);
  });
}

void scanJamKeys(Bytes base, std::uint32_t ofs, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                 std::uint32_t areaTagHash) {
  KludgeScan scan;
  startKludgeScan(scan, msgIdKey, replyKey, areaTagHash);
  feedJamKludges(base, ofs, scan);
  finishKludgeScan(scan);
}

void readJamSubject(Bytes base, std::uint32_t ofs, std::uint8_t (&field)[jamSubjectSize]) {
  std::memset(field, 0, sizeof field);
  forEachSubfield(base, ofs, [&](std::uint16_t loId, const std::uint8_t* data, std::uint32_t length) {
    if (loId != jamLoIdSubject) return true;
    std::memcpy(field, data, std::min<std::size_t>(length, sizeof field));
    return false;
  });
}

}  // namespace knotter
