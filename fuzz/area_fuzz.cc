// Links a whole area made from one input with every link type. The first 4
// bytes give the split point and the fifth the subject options (-p, -s); of
// the rest, the bytes before the split are the data file, the bytes after it
// the index file. The data file is linked in a buffer of its own, as if
// mapped, and the index is read from memory: no file is touched.
//
// Checks, per link type: a failed area (false) has not one byte changed and
// a changed count of 0; a linked area has changed only the reply-chain fields
// of the messages listed in the index, counts a change when a byte changed,
// and when no message's fields lie inside what another message is read from,
// a second link changes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "linker/kludge_scanner.h"
#include "linker/link_area.h"
#include "linker/subject_normaliser.h"
#include "squish/squish_sink.h"
#include "squish/squish_source.h"

namespace {

// The format's offsets written out here, independent of the product's own.
constexpr std::size_t highMsgAt = 8;
constexpr std::size_t endOfHeaderFields = 132;  // sz_sqhdr ends at 130 + 2
constexpr std::size_t szSqhdrAt = 130;
constexpr std::size_t indexEntrySize = 12;
constexpr std::size_t replytoAt = 174;    // in the message header
constexpr std::size_t chainFieldsSize = 40;  // replyto and replies[9]
constexpr std::size_t subjectFieldsSize = 8;  // replyto and replies[0]
constexpr std::size_t messageHeaderSize = 238;
constexpr std::size_t frameFieldsEnd = 24;   // id at 0, clen at 20

constexpr const char* areaTag = "FUZZ";

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

struct Interval {
  std::uint64_t begin;
  std::uint64_t end;
  std::size_t owner;
};

// What linking may touch and what it reads, per listed message.
struct Footprint {
  std::vector<Interval> writes;  // the reply-chain fields, sorted
  std::vector<Interval> reads;   // frame header to end of control information
};

Footprint footprint(const std::vector<std::uint8_t>& sqd, const std::uint8_t* sqi,
                    std::size_t sqiSize, std::size_t fieldsSize) {
  Footprint f;
  if (sqd.size() < endOfHeaderFields) return f;
  const auto highMsg = static_cast<std::int32_t>(le32(&sqd[highMsgAt]));
  const std::uint64_t szSqhdr = sqd[szSqhdrAt] | sqd[szSqhdrAt + 1] << 8;
  if (highMsg <= 0 || std::uint64_t(highMsg) * indexEntrySize > sqiSize) return f;
  for (std::size_t i = 0; i < std::size_t(highMsg); ++i) {
    const std::uint64_t ofs = le32(sqi + i * indexEntrySize);
    const std::uint64_t header = ofs + szSqhdr;
    f.writes.push_back({header + replytoAt, header + replytoAt + fieldsSize, i});
    const std::uint64_t clen = ofs + frameFieldsEnd <= sqd.size() ? le32(&sqd[ofs + 20]) : 0;
    f.reads.push_back({ofs, std::max(ofs + frameFieldsEnd, header + messageHeaderSize + clen), i});
  }
  std::sort(f.writes.begin(), f.writes.end(),
            [](const Interval& a, const Interval& b) { return a.begin < b.begin; });
  return f;
}

// True when every byte that differs lies in some message's fields.
bool onlyFieldsChanged(const std::vector<std::uint8_t>& before, const std::uint8_t* after,
                       const Footprint& f) {
  for (std::size_t at = 0; at < before.size(); ++at) {
    if (before[at] == after[at]) continue;
    const bool allowed = std::any_of(f.writes.begin(), f.writes.end(), [&](const Interval& w) {
      return w.begin <= at && at < w.end;
    });
    if (!allowed) return false;
  }
  return true;
}

// True when no message's fields overlap another's fields, another message's
// frame, or the base header: then what one message writes cannot change what
// linking reads, and linking twice must give what linking once gave.
bool separate(const Footprint& f) {
  for (std::size_t k = 0; k < f.writes.size(); ++k) {
    if (f.writes[k].begin < endOfHeaderFields) return false;
    if (k > 0 && f.writes[k].begin < f.writes[k - 1].end) return false;
  }
  for (const Interval& r : f.reads) {
    auto it = std::lower_bound(f.writes.begin(), f.writes.end(), r.begin,
                               [](const Interval& w, std::uint64_t at) { return w.end <= at; });
    for (; it != f.writes.end() && it->begin < r.end; ++it) {
      if (it->owner != r.owner) return false;
    }
  }
  return true;
}

struct Outcome {
  bool linked = false;
  std::uint32_t changed = 0;
  std::uint32_t total = 0;
};

Outcome link(knotter::LinkType type, std::int32_t subjectLength, std::uint8_t* bytes,
             std::size_t size, const std::uint8_t* sqi, std::size_t sqiSize) {
  const knotter::Bytes base{bytes, size};
  knotter::SquishSource source(areaTag, base, {"FUZZ.sqi", nullptr, {sqi, sqiSize}});
  knotter::SquishSink sink(base, source, {});
  const knotter::LinkOutcome outcome = knotter::linkArea({type, areaTag, subjectLength}, source, sink);
  return {outcome.linked, outcome.counts.changed, outcome.counts.total};
}

void checkLinkType(knotter::LinkType type, std::int32_t subjectLength,
                   const std::vector<std::uint8_t>& sqd, const std::uint8_t* sqi,
                   std::size_t sqiSize) {
  // A block of exactly the data file's size, like the mapping.
  auto* bytes = static_cast<std::uint8_t*>(std::malloc(sqd.size()));
  std::memcpy(bytes, sqd.data(), sqd.size());

  const Outcome first = link(type, subjectLength, bytes, sqd.size(), sqi, sqiSize);
  const bool anyByte = std::memcmp(bytes, sqd.data(), sqd.size()) != 0;
  if (first.linked && first.total != le32(&sqd[highMsgAt])) std::abort();
  if (!first.linked) {
    if (anyByte || first.changed != 0) std::abort();
    std::free(bytes);
    return;
  }
  const std::size_t fieldsSize = type == knotter::LinkType::subj ? subjectFieldsSize : chainFieldsSize;
  const Footprint f = footprint(sqd, sqi, sqiSize, fieldsSize);
  if (first.changed > f.writes.size()) std::abort();
  if (anyByte && first.changed == 0) std::abort();
  if (!onlyFieldsChanged(sqd, bytes, f)) std::abort();

  if (separate(f)) {
    const std::vector<std::uint8_t> once(bytes, bytes + sqd.size());
    const Outcome second = link(type, subjectLength, bytes, sqd.size(), sqi, sqiSize);
    if (!second.linked || second.changed != 0) std::abort();
    if (std::memcmp(bytes, once.data(), once.size()) != 0) std::abort();
  }
  std::free(bytes);
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
  if (split == 0) return 0;  // the driver never maps an empty data file
  const std::vector<std::uint8_t> sqd(rest, rest + split);
  const std::uint8_t* sqi = rest + split;
  const std::size_t sqiSize = restSize - split;

  const bool lookalikes = (data[4] & 1) != 0;
  const std::int32_t subjectLength = 1 + (data[4] >> 1) % 72;
  knotter::buildSubjectScanTable(lookalikes);
  for (const knotter::LinkType type : {knotter::LinkType::timEd, knotter::LinkType::flat,
                                       knotter::LinkType::reply, knotter::LinkType::subj}) {
    checkLinkType(type, subjectLength, sqd, sqi, sqiSize);
  }
  return 0;
}
