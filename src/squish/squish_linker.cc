#include "squish/squish_linker.h"

#include "linker/reply_linker.h"
#include "squish/damage_reports.h"
#include "squish/link_writer.h"
#include "squish/message_loader.h"

namespace knotter {
namespace {

// Where a base is read and written: the mapping, the data file behind it,
// and the index path and descriptor slot.
struct AreaFiles {
  Bytes base;
  const DataFile& dataFile;
  const char* indexPath;
  FileDescriptor& indexFile;
};

bool linkReplyArea(std::int32_t linkType, const char* areaTag, const AreaFiles& files,
                   const BaseHeader& header, std::int32_t& changed) {
  MessageTable table;
  if (!loadMessageTable(areaTag, files.base, header, files.indexPath, files.indexFile, table)) {
    return false;
  }
  linkReplies(table, linkType);
  return writeReplyLinks(table, files.base, header.szSqhdr, files.dataFile, changed);
}

bool linkSubjectArea(const char* areaTag, const AreaFiles& files, const BaseHeader& header,
                     std::int32_t& changed) {
  SubjectTable table;
  bool sorted = true;
  if (!loadSubjectTable(areaTag, files.base, header, files.indexPath, files.indexFile, table,
                        sorted)) {
    return false;
  }
  linkSubjects(table, sorted);
  return writeSubjectLinks(table, files.base, header.szSqhdr, files.dataFile, changed);
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

bool linkByMsgId(std::int32_t linkType, const char* areaTag, Bytes base, const DataFile& dataFile,
                 const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed,
                 std::int32_t& total) {
  const AreaFiles files{base, dataFile, indexPath, indexFile};
  return guarded(areaTag, base, changed, total, [&](const BaseHeader& header) {
    return linkReplyArea(linkType, areaTag, files, header, changed);
  });
}

bool linkBySubject(const char* areaTag, Bytes base, const DataFile& dataFile, const char* indexPath,
                   FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total) {
  const AreaFiles files{base, dataFile, indexPath, indexFile};
  return guarded(areaTag, base, changed, total, [&](const BaseHeader& header) {
    return linkSubjectArea(areaTag, files, header, changed);
  });
}

}  // namespace knotter
