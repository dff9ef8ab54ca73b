#include "jam/subfields.h"

#include <algorithm>
#include <cstring>

#include "jam/format.h"

namespace knotter {
namespace {

constexpr std::uint8_t msgIdLead[] = "\x01MSGID: ";
constexpr std::uint8_t replyLead[] = "\x01REPLY: ";
constexpr std::uint8_t kludgeLead[] = "\x01";

}  // namespace

const std::uint8_t* jamKludgeLead(std::uint16_t loId, std::size_t& length) {
  switch (loId) {
    case jamLoIdMsgId: length = sizeof msgIdLead - 1; return msgIdLead;
    case jamLoIdReplyId: length = sizeof replyLead - 1; return replyLead;
    case jamLoIdFtsKludge: length = sizeof kludgeLead - 1; return kludgeLead;
    default: return nullptr;
  }
}

void scanJamKeys(Bytes base, std::uint32_t ofs, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                 std::uint32_t areaTagHash) {
  KludgeScan scan;
  startKludgeScan(scan, msgIdKey, replyKey, areaTagHash);
  feedJamKludges(base, ofs, [&](const std::uint8_t* begin, const std::uint8_t* end) {
    return feedKludgeScan(scan, begin, end);
  });
  finishKludgeScan(scan);
}

void readJamSubject(Bytes base, std::uint32_t ofs, std::uint8_t (&field)[jamSubjectSize]) {
  std::memset(field, 0, sizeof field);
  forEachJamSubfield(base, ofs, [&](std::uint16_t loId, const std::uint8_t* data, std::uint32_t length) {
    if (loId != jamLoIdSubject) return true;
    std::memcpy(field, data, std::min<std::size_t>(length, sizeof field));
    return false;
  });
}

}  // namespace knotter
