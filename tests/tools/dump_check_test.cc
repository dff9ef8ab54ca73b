// knotter-dump --check and the damage marks of the listing: the inspector
// reports a damaged base exactly as the linker would, and only then exits 1.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace {

using ktest::splitLines;
namespace fs = std::filesystem;

constexpr std::size_t endFrameAt = 120;
constexpr std::size_t highMsgAt = 8;
constexpr std::size_t frameAndHeader = 28 + 238;
const std::string control = "\x01MSGID: 2:5020/1 00000001";

std::string hex(const char* format, std::uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Three messages; the index lists them last to first, so that index order
// and file order differ.
ktest::BuiltBase writeThree(const fs::path& base) {
  ktest::BaseSpec layout;
  for (std::uint32_t umsgid = 1; umsgid <= 3; ++umsgid) {
    layout.messages.push_back({.umsgid = umsgid, .subject = "S", .control = control, .body = "b"});
  }
  layout.indexOrder = {2, 1, 0};
  return ktest::writeBase(layout, base);
}

struct DamageCase {
  const char* name;
  // Damages base T; returns the lines --check must print after it.
  std::function<std::vector<std::string>(const fs::path& base, const ktest::BuiltBase&)> damage;
  int exitCode;
  // False where the linker's words depend on the memory of the machine.
  bool sameAsLinker = true;
};

const std::string badFrame = "! Message base of T is damaged";
const std::string areaError = "! Error reading T. Area is possibly damaged";

const DamageCase damageCases[] = {
    {"clean, and an entry right at end_frame", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::setU32(ktest::sqd(base), endFrameAt, b.frameOffsets[2]);
       return std::vector<std::string>{"T: 3 messages, no damage found"};
     }, 0},
    {"entry one beyond end_frame", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::setU32(ktest::sqd(base), endFrameAt, b.frameOffsets[2] - 1);
       return std::vector<std::string>{
           "! Index file of T is damaged",
           "! Offset " + hex("0x%X", b.frameOffsets[2]) +
               " of message No 0 is beyond the end of message base"};
     }, 1},
    {"index damage is found before a bad frame", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::setU32(ktest::sqd(base), b.frameOffsets[0], 0);
       ktest::setU32(ktest::sqd(base), endFrameAt, b.frameOffsets[1] - 1);
       return std::vector<std::string>{
           "! Index file of T is damaged",
           "! Offset " + hex("0x%X", b.frameOffsets[2]) +
               " of message No 0 is beyond the end of message base"};
     }, 1},
    {"the bad frame first in the file is reported", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::setU32(ktest::sqd(base), b.frameOffsets[2], 0x12345678);
       ktest::setU32(ktest::sqd(base), b.frameOffsets[1], 0x12345678);
       return std::vector<std::string>{
           badFrame, "! Bad frame for message with umsgid=2 at offset " +
                         hex("0x%08X", b.frameOffsets[1])};
     }, 1},
    {"control information ends at the end of the file", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::truncateFile(ktest::sqd(base), b.frameOffsets[2] + frameAndHeader + control.size());
       return std::vector<std::string>{"T: 3 messages, no damage found"};
     }, 0},
    {"control information one byte past the end", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::truncateFile(ktest::sqd(base),
                           b.frameOffsets[2] + frameAndHeader + control.size() - 1);
       return std::vector<std::string>{areaError};
     }, 1},
    {"frame id cut by the end of the file", [](const fs::path& base, const ktest::BuiltBase& b) {
       ktest::setU32(ktest::sqd(base), endFrameAt, b.frameOffsets[2]);
       ktest::truncateFile(ktest::sqd(base), b.frameOffsets[2] + 3);
       return std::vector<std::string>{areaError};
     }, 1},
    {"data file shorter than its header", [](const fs::path& base, const ktest::BuiltBase&) {
       ktest::truncateFile(ktest::sqd(base), 131);
       return std::vector<std::string>{areaError};
     }, 1},
    {"empty data file", [](const fs::path& base, const ktest::BuiltBase&) {
       ktest::truncateFile(ktest::sqd(base), 0);
       return std::vector<std::string>{"! Error reading file T.sqd"};
     }, 1},
    {"index shorter than high_msg", [](const fs::path& base, const ktest::BuiltBase&) {
       ktest::truncateFile(ktest::sqi(base), 3 * 12 - 1);
       return std::vector<std::string>{"! Error reading index file T.sqi"};
     }, 1},
    {"high_msg far beyond the index", [](const fs::path& base, const ktest::BuiltBase&) {
       ktest::setU32(ktest::sqd(base), highMsgAt, 0x7FFFFFFF);
       return std::vector<std::string>{"! Error reading index file T.sqi"};
     }, 1, false},
    {"no index file", [](const fs::path& base, const ktest::BuiltBase&) {
       fs::remove(ktest::sqi(base));
       return std::vector<std::string>{"! Cannot open file T.sqi (2)"};
     }, 1},
    {"no data file", [](const fs::path& base, const ktest::BuiltBase&) {
       fs::remove(ktest::sqd(base));
       return std::vector<std::string>{"! Cannot open file T.sqd (2)"};
     }, 1},
    {"empty base: the index is not read", [](const fs::path& base, const ktest::BuiltBase&) {
       ktest::setU32(ktest::sqd(base), highMsgAt, 0xFFFFFFFF);
       fs::remove(ktest::sqi(base));
       return std::vector<std::string>{"T: 0 messages, no damage found"};
     }, 0},
};

