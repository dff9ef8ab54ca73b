// The whole-area target in *.MSG mode: links a directory in memory made from
// one input with every link type. Byte 0 gives the subject options (-p, -s)
// as for the other area targets; then come files, each as one byte of name
// form and kind, two bytes of number, two bytes of length and that many
// bytes of content (cut at the end of the input). The name is "N.msg", and
// by the form byte sometimes "N.MSG" or "0N.msg"; the kind makes the name a
// regular file, something else, a file with a second name, one that cannot
// be opened, or one whose reads fail. No file is touched on disk.
//
// Checks: the keys the reader gives for each file equal those of the
// scanner over the file's control information found by a plain reading of
// the whole text, wherever the read steps cut it. Per link type: an area is
// given up exactly when a file that would take part cannot be opened or
// read, and then nothing changed; otherwise the total is the number of files
// that take part, only bytes 184-185 and 188-189 of those changed, the
// changed count is the number of files changed, every field names 0 or a
// file that takes part, no walk up replyTo or along up goes round, up and
// replyTo agree (a message's up names a reply that names it), and a second
// link changes nothing.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "linker/kludge_scanner.h"
#include "linker/link_area.h"
#include "linker/subject_normaliser.h"
#include "msg/memory_directory.h"
#include "msg/msg_file.h"
#include "msg/msg_sink.h"
#include "msg/msg_source.h"

namespace {

// The format's offsets written out here, independent of the product's own.
constexpr std::size_t headerSize = 190;
constexpr std::size_t replyToAt = 184;
constexpr std::size_t upAt = 188;

constexpr const char* areaTag = "FUZZ";

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

using knotter::MemoryMsgDirectory;
using knotter::MemoryMsgFile;
using knotter::MsgFileKind;

// Builds the directory; a later file of a name already given is left out.
MemoryMsgDirectory directoryOf(const std::uint8_t* data, std::size_t size) {
  MemoryMsgDirectory directory;
  std::size_t at = 0;
  while (at + 5 <= size) {
    const std::uint8_t form = data[at];
    const unsigned number = le16(data + at + 1);
    std::size_t length = le16(data + at + 3);
    at += 5;
    if (length > size - at) length = size - at;
    MemoryMsgFile file;
    const std::string digits = std::to_string(number);
    switch ((form >> 3) & 7) {
      case 1: file.name = digits + ".MSG"; break;
      case 2: file.name = "0" + digits + ".msg"; break;
      default: file.name = digits + ".msg"; break;
    }
    switch (form & 7) {
      case 4: file.kind = MsgFileKind::notRegular; break;
      case 5: file.kind = MsgFileKind::hardLink; break;
      case 6: file.kind = MsgFileKind::failed; file.openError = EACCES; break;
      case 7: file.readError = EIO; break;
      default: break;
    }
    file.bytes.assign(data + at, data + at + length);
    at += length;
    if (directory.find(file.name) == nullptr) directory.files.push_back(std::move(file));
  }
  return directory;
}

// A name that takes part in linking when its file does: one digit 1 to 9,
// at most four more, ".msg", at most 65535, and not 1.msg.
unsigned canonicalNumber(const std::string& name) {
  if (name.size() < 5 || name.size() > 9 || name.compare(name.size() - 4, 4, ".msg") != 0) return 0;
  const std::string digits = name.substr(0, name.size() - 4);
  if (digits[0] < '1' || digits[0] > '9') return 0;
  unsigned number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number <= 65535 && number >= 2 ? number : 0;
}

bool fieldIs(const std::uint8_t* field, std::size_t size, const char* text) {
  const std::size_t length = std::strlen(text);
  return length < size && std::memcmp(field, text, length) == 0 && field[length] == 0;
}

bool highwater(const std::vector<std::uint8_t>& bytes) {
  const std::uint8_t* h = bytes.data();
  return fieldIs(h, 36, "-=|smapi internal|=-") || fieldIs(h, 36, "-=|\x7FSquishMail\x7F|=-") ||
         (fieldIs(h, 36, "CrashMail II") && fieldIs(h + 72, 72, "HighWater mark"));
}

enum class Role { none, takesPart, endsArea };

Role roleOf(const MemoryMsgFile& file) {
  if (canonicalNumber(file.name) == 0) return Role::none;
  if (file.kind == MsgFileKind::failed) return Role::endsArea;
  if (file.kind != MsgFileKind::regular || file.bytes.size() < headerSize) return Role::none;
  if (file.readError != 0) return Role::endsArea;
  return highwater(file.bytes) ? Role::none : Role::takesPart;
}

// The control information by a plain reading of the whole text: after the
// line ends at its start, the lines that begin with SOH or "AREA:", up to a
// NUL or the end; from the first SOH.
std::string_view controlOf(const std::vector<std::uint8_t>& bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()) + headerSize,
                              bytes.size() - headerSize);
  const std::size_t end = text.find('\0') == std::string_view::npos ? text.size() : text.find('\0');
  std::size_t at = 0;
  std::size_t first = std::string_view::npos;
  for (;;) {
    while (at < end && (text[at] == '\r' || text[at] == '\n')) ++at;
    if (at == end) break;
    if (text[at] == '\x01') {
      if (first == std::string_view::npos) first = at;
    } else if (text.substr(at, end - at).rfind("AREA:", 0) != 0) {
      break;
    }
    while (at < end && text[at] != '\r' && text[at] != '\n') ++at;
  }
  return first == std::string_view::npos ? std::string_view{} : text.substr(first, at - first);
}

