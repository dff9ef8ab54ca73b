#include "squish/message_loader.h"

#include "squish/damage_reports.h"
#include "squish/frame_check.h"
#include "squish/index_reader.h"

namespace knotter {
namespace {

const std::uint8_t* indexEntry(const std::uint8_t* index, std::uint32_t position) {
  return index + std::uint64_t{position} * sqidxSize;
}

// Checks every ofs against end_frame in index order (the first beyond it
// makes the index damaged) and lists the frames.
bool listFrames(const char* areaTag, const std::uint8_t* index, std::uint32_t count,
                std::uint32_t endFrame, std::uint64_t* frames) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t ofs = load32(indexEntry(index, i) + sqidxOfsOffset);
    if (ofs > endFrame) {
      reportIndexDamaged(areaTag, i, ofs);
      return false;
    }
    frames[i] = frameOf(ofs, i);
  }
  return true;
}

// Visits the frames in ascending ofs: checks each and scans its kludges.
// False after reporting a damaged frame.
bool scanFrames(const char* areaTag, Bytes base, std::uint16_t szSqhdr, MessageTable& table) {
  KeyCollector keys(table, areaTag);
  FrameChecker frames(base, szSqhdr, FrameParts::headerAndControl);
  for (std::uint32_t slot = 0; slot < table.entries.size(); ++slot) {
    const MessageEntry& entry = table.entries[slot];
    FrameLayout frame;
    const FrameCheck check = frames.check(entry.ofs, frame);
    if (check != FrameCheck::ok) {
      reportFrameDamage(areaTag, check, entry.number, entry.ofs);
      return false;
    }
    keys.scan(slot, base.data() + frame.control, base.data() + frame.controlEnd);
  }
  return true;
}

// The keys of a message whose frame scanFrames found sound.
class FrameRescan final : public KeyRescan {
 public:
  FrameRescan(Bytes base, std::uint16_t szSqhdr, const MessageTable& table)
      : base_(base), szSqhdr_(szSqhdr), table_(table) {}
  void rescan(std::uint32_t slot, std::uint32_t areaTagHash, MsgIdKey& msgIdKey,
              MsgIdKey& replyKey) const override {
    const FrameLayout frame = layFrame(base_, table_.entries[slot].ofs, szSqhdr_);
    scanKludges(msgIdKey, replyKey, base_.data() + frame.control, base_.data() + frame.controlEnd,
                areaTagHash);
  }
  void prefetch(std::uint32_t slot) const override {
    const std::uint32_t ofs = table_.entries[slot].ofs;
    knotter::prefetch(base_, std::uint64_t{ofs} + sqhdrClenOffset);
    knotter::prefetch(base_, std::uint64_t{ofs} + szSqhdr_ + xmsgSize);
  }

 private:
  Bytes base_;
  std::uint16_t szSqhdr_;
  const MessageTable& table_;
};

}  // namespace

bool loadMessageTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, MessageTable& table) {
  const auto count = static_cast<std::uint32_t>(header.highMsg);
  if (!takeMessageTable(count, sqidxSize, table)) return false;
  if (!readIndex(indexPath, count, table.index, indexFile)) return false;
  if (!listFrames(areaTag, table.index, count, header.endFrame, table.frames)) return false;
  orderFrames(table, count);
  const std::uint8_t* index = table.index;
  fillEntries(table, [index](std::uint32_t position) {
    return load32(indexEntry(index, position) + sqidxUmsgidOffset);
  });
  if (!scanFrames(areaTag, base, header.szSqhdr, table)) return false;
  groupKeys(table, FrameRescan(base, header.szSqhdr, table));
  return true;
}

namespace {

// Fills the records in index order from the raw index. Sets sorted when the
// frame offsets already ascend in index order.
bool fillRecords(const char* areaTag, std::uint32_t endFrame, const std::uint8_t* index,
                 const SubjectTable& table, bool& sorted) {
  sorted = true;
  std::uint32_t lastOfs = 0;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint8_t* entry = indexEntry(index, i);
    const std::uint32_t ofs = load32(entry + sqidxOfsOffset);
    if (ofs > endFrame) {
      reportIndexDamaged(areaTag, i, ofs);
      return false;
    }
    if (ofs < lastOfs) sorted = false;
    lastOfs = ofs;
    setRecord(table, i, ofs, load32(entry + sqidxUmsgidOffset));
  }
  return true;
}

// Checks each frame in ascending ofs and takes its subject, replyto and
// replies[0]. The control information is not read, so it may reach past the
// end of the file.
bool readHeaders(const char* areaTag, Bytes base, std::uint16_t szSqhdr, const SubjectTable& table) {
  FrameChecker frames(base, szSqhdr, FrameParts::header);
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint32_t position = table.pointers[k];
    std::uint8_t* r = record(table, position);
    const std::uint32_t ofs = get32(r + recordOfs);
    FrameLayout frame;
    const FrameCheck check = frames.check(ofs, frame);
    if (check != FrameCheck::ok) {
      reportFrameDamage(areaTag, check, get32(r + recordNumber), ofs);
      return false;
    }
    const std::uint8_t* fields = base.data() + frame.header;
    setSubject(table, position, fields + xmsgSubjOffset);
    put32(r + recordFormat, load32(fields + xmsgReplytoOffset));
    put32(r + recordFormat + 4, load32(fields + xmsgRepliesOffset));
  }
  return true;
}

}  // namespace

bool loadSubjectTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, SubjectTable& table,
                      bool& sorted) {
  const auto count = static_cast<std::uint32_t>(header.highMsg);
  if (!takeSubjectTable(count, table)) return false;
  std::uint8_t* index = rawIndexArea(table, sqidxSize);
  if (!readIndex(indexPath, count, index, indexFile)) return false;
  if (!fillRecords(areaTag, header.endFrame, index, table, sorted)) return false;
  sortByOfs(table, sorted);
  return readHeaders(areaTag, base, header.szSqhdr, table);
}

}  // namespace knotter
