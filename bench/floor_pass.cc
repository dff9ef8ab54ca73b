// knotter-floor: the least work any linker must do on a base, as a yardstick
// for the tool. It maps the data file as the tool does (shared, readable and
// writable), reads the index with one read, and for every message touches the
// frame id, the ten reply-chain fields and each SOH byte of the control
// information. It parses, sorts and allocates nothing per message. With
// --stores it also changes one reply-chain field in every header, which is
// what dirtying every page costs on a first link. Given several bases, it
// visits them in turn in one process. A base with a JAM header file
// (<base>.jhr) is visited as JAM: the header signature, the three reply
// fields and the head of every subfield. A path that ends in "/" is a *.MSG
// directory: it is listed once, and every message file but 1.msg is opened,
// its header and leading kludge lines read with one pread of 4 KiB (the
// two link fields and each SOH byte touched), and closed; with --stores,
// its replyTo is written too, two bytes with one pwrite.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Offsets written out as numbers, independent of the tool's own table.
constexpr std::size_t highMsgAt = 8;
constexpr std::size_t szSqhdrAt = 130;
constexpr std::size_t clenAt = 20;
constexpr std::size_t replytoAt = 174;  // then replies[0..8]
constexpr std::size_t messageHeaderSize = 238;
constexpr std::size_t indexEntrySize = 12;
constexpr std::size_t jamBlockSize = 1024;
constexpr std::size_t jamHeaderSize = 76;
constexpr std::size_t jamSubfieldLenAt = 8;
constexpr std::size_t jamReplyToAt = 24;  // then Reply1st, ReplyNext
constexpr std::size_t jamRecordSize = 8;
constexpr std::size_t msgHeaderSize = 190;
constexpr std::size_t msgReplyToAt = 184;
constexpr std::size_t msgUpAt = 188;
constexpr std::size_t msgReadStep = 4096;

std::uint32_t load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void store32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct Descriptor {
  int fd = -1;
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

struct Mapping {
  void* address = MAP_FAILED;
  std::size_t length = 0;
  Mapping(int fd, std::size_t size)
      : address(size > 0 ? ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                         : MAP_FAILED),
        length(size) {}
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (address != MAP_FAILED) ::munmap(address, length);
  }
};

bool fail(const std::string& what) {
  std::fprintf(stderr, "knotter-floor: %s\n", what.c_str());
  return false;
}

struct Totals {
  std::uint64_t messages = 0;
  std::uint64_t checksum = 0;
  std::uint64_t sohBytes = 0;
};

// Touches one message; false when its frame does not lie inside the file.
bool touchMessage(std::uint8_t* base, std::size_t size, std::uint32_t ofs, std::uint32_t szSqhdr,
                  bool stores, Totals& totals) {
  const std::uint64_t header = std::uint64_t{ofs} + szSqhdr;
  const std::uint64_t control = header + messageHeaderSize;
  if (ofs + std::uint64_t{clenAt} + 4 > size || control > size) return false;
  const std::uint32_t clen = load32(base + ofs + clenAt);
  if (control + clen > size) return false;
  totals.checksum = totals.checksum * 31 + load32(base + ofs);
  std::uint8_t* fields = base + header + replytoAt;
  for (std::size_t k = 0; k < 10; ++k)
    totals.checksum = totals.checksum * 31 + load32(fields + 4 * k);
  const std::uint8_t* at = base + control;
  const std::uint8_t* end = at + clen;
  while (at < end) {
    const void* soh = std::memchr(at, 1, static_cast<std::size_t>(end - at));
    if (soh == nullptr) break;
    at = static_cast<const std::uint8_t*>(soh) + 1;
    totals.checksum += static_cast<std::uint64_t>(end - at);
    ++totals.sohBytes;
  }
  if (stores) store32(fields, ~load32(fields));
  return true;
}

