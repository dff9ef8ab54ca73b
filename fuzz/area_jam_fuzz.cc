// The whole-area target in JAM mode: links a JAM base made from one input
// with every link type. The first 4 bytes give the split point and the fifth
// the subject options (-p, -s), as for the Squish area target; of the rest,
// the bytes before the split are the header file (.jhr), the bytes after it
// the index (.jdx). Both are written to files for every link type, since the
// base is opened, locked and mapped as the driver does it.
//
// Checks, per link type: a failed area has not one byte changed and counts
// 0 changed; a linked area changed only ReplyTo, Reply1st and ReplyNext of
// the headers the index lists and ModCounter, which moved by one exactly when
// a header changed; the count of changed headers is at most the total, the
// total is the number of records with a header; no walk along the links
// written can go round in a circle; and a second link changes nothing.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/settings.h"
#include "jam/jam_linker.h"
#include "linker/kludge_scanner.h"
#include "linker/subject_normaliser.h"
#include "write_all.h"

namespace {

// The format's offsets written out here, independent of the product's own.
constexpr std::size_t modCounterAt = 8;
constexpr std::size_t replyToAt = 24;  // ReplyTo, Reply1st, ReplyNext: 12 bytes
constexpr std::size_t fixedHeaderSize = 76;
constexpr std::uint32_t noHeader = 0xFFFFFFFF;

constexpr const char* areaTag = "FUZZ";
std::string basePath;

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  writeAllOrAbort(fd, data, size);
  ::close(fd);
}

std::vector<std::uint8_t> readHeaderFile(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  const int fd = ::open((basePath + ".jhr").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::read(fd, bytes.data(), size) != static_cast<ssize_t>(size)) std::abort();
  ::close(fd);
  return bytes;
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

Outcome link(std::int32_t linkType) {
  Outcome o;
  knotter::JamBase base;
  o.linked = knotter::openJamBase(basePath.c_str(), areaTag, base) &&
             knotter::linkJamBase(linkType, areaTag, base, o.changed, o.total);
  return o;
}

void checkLinkType(std::int32_t linkType, const std::vector<std::uint8_t>& jhr,
                   const std::uint8_t* jdx, std::size_t jdxSize) {
  writeFile(basePath + ".jhr", jhr.data(), jhr.size());
  const Outcome first = link(linkType);
  const std::vector<std::uint8_t> after = readHeaderFile(jhr.size());
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
  const Outcome second = link(linkType);
  if (!second.linked || second.changed != 0) std::abort();
  if (readHeaderFile(jhr.size()) != after) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/knotter-jam-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  static const std::string directory = pattern;
  basePath = directory + "/FUZZ";
  std::atexit([] {
    ::unlink((basePath + ".jhr").c_str());
    ::unlink((basePath + ".jdx").c_str());
    ::rmdir(directory.c_str());
  });
  knotter::settings.quiet = true;
  knotter::buildKludgeTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t* rest = data + 5;
  const std::size_t restSize = size - 5;
  const std::size_t split = le32(data) % (restSize + 1);
  const std::vector<std::uint8_t> jhr(rest, rest + split);
  const std::uint8_t* jdx = rest + split;
  const std::size_t jdxSize = restSize - split;

  knotter::settings.russianLookalikes = (data[4] & 1) != 0;
  knotter::settings.subjectLength = 1 + (data[4] >> 1) % 72;
  knotter::buildSubjectScanTable(knotter::settings.russianLookalikes);
  writeFile(basePath + ".jdx", jdx, jdxSize);

  for (std::int32_t linkType = knotter::linkTimEd; linkType <= knotter::linkSubj; ++linkType) {
    checkLinkType(linkType, jhr, jdx, jdxSize);
  }
  return 0;
}
