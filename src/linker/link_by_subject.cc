// Linking an area by the subjects of its messages, step by step: the index,
// the order of the messages, their subjects, the chains, the stores.
#include "linker/area_steps.h"
#include "linker/subject_linker.h"

namespace knotter {
namespace {

MessageRef refOf(const SubjectTable& table, std::uint32_t r) {
  return {locatorOf(table, r), numberOf(table, r)};
}

// The messages in visiting order, as the pointers order the records.
class RecordOrder final : public VisitOrder {
 public:
  explicit RecordOrder(const SubjectTable& table) : table_(table) {}
  std::uint32_t size() const override { return table_.count; }
  std::uint32_t locator(std::uint32_t k) const override {
    return locatorOf(table_, table_.pointers[k]);
  }
  std::uint32_t number(std::uint32_t k) const override {
    return numberOf(table_, table_.pointers[k]);
  }

 private:
  const SubjectTable& table_;
};

// Fills a record for each entry that holds a message, in index order, from
// the raw index at the end of the record area. Sets sorted when the
// locators already ascend in index order; returns how many through count.
bool fillRecords(AreaSource& source, const SubjectTable& table, const LinkShape& shape,
                 std::uint32_t entries, std::uint32_t& count, bool& sorted) {
  if (!source.readIndex(rawIndexArea(table, source.entryBytes()))) return false;
  count = 0;
  sorted = true;
  std::uint32_t lastLocator = 0;
  for (std::uint32_t position = 0; position < entries; ++position) {
    IndexEntry entry;
    if (!source.entry(position, entry)) return false;
    if (!entry.message) continue;
    requireFits(shape, entry.number);
    if (entry.locator < lastLocator) sorted = false;
    lastLocator = entry.locator;
    setRecord(table, count++, entry.locator, entry.number);
  }
  return true;
}

// Reads the subject of every message in visiting order, and asks the sink
// what link fields it holds while they are still at hand. A message that
// takes no part keeps no subject; those the format leaves alone are marked,
// and untouched counts them.
bool readSubjects(AreaSource& source, LinkSink& sink, const SubjectTable& table,
                  std::uint32_t& untouched) {
  untouched = 0;
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint32_t r = table.pointers[k];
    const MessageRef message = refOf(table, r);
    MessageReader reader =
        MessageReader::ofSubject(table.subjectLength, subjectOf(table, r), subjectLengthOf(table, r));
    switch (source.readMessage(message, formatRoomOf(table, r), MessageParts::subject, reader)) {
      case MessageState::linked:
        break;
      case MessageState::cleared:
        *subjectLengthOf(table, r) = noSubject;
        break;
      case MessageState::untouched:
        *subjectLengthOf(table, r) = noSubject;
        setBit(table.untouched, r);
        ++untouched;
        continue;
      case MessageState::failed:
        return false;
    }
    setHeldFields(table, r, sink.current(message, formatRoomOf(table, r)));
  }
  return true;
}

// Has the sink store replyTo and the first reply of every message it holds
// for linking, in visiting order (and clear a sibling field); the other
// reply slots stay as they are. Counts the messages changed.
bool storeLinks(LinkSink& sink, const SubjectTable& table, std::uint32_t& changed) {
  const LinkShape shape = sink.shape();
  const auto numberOfRecord = [&](std::uint32_t r) { return numberOf(table, r); };
  const auto noNext = [](std::uint32_t) { return noSlot; };
  changed = 0;
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint32_t r = table.pointers[k];
    if (testBit(table.untouched, r)) continue;
    const LinkFields held = heldFields(table, r);
    const LinkFields fresh =
        freshFields(held, subjectLinks(table, r), shape, false, numberOfRecord, noNext);
    if (!fieldsDiffer(held, fresh, shape)) continue;
    if (!sink.store(refOf(table, r), formatRoomOf(table, r), held, fresh)) return false;
    ++changed;
  }
  return sink.finish(changed);
}

}  // namespace

bool linkBySubject(const LinkRequest& request, AreaSource& source, LinkSink& sink,
                   LinkCounts& counts) {
  IndexSize size;
  if (!source.sizeIndex(size)) return false;
  counts.total = size.emptyTotal;
  if (size.entries == 0) return true;  // nothing to link

  SubjectTable table;
  if (!takeSubjectTable(size.entries, request.subjectLength, source.roomBytes(), table)) {
    return false;
  }
  std::uint32_t count = 0;
  bool sorted = true;
  if (!fillRecords(source, table, sink.shape(), size.entries, count, sorted)) return false;
  table.count = count;
  sortByLocator(table, sorted);
  if (!source.checkOrder(RecordOrder(table))) return false;
  std::uint32_t untouched = 0;
  if (!readSubjects(source, sink, table, untouched)) return false;
  counts.total = count - untouched;
  linkSubjects(table, sorted);
  return storeLinks(sink, table, counts.changed);
}

}  // namespace knotter