// Keeps the report lines the linker also writes at its default log level.
std::vector<std::string> levelOneReports(const std::vector<std::string>& lines) {
  std::vector<std::string> reports;
  for (const std::string& line : lines) {
    if (line.rfind("! ", 0) == 0 && line.rfind("! Offset ", 0) != 0 &&
        line.rfind("! Bad frame ", 0) != 0) {
      reports.push_back(line);
    }
  }
  return reports;
}

TEST(DumpCheck, ReportsDamageAsTheLinkerDoes) {
  for (const DamageCase& c : damageCases) {
    SCOPED_TRACE(c.name);
    ktest::TempDir dir;
    const fs::path base = dir.file("T");
    const ktest::BuiltBase built = writeThree(base);
    const std::vector<std::string> expected = c.damage(base, built);

    const ktest::DumpResult result = ktest::runDump({"--check", "T"}, dir.path());
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(splitLines(result.out), expected);
    EXPECT_EQ(result.err, "");

    // The linker itself, on the same base, reports the same faults.
    if (!c.sameAsLinker) continue;
    ktest::runKnotter({"-#T", "-q", "-lrun.log"}, dir.path());
    EXPECT_EQ(levelOneReports(ktest::readLogLines(dir.file("run.log"))),
              levelOneReports(expected));
  }
}

TEST(DumpCheck, ListingMarksEveryDamagedMessageThenReports) {
  ktest::TempDir dir;
  const fs::path base = dir.file("T");
  const ktest::BuiltBase built = writeThree(base);
  ktest::setU32(ktest::sqd(base), built.frameOffsets[1], 0);
  ktest::truncateFile(ktest::sqd(base), built.frameOffsets[2] + frameAndHeader);

  const ktest::DumpResult result = ktest::runDump({"T"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  const std::vector<std::string> lines = splitLines(result.out);
  ASSERT_EQ(lines.size(), 6u) << result.out;
  EXPECT_EQ(lines[1], "0 umsgid=3 ofs=" + hex("0x%08X", built.frameOffsets[2]) +
                          " damage=outside-file");
  EXPECT_EQ(lines[2], "1 umsgid=2 ofs=" + hex("0x%08X", built.frameOffsets[1]) +
                          " damage=bad-frame");
  EXPECT_EQ(lines[3].rfind("2 umsgid=1 ofs=" + hex("0x%08X", built.frameOffsets[0]) +
                               " msgid=\"2:5020/1\",00000001 ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4], badFrame);
  EXPECT_EQ(lines[5], "! Bad frame for message with umsgid=2 at offset " +
                          hex("0x%08X", built.frameOffsets[1]));
}

// Holds an exclusive lock on a whole file for the life of the holder, as a
// tosser writing the base would.
struct ExclusiveLock {
  int fd;
  explicit ExclusiveLock(const fs::path& file) : fd(open(file.c_str(), O_RDWR)) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0) throw std::runtime_error("lock failed");
  }
  ~ExclusiveLock() { close(fd); }
};

TEST(DumpCheck, GivesUpAfterOneSecondWhenTheBaseIsLocked) {
  ktest::TempDir dir;
  writeThree(dir.file("T"));
  const ExclusiveLock lock(ktest::sqd(dir.file("T")));
  const ktest::DumpResult result = ktest::runDump({"--check", "T"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "! Cannot open file T.sqd (4)\n");
}

}  // namespace
