// What the linkers read from a JAM message: its MSGID and REPLY keys, from
// the subfields presented to the kludge scanner as the control information
// they came from, and its subject.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/bytes.h"
#include "linker/kludge_scanner.h"

namespace knotter {

constexpr std::size_t jamSubjectSize = 72;  // as much as a Squish subject holds

// Feeds the subfields of the header at ofs, in file order, to scan: MSGID as
// "\x01MSGID: " and its data, REPLYID as "\x01REPLY: " and its data, any
// other kludge as "\x01" and its text; the rest is skipped. Stops once the
// scan is over. REQUIRES: a live header that passed the checks of
// listJamHeaders, a started scan.
void feedJamKludges(Bytes base, std::uint32_t ofs, KludgeScan& scan);

// The keys of the header at ofs, as scanKludges gives them for the
// equivalent control information; umsgid is left as it is.
void scanJamKeys(Bytes base, std::uint32_t ofs, MsgIdKey& msgIdKey, MsgIdKey& replyKey,
                 std::uint32_t areaTagHash);

// Copies the first jamSubjectSize bytes of the first SUBJECT subfield into
// field and fills the rest with zeros; all zeros without one. REQUIRES: as
// for feedJamKludges.
void readJamSubject(Bytes base, std::uint32_t ofs, std::uint8_t (&field)[jamSubjectSize]);

}  // namespace knotter
