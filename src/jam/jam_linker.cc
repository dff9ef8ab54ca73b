#include "jam/jam_linker.h"

#include "config/settings.h"
#include "jam/link_writer.h"
#include "jam/subfields.h"
#include "linker/message_table.h"
#include "linker/reply_linker.h"
#include "linker/subject_linker.h"
#include "squish/damage_reports.h"

namespace knotter {
namespace {

// The number of a linked slot, 0 for none.
template <typename NumberOf>
JamLinkFields fieldsOf(const Links& links, NumberOf numberOf) {
  const auto number = [&](std::uint32_t slot) { return slot == noSlot ? 0 : numberOf(slot); };
  return {number(links.replyTo), number(links.firstReply), number(links.nextReply)};
}

// Lists the headers of the raw index as frames, checks them and fills the
// entries in ascending offset.
bool loadEntries(const char* areaTag, JamBase& base, std::uint32_t records, MessageTable& table) {
  const Bytes bytes = base.mapping.bytes();
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < records; ++i) {
    const std::uint32_t ofs = jamRecordOffset(table.index, i);
    if (ofs == jamNoHeader) continue;
    if (!jamRecordSound(bytes, areaTag, i, ofs)) return false;
    table.frames[count++] = frameOf(ofs, i);
  }
  orderFrames(table, count);
  const auto at = [&](std::uint32_t k) { return table.frames[k]; };
  if (!jamHeadersSound(bytes, areaTag, base.baseMsgNum, count, at)) return false;
  const std::uint32_t baseMsgNum = base.baseMsgNum;
  fillEntries(table, [baseMsgNum](std::uint32_t position) { return baseMsgNum + position; });
  return true;
}

// The keys of a live header that loadEntries found sound.
class HeaderRescan final : public KeyRescan {
 public:
  HeaderRescan(Bytes bytes, const MessageTable& table) : bytes_(bytes), table_(table) {}
  void rescan(std::uint32_t slot, std::uint32_t areaTagHash, MsgIdKey& msgIdKey,
              MsgIdKey& replyKey) const override {
    scanJamKeys(bytes_, table_.entries[slot].ofs, msgIdKey, replyKey, areaTagHash);
  }
  void prefetch(std::uint32_t slot) const override {
    const std::uint32_t ofs = table_.entries[slot].ofs;
    knotter::prefetch(bytes_, ofs);
    knotter::prefetch(bytes_, std::uint64_t{ofs} + jamHdrSize);
  }

