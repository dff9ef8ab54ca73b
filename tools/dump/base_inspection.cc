#include "base_inspection.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "linker/subject_normaliser.h"
#include "log/log.h"
#include "base/mapping.h"
#include "log/area_reports.h"
#include "squish/frame_check.h"
#include "squish/squish_base.h"

namespace knotter::dump {
namespace {

void readReplyFields(Bytes base, std::uint64_t header, MessageView& view) {
  view.replyto = load32(base, header + xmsgReplytoOffset);
  for (std::size_t k = 0; k < replySlots; ++k) {
    view.replies[k] = load32(base, header + xmsgRepliesOffset + 4 * k);
  }
}

FrameState stateOf(FrameCheck check) {
  switch (check) {
    case FrameCheck::ok: return FrameState::ok;
    case FrameCheck::badFrame: return FrameState::badFrame;
    case FrameCheck::outsideFile: return FrameState::outsideFile;
    case FrameCheck::overlapping: break;
  }
  return FrameState::overlapping;
}

// Takes the keys, subject and reply-chain fields of a frame that passed.
void inspectFrame(Bytes base, const FrameLayout& frame, std::uint32_t areaTagHash,
                  std::int32_t subjectLength, MessageView& view) {
  scanKludges(view.msgId, view.reply, base.data() + frame.control, base.data() + frame.controlEnd,
              areaTagHash);
  readReplyFields(base, frame.header, view);
  view.subjectLength = static_cast<std::uint8_t>(
      normaliseSubject(base.data() + frame.header + xmsgSubjOffset, subjectLength, view.subject));
}

// Reads the index under its lock into index, once it is known to hold
// high_msg entries (so that a hostile high_msg cannot size anything), and
// turns every entry into a view of its message, checking its offset
// against end_frame.
bool readIndexEntries(SquishBase& base, std::vector<std::uint8_t>& index,
                      BaseInspection& inspection) {
  const auto count = static_cast<std::uint32_t>(inspection.header.highMsg);
  if (!openSquishIndex(base.indexPath.c_str(), count, base.indexFile)) return false;
  index.resize(std::uint64_t{count} * sqidxSize);
  if (!readSquishIndex(base.indexPath.c_str(), base.indexFile, index)) return false;
  inspection.messages.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    MessageView& view = inspection.messages[i];
    const std::uint8_t* entry = index.data() + std::uint64_t{i} * sqidxSize;
    view.position = i;
    view.ofs = load32(entry + sqidxOfsOffset);
    view.umsgid = load32(entry + sqidxUmsgidOffset);
    if (view.ofs > inspection.header.endFrame) view.state = FrameState::beyondEndFrame;
  }
  return true;
}

// Orders the messages as they lie in the file, equal offsets in index order.
void orderByOfs(BaseInspection& inspection) {
  std::vector<std::uint32_t>& order = inspection.fileOrder;
  order.resize(inspection.messages.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return inspection.messages[a].ofs < inspection.messages[b].ofs;
  });
}

// Checks the frames in file order with the linker's own frame check, as
// MSGID linking reads them, and takes what each sound one holds.
void readFrames(const DumpOptions& options, Bytes data, BaseInspection& inspection) {
  const std::uint32_t areaTagHash = MsgIdHash(options.areaTag.c_str());
  FrameChecker frames(data, inspection.header.szSqhdr, FrameParts::headerAndControl);
  for (const std::uint32_t position : inspection.fileOrder) {
    MessageView& view = inspection.messages[position];
    if (view.state != FrameState::ok) continue;
    FrameLayout frame;
    view.state = stateOf(frames.check(view.ofs, frame));
    if (view.state == FrameState::ok) {
      inspectFrame(data, frame, areaTagHash, options.subjectLength, view);
    }
  }
}

// Everything read from the mapping, after the base was opened.
bool readMapped(const DumpOptions& options, SquishBase& base, std::vector<std::uint8_t>& index,
                BaseInspection& inspection) {
  const Bytes data = base.mapping.bytes();
  if (!readBaseHeader(data, inspection.header)) {
    reportAreaReadError(options.areaTag.c_str());
    return false;
  }
  // An empty base (high_msg 0 or less) has nothing more to read: the linker
  // does not even open its index.
  if (inspection.header.highMsg <= 0) return true;
  if (!readIndexEntries(base, index, inspection)) return false;
  orderByOfs(inspection);
  readFrames(options, data, inspection);
  return true;
}

}  // namespace

bool inspectBase(const DumpOptions& options, BaseInspection& inspection) {
  // Read-only, under the same bounded shared lock as the linker, so that
  // the inspector neither sees a half-written base nor holds up a tosser.
  SquishBase base;
  if (!openSquishBase(options.basePath.c_str(), OpenFor::inspecting, base)) return false;
  inspection.dataSize = base.mapping.bytes().size();
  // What the guarded reading keeps lives out here: a fault on the mapping
  // (the file cut short under it) leaves the reading at once.
  std::vector<std::uint8_t> index;
  bool read = false;
  auto work = [&] { read = readMapped(options, base, index, inspection); };
  if (!guardMappingFaults(work)) {
    reportAreaReadError(options.areaTag.c_str());
    return false;
  }
  return read;
}

}  // namespace knotter::dump