// Touches one JAM header; false when it does not lie inside the file.
bool touchJamHeader(std::uint8_t* base, std::size_t size, std::uint32_t ofs, bool stores,
                    Totals& totals) {
  if (ofs < jamBlockSize || std::uint64_t{ofs} + jamHeaderSize > size) return false;
  const std::uint64_t end = std::uint64_t{ofs} + jamHeaderSize + load32(base + ofs + jamSubfieldLenAt);
  if (end > size) return false;
  totals.checksum = totals.checksum * 31 + load32(base + ofs);
  std::uint8_t* fields = base + ofs + jamReplyToAt;
  for (std::size_t k = 0; k < 3; ++k) totals.checksum = totals.checksum * 31 + load32(fields + 4 * k);
  for (std::uint64_t at = std::uint64_t{ofs} + jamHeaderSize; at + 8 <= end;) {
    totals.checksum += load32(base + at);
    ++totals.sohBytes;
    at += 8 + std::uint64_t{load32(base + at + 4)};
  }
  if (stores) store32(fields, ~load32(fields));
  return true;
}

// Visits every header of one JAM base in index order; false after printing why.
bool visitJamBase(const std::string& basePath, bool stores, Totals& totals) {
  const std::string headerPath = basePath + ".jhr";
  const std::string indexPath = basePath + ".jdx";
  Descriptor headers(::open(headerPath.c_str(), O_RDWR | O_CLOEXEC));
  struct stat status {};
  if (headers.fd < 0 || ::fstat(headers.fd, &status) != 0) return fail("cannot open " + headerPath);
  const auto size = static_cast<std::size_t>(status.st_size);
  Mapping mapping(headers.fd, size);
  if (mapping.address == MAP_FAILED || size < jamBlockSize) return fail("cannot map " + headerPath);
  Descriptor indexFile(::open(indexPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (indexFile.fd < 0 || ::fstat(indexFile.fd, &status) != 0) return fail("cannot open " + indexPath);
  std::vector<std::uint8_t> index(static_cast<std::size_t>(status.st_size) / jamRecordSize *
                                  jamRecordSize);
  if (::read(indexFile.fd, index.data(), index.size()) != static_cast<ssize_t>(index.size())) {
    return fail("cannot read " + indexPath);
  }
  auto* base = static_cast<std::uint8_t*>(mapping.address);
  for (std::size_t at = 0; at < index.size(); at += jamRecordSize) {
    const std::uint32_t ofs = load32(index.data() + at + 4);
    if (ofs == 0xFFFFFFFF) continue;
    if (!touchJamHeader(base, size, ofs, stores, totals)) {
      return fail(headerPath + ": header outside the file, record " + std::to_string(at / 8));
    }
    ++totals.messages;
  }
  return true;
}

// Visits every message of one base in index order; false after printing why.
bool visitBase(const std::string& basePath, bool stores, Totals& totals) {
  const std::string dataPath = basePath + ".sqd";
  const std::string indexPath = basePath + ".sqi";
  Descriptor data(::open(dataPath.c_str(), O_RDWR | O_CLOEXEC));
  struct stat status {};
  if (data.fd < 0 || ::fstat(data.fd, &status) != 0) return fail("cannot open " + dataPath);
  const auto size = static_cast<std::size_t>(status.st_size);
  Mapping mapping(data.fd, size);
  if (mapping.address == MAP_FAILED || size < 256) return fail("cannot map " + dataPath);
  auto* base = static_cast<std::uint8_t*>(mapping.address);
  const auto count = static_cast<std::int32_t>(load32(base + highMsgAt));
  const std::uint32_t szSqhdr = base[szSqhdrAt] | (base[szSqhdrAt + 1] << 8);
  if (count <= 0) return true;
  std::vector<std::uint8_t> index(static_cast<std::size_t>(count) * indexEntrySize);
  {
    Descriptor indexFile(::open(indexPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (indexFile.fd < 0 ||
        ::read(indexFile.fd, index.data(), index.size()) != static_cast<ssize_t>(index.size())) {
      return fail("cannot read " + indexPath);
    }
  }
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = index.data() + static_cast<std::size_t>(i) * indexEntrySize;
    totals.checksum += load32(entry + 4);  // umsgid
    if (!touchMessage(base, size, load32(entry), szSqhdr, stores, totals)) {
      return fail(dataPath + ": frame outside the data file, message No " + std::to_string(i));
    }
  }
  totals.messages += static_cast<std::uint64_t>(count);
  return true;
}

// Reads (and with stores writes) one message file of a *.MSG directory.
bool touchMsgFile(int dirFd, const char* name, bool stores, std::uint8_t* buffer, Totals& totals) {
  Descriptor file(::openat(dirFd, name, (stores ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (file.fd < 0 || ::fstat(file.fd, &status) != 0) return false;
  const ssize_t got = ::pread(file.fd, buffer, msgReadStep, 0);
  if (got < static_cast<ssize_t>(msgHeaderSize)) return false;
  const std::uint32_t replyTo = buffer[msgReplyToAt] | (buffer[msgReplyToAt + 1] << 8);
  totals.checksum = totals.checksum * 31 + replyTo;
  totals.checksum = totals.checksum * 31 + (buffer[msgUpAt] | (buffer[msgUpAt + 1] << 8));
  const std::uint8_t* at = buffer + msgHeaderSize;
  const std::uint8_t* end = buffer + got;
  while (at < end) {
    const void* soh = std::memchr(at, 1, static_cast<std::size_t>(end - at));
    if (soh == nullptr) break;
    at = static_cast<const std::uint8_t*>(soh) + 1;
    totals.checksum += static_cast<std::uint64_t>(end - at);
    ++totals.sohBytes;
  }
  if (!stores) return true;
  const std::uint8_t complement[2] = {static_cast<std::uint8_t>(~replyTo),
                                      static_cast<std::uint8_t>(~replyTo >> 8)};
  return ::pwrite(file.fd, complement, 2, msgReplyToAt) == 2;
}

// Visits every message file of one *.MSG directory; false after printing why.
bool visitMsgArea(const std::string& dir, bool stores, Totals& totals) {
  Descriptor directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.fd < 0) return fail("cannot open " + dir);
  DIR* stream = ::fdopendir(::dup(directory.fd));
  if (stream == nullptr) return fail("cannot list " + dir);
  std::vector<std::uint8_t> buffer(msgReadStep);
  bool fine = true;
  while (const dirent* entry = ::readdir(stream)) {
    const std::size_t length = std::strlen(entry->d_name);
    if (length < 5 || std::strcmp(entry->d_name + length - 4, ".msg") != 0 ||
        std::strcmp(entry->d_name, "1.msg") == 0) {
      continue;
    }
    if (!touchMsgFile(directory.fd, entry->d_name, stores, buffer.data(), totals)) {
      fine = fail(dir + entry->d_name + ": cannot be read");
      break;
    }
    ++totals.messages;
  }
  ::closedir(stream);
  return fine;
}

}  // namespace

int main(int argc, char** argv) {
  const bool stores = argc >= 2 && std::strcmp(argv[1], "--stores") == 0;
  const int first = stores ? 2 : 1;
  if (first >= argc) {
    std::fputs("Usage: knotter-floor [--stores] <base>...\n", stderr);
    return 2;
  }
  Totals totals;
  for (int i = first; i < argc; ++i) {
    const std::string base = argv[i];
    if (!base.empty() && base.back() == '/') {
      if (!visitMsgArea(base, stores, totals)) return 1;
      continue;
    }
    const bool jam = ::access((base + ".jhr").c_str(), F_OK) == 0;
    if (!(jam ? visitJamBase(base, stores, totals) : visitBase(base, stores, totals))) return 1;
  }
  std::printf("%llu messages, %llu SOH bytes, checksum %016llx\n",
              static_cast<unsigned long long>(totals.messages),
              static_cast<unsigned long long>(totals.sohBytes),
              static_cast<unsigned long long>(totals.checksum));
  return 0;
}