 private:
  Bytes bytes_;
  const MessageTable& table_;
};

// A deleted message takes part in nothing: it has no keys, so it gets no
// links, and writing those clears whatever it held.
bool linkReplyArea(std::int32_t linkType, const char* areaTag, JamBase& base,
                   std::uint32_t records, std::uint32_t& changed, std::uint32_t& total) {
  MessageTable table;
  if (!takeMessageTable(records, jamIdxSize, table)) return false;
  if (!readJamIndex(base, records, table.index)) return false;
  if (!loadEntries(areaTag, base, records, table)) return false;
  total = static_cast<std::uint32_t>(table.entries.size());
  if (total == 0) return true;
  const Bytes bytes = base.mapping.bytes();
  KeyCollector keys(table, areaTag);
  for (std::uint32_t slot = 0; slot < table.entries.size(); ++slot) {
    const std::uint32_t ofs = table.entries[slot].ofs;
    if (jamHeaderDeleted(bytes, ofs)) continue;
    keys.start(slot);
    feedJamKludges(bytes, ofs, [&](const std::uint8_t* begin, const std::uint8_t* end) {
      return keys.feed(begin, end);
    });
    keys.finish();
  }
  groupKeys(table, HeaderRescan(bytes, table));
  linkReplies(table, linkType);
  JamLinkWriter writer(bytes);
  for (std::uint32_t slot = 0; slot < total; ++slot) {
    const JamLinkFields fields =
        fieldsOf(table.links[slot], [&](std::uint32_t s) { return table.entries[s].number; });
    writeJamHeader(writer, table.entries[slot].ofs, fields);
  }
  changed = finishJamWrites(writer);
  return true;
}

// Fills the records in index order from the raw index at the end of the
// record area, then checks the headers in ascending offset. count is the
// number of records filled.
bool fillRecords(const char* areaTag, JamBase& base, std::uint32_t records,
                 const SubjectTable& table, std::uint32_t& count) {
  const Bytes bytes = base.mapping.bytes();
  const std::uint8_t* index = rawIndexArea(table, jamIdxSize);
  count = 0;
  for (std::uint32_t i = 0; i < records; ++i) {
    const std::uint32_t ofs = jamRecordOffset(index, i);
    if (ofs == jamNoHeader) continue;
    if (!jamRecordSound(bytes, areaTag, i, ofs)) return false;
    setRecord(table, count++, ofs, base.baseMsgNum + i);
  }
  return true;
}

bool recordsSound(const char* areaTag, const JamBase& base, const SubjectTable& table) {
  const auto at = [&](std::uint32_t k) {
    const std::uint8_t* r = record(table, table.pointers[k]);
    return frameOf(get32(r + recordOfs), get32(r + recordNumber) - base.baseMsgNum);
  };
  return jamHeadersSound(base.mapping.bytes(), areaTag, base.baseMsgNum, table.count, at);
}

bool ascendingOfs(const SubjectTable& table, std::uint32_t count) {
  for (std::uint32_t k = 1; k < count; ++k) {
    if (get32(record(table, k) + recordOfs) < get32(record(table, k - 1) + recordOfs)) {
      return false;
    }
  }
  return true;
}

// Moves the live records to the front, in index order, and the deleted ones
// behind them, where linking does not look; returns the number of live ones.
// The pointers hold the deleted offsets meanwhile.
std::uint32_t setDeletedAside(Bytes bytes, const SubjectTable& table) {
  std::uint32_t live = 0;
  std::uint32_t deleted = 0;
  for (std::uint32_t r = 0; r < table.count; ++r) {
    const std::uint8_t* from = record(table, r);
    const std::uint32_t ofs = get32(from + recordOfs);
    if (jamHeaderDeleted(bytes, ofs)) {
      table.pointers[deleted++] = ofs;
    } else {
      setRecord(table, live++, ofs, get32(from + recordNumber));
    }
  }
  for (std::uint32_t d = 0; d < deleted; ++d) setRecord(table, live + d, table.pointers[d], 0);
  return live;
}

bool linkSubjectArea(const char* areaTag, JamBase& base, std::uint32_t records,
                     std::uint32_t& changed, std::uint32_t& total) {
  SubjectTable table;
  if (!takeSubjectTable(records, table)) return false;
  if (!readJamIndex(base, records, rawIndexArea(table, jamIdxSize))) return false;
  if (!fillRecords(areaTag, base, records, table, total)) return false;
  table.count = total;
  sortByOfs(table, ascendingOfs(table, total));
  if (!recordsSound(areaTag, base, table)) return false;

  const Bytes bytes = base.mapping.bytes();
  table.count = setDeletedAside(bytes, table);
  for (std::uint32_t r = 0; r < table.count; ++r) {
    std::uint8_t field[jamSubjectSize];
    readJamSubject(bytes, get32(record(table, r) + recordOfs), field);
    setSubject(table, r, field);
  }
  if (table.count > 0) linkSubjects(table, ascendingOfs(table, table.count));
  const auto numberOf = [&](std::uint32_t s) { return get32(record(table, s) + recordNumber); };
  const auto ofsOf = [&](std::uint32_t r) { return get32(record(table, r) + recordOfs); };
  JamLinkWriter writer(bytes);
  for (std::uint32_t k = 0; k < table.count; ++k) {  // the pointers ascend by offset again
    const std::uint32_t r = table.pointers[k];
    writeJamHeader(writer, ofsOf(r), fieldsOf(subjectLinks(table, r), numberOf));
  }
  for (std::uint32_t r = table.count; r < total; ++r) writeJamHeader(writer, ofsOf(r), {});
  changed = finishJamWrites(writer);
  return true;
}

}  // namespace

bool linkJamBase(std::int32_t linkType, const char* areaTag, JamBase& base,
                 std::uint32_t& changed, std::uint32_t& total) {
  changed = 0;
  total = 0;
  try {
    std::uint32_t records = 0;
    if (!openJamIndex(base, areaTag, records)) return false;
    if (linkType == linkSubj) return linkSubjectArea(areaTag, base, records, changed, total);
    return linkReplyArea(linkType, areaTag, base, records, changed, total);
  } catch (...) {
    changed = 0;
    reportAreaReadError(areaTag);
    return false;
  }
}

}  // namespace knotter
