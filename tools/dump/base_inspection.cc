#include "base_inspection.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <new>
#include <numeric>
#include <string>

#include "linker/subject_normaliser.h"
#include "log/log.h"
#include "squish/damage_reports.h"
#include "squish/file_lock.h"
#include "squish/frame_check.h"
#include "squish/holders.h"
#include "squish/index_reader.h"

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

// The number of index entries worth reading: no more than the file holds,
// so that a hostile high_msg cannot make us allocate for entries that are
// not there. A file that cannot be looked at is left to readIndex to report.
std::uint32_t entriesPresent(const std::string& indexPath, std::uint32_t count) {
  struct stat status {};
  if (::stat(indexPath.c_str(), &status) != 0 || status.st_size < 0) return 0;
  const std::uint64_t present = static_cast<std::uint64_t>(status.st_size) / sqidxSize;
  return present < count ? static_cast<std::uint32_t>(present) : count;
}

// Reads the index through the linker's reader, under its lock, and reports
// an index shorter than high_msg as the linker's reader does.
bool readIndexEntries(const std::string& indexPath, std::uint32_t count,
                      std::unique_ptr<std::uint8_t[]>& index) {
  const std::uint32_t present = entriesPresent(indexPath, count);
  index.reset(new (std::nothrow) std::uint8_t[std::uint64_t{present} * sqidxSize]);
  if (!index) {
    logMessage(levelError, "! Not enough memory");
    return false;
  }
  FileDescriptor indexFile;
  if (!readIndex(indexPath.c_str(), present, index.get(), indexFile)) return false;
  if (present < count) {
    reportIndexReadError(indexPath.c_str());
    return false;
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

// Reads the index and turns every entry into a view of its message: the
// offsets against end_frame first, then the frames checked in file order
// with the linker's own frame check, as MSGID linking reads them.
bool readMessages(const DumpOptions& options, Bytes base, BaseInspection& inspection) {
  const auto count = static_cast<std::uint32_t>(inspection.header.highMsg);
  std::unique_ptr<std::uint8_t[]> index;
  if (!readIndexEntries(options.basePath + ".sqi", count, index)) return false;

  inspection.messages.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    MessageView& view = inspection.messages[i];
    const std::uint8_t* entry = index.get() + std::uint64_t{i} * sqidxSize;
    view.position = i;
    view.ofs = load32(entry + sqidxOfsOffset);
    view.umsgid = load32(entry + sqidxUmsgidOffset);
    if (view.ofs > inspection.header.endFrame) view.state = FrameState::beyondEndFrame;
  }
  orderByOfs(inspection);
  const std::uint32_t areaTagHash = MsgIdHash(options.areaTag.c_str());
  FrameChecker frames(base, inspection.header.szSqhdr, FrameParts::headerAndControl);
  for (const std::uint32_t position : inspection.fileOrder) {
    MessageView& view = inspection.messages[position];
    if (view.state != FrameState::ok) continue;
    FrameLayout frame;
    view.state = stateOf(frames.check(view.ofs, frame));
    if (view.state == FrameState::ok) {
      inspectFrame(base, frame, areaTagHash, options.subjectLength, view);
    }
  }
  return true;
}

}  // namespace

bool inspectBase(const DumpOptions& options, BaseInspection& inspection) {
  const std::string dataPath = options.basePath + ".sqd";
  FileDescriptor dataFile;
  // Read-only, under the same bounded shared lock as the linker, so that
  // the inspector neither sees a half-written base nor holds up a tosser.
  if (!openLocked(dataPath.c_str(), O_RDONLY, dataFile)) return false;
  inspection.dataSize = fileSize(dataFile.fd);
  if (inspection.dataSize == 0) {
    reportFileReadError(dataPath.c_str());
    return false;
  }
  const Mapping mapping(dataFile.fd, inspection.dataSize, PROT_READ);
  if (!mapping.mapped()) {
    reportFileReadError(dataPath.c_str());
    return false;
  }
  if (!readBaseHeader(mapping.bytes(), inspection.header)) {
    reportAreaReadError(options.areaTag.c_str());
    return false;
  }
  // An empty base (high_msg 0 or less) has nothing more to read: the linker
  // does not even open its index.
  if (inspection.header.highMsg <= 0) return true;
  return readMessages(options, mapping.bytes(), inspection);
}

}  // namespace knotter::dump
