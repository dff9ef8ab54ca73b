#include "jam_inspection.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "base/mapping.h"
#include "jam/jam_base.h"
#include "log/area_reports.h"
#include "jam/subfields.h"
#include "linker/subject_normaliser.h"

namespace knotter::dump {
namespace {

FrameState stateOf(JamHeaderCheck check) {
  switch (check) {
    case JamHeaderCheck::ok: return FrameState::ok;
    case JamHeaderCheck::badHeader: return FrameState::badFrame;
    case JamHeaderCheck::outsideFile: return FrameState::outsideFile;
    case JamHeaderCheck::overlapping: break;
  }
  return FrameState::overlapping;
}

// Takes the fields of a header that passed, and the keys and subject of a
// live one (the linker reads no more of a deleted one).
void inspectHeader(Bytes base, std::uint32_t areaTagHash, std::int32_t subjectLength,
                   MessageView& view) {
  view.replyto = load32(base, view.ofs + jamHdrReplyToOffset);
  view.replies[0] = load32(base, view.ofs + jamHdrReply1stOffset);
  view.replyNext = load32(base, view.ofs + jamHdrReplyNextOffset);
  view.deleted = jamHeaderDeleted(base, view.ofs);
  if (view.deleted) return;
  scanJamKeys(base, view.ofs, view.msgId, view.reply, areaTagHash);
  std::uint8_t subject[jamSubjectSize];
  readJamSubject(base, view.ofs, subject);
  view.subjectLength =
      static_cast<std::uint8_t>(normaliseSubject(subject, subjectLength, view.subject));
}

// The records that name a header inside the file, by ascending offset (equal
// offsets in index order); the later of two that share or overlap is marked.
void orderHeaders(BaseInspection& inspection) {
  std::vector<std::uint32_t>& order = inspection.fileOrder;
  for (const MessageView& view : inspection.messages) {
    if (view.state == FrameState::ok) order.push_back(view.position);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return inspection.messages[a].ofs < inspection.messages[b].ofs;
  });
  for (std::size_t k = 1; k < order.size(); ++k) {
    const MessageView& before = inspection.messages[order[k - 1]];
    MessageView& view = inspection.messages[order[k]];
    if (jamHeadersOverlap(before.ofs, view.ofs)) {
      view.state = FrameState::sharedHeader;
    }
  }
}

void readHeaders(const DumpOptions& options, Bytes base, const std::uint8_t* index,
                 BaseInspection& inspection) {
  for (std::uint32_t i = 0; i < inspection.messages.size(); ++i) {
    MessageView& view = inspection.messages[i];
    view.position = i;
    view.umsgid = inspection.baseMsgNum + i;
    view.ofs = jamRecordOffset(index, i);
    if (view.ofs == jamNoHeader) {
      view.state = FrameState::noHeader;
    } else if (!jamRecordSound(base, view.ofs)) {
      view.state = FrameState::beyondEndFrame;
    }
  }
  orderHeaders(inspection);
  const std::uint32_t areaTagHash = MsgIdHash(options.areaTag.c_str());
  std::uint64_t previousEnd = 0;
  for (const std::uint32_t position : inspection.fileOrder) {
    MessageView& view = inspection.messages[position];
    if (view.state != FrameState::ok) continue;
    view.state = stateOf(checkJamHeader(base, view.ofs, previousEnd));
    if (view.state == FrameState::ok) {
      inspectHeader(base, areaTagHash, options.subjectLength, view);
    }
  }
}

}  // namespace

bool inspectJamBase(const DumpOptions& options, BaseInspection& inspection) {
  inspection.jam = true;
  JamBase base;
  const char* tag = options.areaTag.c_str();
  if (!openJamBase(options.basePath.c_str(), tag, OpenFor::inspecting, base)) return false;
  inspection.dataSize = base.mapping.bytes().size();
  inspection.baseMsgNum = base.baseMsgNum;
  inspection.modCounter = base.modCounter;
  std::uint32_t records = 0;
  if (!openJamIndex(base.indexPath.c_str(), tag, base.baseMsgNum, base.indexFile, records)) {
    return false;
  }
  std::vector<std::uint8_t> index(std::uint64_t{records} * jamIdxSize);
  if (!readJamIndex(base.indexPath.c_str(), base.indexFile, index)) return false;
  inspection.messages.resize(records);
  // A fault on the mapping (the file cut short under it) leaves the reading
  // at once; what it fills lives out here.
  auto work = [&] { readHeaders(options, base.mapping.bytes(), index.data(), inspection); };
  if (!guardMappingFaults(work)) {
    reportAreaReadError(tag);
    return false;
  }
  return true;
}

}  // namespace knotter::dump
