// The whole-area target in JAM mode: links a JAM base made from one input
// with every link type. The first 4 bytes give the split point and the fifth
// the subject options (-p, -s), as for the Squish area target; of the rest,
// the bytes before the split are the header file (.jhr), the bytes after it
// the index (.jdx). The header file is linked in a buffer of its own, as if
// mapped, and the index is read from memory: no file is touched.
//
// Checks, per link type: a failed area has not one byte changed and counts
// 0 changed; a linked area changed only ReplyTo, Reply1st and ReplyNext of
// the headers the index lists and ModCounter, which moved by one exactly when
// a header changed; the count of changed headers is at most the total, the
// total is the number of records with a header; no walk along the links
// written can go round in a circle; and a second link changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/settings.h"
#include "jam/jam_base.h"
#include "jam/jam_sink.h"
#include "jam/jam_source.h"
#include "linker/kludge_scanner.h"
#include "linker/link_area.h"
#include "linker/subject_normaliser.h"

namespace {

// The format's offsets written out here, independent of the product's own.
constexpr std::size_t modCounterAt = 8;
constexpr std::size_t replyToAt = 24;  // ReplyTo, Reply1st, ReplyNext: 12 bytes
constexpr std::size_t fixedHeaderSize = 76;
constexpr std::uint32_t noHeader = 0xFFFFFFFF;

constexpr const char* areaTag = "FUZZ";

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// The offsets of the headers the index lists, by message number.
std::map<std::uint32_t, std::uint32_t> listedHeaders(const std::vector<std::uint8_t>& jhr,
                                                     const std::uint8_t* jdx, std::size_t jdxSize) {
  std::map<std::uint32_t, std::uint32_t> listed;
  if (jhr.size() < 24) return listed;
  const std::uint32_t base = le32(&jhr[20]);
  for (std::size_t i = 0; i + 8 <= jdxSize; i += 8) {
    const std::uint32_t ofs = le32(jdx + i + 4);
    if (ofs != noHeader) listed[static_cast<std::uint32_t>(base + i / 8)] = ofs;
  }
  return listed;
}

bool writable(const std::map<std::uint32_t, std::uint32_t>& listed, std::size_t at) {
  if (at >= modCounterAt && at < modCounterAt + 4) return true;
  for (const auto& [number, ofs] : listed) {
    if (at >= ofs + replyToAt && at < ofs + replyToAt + 12) return true;
  }
  return false;
}

// True when a walk up ReplyTo, and one down Reply1st and along ReplyNext,
// from every listed header ends.
bool linksEnd(const std::vector<std::uint8_t>& jhr,
              const std::map<std::uint32_t, std::uint32_t>& listed) {
  const auto field = [&](std::uint32_t number, std::size_t which) -> std::uint32_t {
    const auto found = listed.find(number);
    return found == listed.end() ? 0 : le32(&jhr[found->second + replyToAt + 4 * which]);
  };
  for (const auto& entry : listed) {
    std::uint32_t at = entry.first;
    for (std::size_t steps = 0; at != 0; ++steps) {
      if (steps > listed.size()) return false;
      at = field(at, 0);
    }
    std::set<std::uint32_t> seen;
    std::vector<std::uint32_t> open{field(entry.first, 1)};
    while (!open.empty()) {
      const std::uint32_t number = open.back();
      open.pop_back();
      if (number == 0) continue;
      if (!seen.insert(number).second) return false;
      open.push_back(field(number, 1));
      open.push_back(field(number, 2));
    }
  }
  return true;
}

struct Outcome {
  bool linked = false;
  std::uint32_t changed = 0;
  std::uint32_t total = 0;
};

// Links the header file in bytes as the driver does once it has opened,
// locked and mapped it: the header block checked, then the core.
Outcome link(knotter::LinkType type, std::int32_t subjectLength, std::vector<std::uint8_t>& bytes,
             const std::uint8_t* jdx, std::size_t jdxSize) {
  Outcome o;
  const knotter::Bytes header{bytes.data(), bytes.size()};
  std::uint32_t baseMsgNum = 0;
  std::uint32_t modCounter = 0;
  if (!knotter::readJamHeaderBlock(header, areaTag, baseMsgNum, modCounter)) return o;
  knotter::JamSource source(areaTag, header, baseMsgNum, {"FUZZ.jdx", nullptr, {jdx, jdxSize}});
  knotter::JamSink sink(header);
  const knotter::LinkOutcome outcome = knotter::linkArea({type, areaTag, subjectLength}, source, sink);
  return {outcome.linked, outcome.counts.changed, outcome.counts.total};
}

void checkLinkType(knotter::LinkType type, std::int32_t subjectLength,
                   const std::vector<std::uint8_t>& jhr, const std::uint8_t* jdx,
                   std::size_t jdxSize) {
  std::vector<std::uint8_t> after = jhr;  // a block of exactly the file's size, like the mapping
  const Outcome first = link(type, subjectLength, after, jdx, jdxSize);
  const bool anyByte = after != jhr;
  if (!first.linked) {
    if (anyByte || first.changed != 0) std::abort();
    return;
  }
  const std::map<std::uint32_t, std::uint32_t> listed = listedHeaders(jhr, jdx, jdxSize);
  if (first.total != listed.size() || first.changed > first.total) std::abort();
  if (anyByte != (first.changed > 0)) std::abort();
  if (le32(&after[modCounterAt]) != le32(&jhr[modCounterAt]) + (first.changed > 0 ? 1 : 0)) {
    std::abort();
  }
  for (std::size_t at = 0; at < jhr.size(); ++at) {
    if (after[at] != jhr[at] && !writable(listed, at)) std::abort();
  }
  if (!linksEnd(after, listed)) std::abort();
  const std::vector<std::uint8_t> once = after;
  const Outcome second = link(type, subjectLength, after, jdx, jdxSize);
  if (!second.linked || second.changed != 0) std::abort();
  if (after != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  knotter::settings.quiet = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t* rest = data + 5;
  const std::size_t restSize = size - 5;
  const std::size_t split = le32(data) % (restSize + 1);
  if (split == 0) return 0;  // the driver never maps an empty header file
  const std::vector<std::uint8_t> jhr(rest, rest + split);
  const std::uint8_t* jdx = rest + split;
  const std::size_t jdxSize = restSize - split;

  const bool lookalikes = (data[4] & 1) != 0;
  const std::int32_t subjectLength = 1 + (data[4] >> 1) % 72;
  knotter::buildSubjectScanTable(lookalikes);
  for (const knotter::LinkType type : {knotter::LinkType::timEd, knotter::LinkType::flat,
                                       knotter::LinkType::reply, knotter::LinkType::subj}) {
    checkLinkType(type, subjectLength, jhr, jdx, jdxSize);
  }
  return 0;
}
