#include "squish/squish_linker.h"

#include "linker/reply_linker.h"
#include "squish/damage_reports.h"
#include "squish/link_writer.h"
#include "squish/message_loader.h"

namespace knotter {
namespace {

bool linkReplyArea(std::int32_t linkType, const char* areaTag, Bytes base,
                   const BaseHeader& header, const char* indexPath, FileDescriptor& indexFile,
                   std::int32_t& changed) {
  MessageTable table;
  if (!loadMessageTable(areaTag, base, header, indexPath, indexFile, table)) return false;
  linkReplies(table, linkType);
  changed = writeReplyLinks(table, base, header.szSqhdr);
  return true;
}

bool linkSubjectArea(const char* areaTag, Bytes base, const BaseHeader& header,
                     const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed) {
  SubjectTable table;
  bool sorted = true;
  if (!loadSubjectTable(areaTag, base, header, indexPath, indexFile, table, sorted)) return false;
  linkSubjects(table, sorted);
  changed = writeSubjectLinks(table, base, header.szSqhdr);
  return true;
}

// Runs link on the area under a catch-all: whatever escapes is reported as
// a read error of the area, and nothing is counted as changed.
template <typename Link>
bool guarded(const char* areaTag, Bytes base, std::int32_t& changed, std::int32_t& total,
             Link link) {
  changed = 0;
  total = 0;
  try {
    BaseHeader header;
    if (!readBaseHeader(base, header)) {
      reportAreaReadError(areaTag);
      return false;
    }
    total = header.highMsg;
    if (header.highMsg <= 0) return true;  // nothing to link; the index is not opened
    return link(header);
  } catch (...) {
    changed = 0;
    reportAreaReadError(areaTag);
    return false;
  }
}

}  // namespace

bool linkByMsgId(std::int32_t linkType, const char* areaTag, Bytes base, const char* indexPath,
                 FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total) {
  return guarded(areaTag, base, changed, total, [&](const BaseHeader& header) {
    return linkReplyArea(linkType, areaTag, base, header, indexPath, indexFile, changed);
  });
}

bool linkBySubject(const char* areaTag, Bytes base, const char* indexPath,
                   FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total) {
  return guarded(areaTag, base, changed, total, [&](const BaseHeader& header) {
    return linkSubjectArea(areaTag, base, header, indexPath, indexFile, changed);
  });
}

}  // namespace knotter