void checkKeys(MemoryMsgDirectory& directory, std::uint32_t areaTagHash) {
  knotter::MsgReadBuffer buffer;
  for (const MemoryMsgFile& file : directory.files) {
    if (roleOf(file) != Role::takesPart) continue;
    knotter::MsgIdKey msgId, reply;
    knotter::KludgeScan scan;
    knotter::startKludgeScan(scan, msgId, reply, areaTagHash);
    knotter::MessageReader reader = knotter::MessageReader::ofKludges(scan);
    const knotter::MsgFileRead read =
        knotter::readMsgFile(directory, canonicalNumber(file.name), buffer, &reader);
    knotter::finishKludgeScan(scan);
    if (read.state != knotter::MsgFileState::message) std::abort();
    knotter::MsgIdKey plainMsgId, plainReply;
    const std::string_view control = controlOf(file.bytes);
    const auto* begin = reinterpret_cast<const std::uint8_t*>(control.data());
    knotter::scanKludges(plainMsgId, plainReply, begin, begin + control.size(), areaTagHash);
    if (std::memcmp(&msgId, &plainMsgId, sizeof msgId) != 0) std::abort();
    if (std::memcmp(&reply, &plainReply, sizeof reply) != 0) std::abort();
  }
}

knotter::LinkOutcome link(knotter::LinkType type, std::int32_t subjectLength,
                          MemoryMsgDirectory& directory) {
  knotter::MsgSource source(areaTag, "/fuzz", directory);
  knotter::MsgSink sink(areaTag, "/fuzz", directory);
  return knotter::linkArea({type, areaTag, subjectLength}, source, sink);
}

struct Fields {
  std::uint16_t replyTo;
  std::uint16_t up;
};

// The fields of the files that take part, by number.
std::map<unsigned, Fields> fieldsOf(const MemoryMsgDirectory& directory) {
  std::map<unsigned, Fields> fields;
  for (const MemoryMsgFile& file : directory.files) {
    if (roleOf(file) != Role::takesPart) continue;
    fields[canonicalNumber(file.name)] = {le16(&file.bytes[replyToAt]), le16(&file.bytes[upAt])};
  }
  return fields;
}

void checkGraph(const std::map<unsigned, Fields>& fields, bool chains) {
  for (const auto& [number, own] : fields) {
    for (const std::uint16_t named : {own.replyTo, own.up}) {
      if (named != 0 && fields.count(named) == 0) std::abort();
    }
    if (own.up != 0 && fields.at(own.up).replyTo != number) std::abort();
    if (chains && own.replyTo != 0 && fields.at(own.replyTo).up != number) std::abort();
    for (const bool up : {false, true}) {
      unsigned at = number;
      for (std::size_t steps = 0; at != 0; ++steps) {
        if (steps > fields.size()) std::abort();
        at = up ? fields.at(at).up : fields.at(at).replyTo;
      }
    }
  }
}

void checkLinkType(knotter::LinkType type, std::int32_t subjectLength,
                   const MemoryMsgDirectory& original) {
  MemoryMsgDirectory directory = original;
  const knotter::LinkOutcome first = link(type, subjectLength, directory);
  bool endsArea = false;
  std::uint32_t takingPart = 0;
  std::uint32_t changedFiles = 0;
  for (std::size_t k = 0; k < original.files.size(); ++k) {
    const MemoryMsgFile& before = original.files[k];
    const MemoryMsgFile& after = directory.files[k];
    const Role role = roleOf(before);
    endsArea = endsArea || role == Role::endsArea;
    if (role == Role::takesPart) ++takingPart;
    if (after.bytes == before.bytes) continue;
    ++changedFiles;
    if (role != Role::takesPart) std::abort();
    for (std::size_t at = 0; at < before.bytes.size(); ++at) {
      const bool field = (at >= replyToAt && at < replyToAt + 2) || (at >= upAt && at < upAt + 2);
      if (!field && after.bytes[at] != before.bytes[at]) std::abort();
    }
  }
  if (first.linked == endsArea) std::abort();
  if (!first.linked) {
    if (changedFiles != 0 || first.counts.changed != 0) std::abort();
    return;
  }
  if (first.counts.total != takingPart || first.counts.changed != changedFiles) std::abort();
  checkGraph(fieldsOf(directory), type != knotter::LinkType::timEd);
  const MemoryMsgDirectory once = directory;
  const knotter::LinkOutcome second = link(type, subjectLength, directory);
  if (!second.linked || second.counts.changed != 0) std::abort();
  for (std::size_t k = 0; k < once.files.size(); ++k) {
    if (directory.files[k].bytes != once.files[k].bytes) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  knotter::settings.quiet = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  MemoryMsgDirectory directory = directoryOf(data + 1, size - 1);
  const bool lookalikes = (data[0] & 1) != 0;
  const std::int32_t subjectLength = 1 + (data[0] >> 1) % 72;
  knotter::buildSubjectScanTable(lookalikes);
  checkKeys(directory, knotter::MsgIdHash(areaTag));
  for (const knotter::LinkType type : {knotter::LinkType::timEd, knotter::LinkType::flat,
                                       knotter::LinkType::reply, knotter::LinkType::subj}) {
    checkLinkType(type, subjectLength, directory);
  }
  return 0;
}
