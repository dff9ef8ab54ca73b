// End-to-end tests of the ways one area fails: each case damages a good base,
// runs the tool on it and checks the exact console text, the log, the exit
// code, and that neither file of the base was touched.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// Three messages that would all change if linked: 2 and 3 reply to 1.
BaseSpec goodBase() {
  return {.messages = {{.umsgid = 1, .control = "\x01MSGID: 2:5020/1 00000001"},
                       {.umsgid = 2,
                        .control = "\x01MSGID: 2:5020/2 00000002\x01REPLY: 2:5020/1 00000001"},
                       {.umsgid = 3,
                        .control = "\x01MSGID: 2:5020/3 00000003\x01REPLY: 2:5020/1 00000001"}},
          .staleEntries = 2};
}

struct Area {
  std::filesystem::path dir;
  std::filesystem::path base;  // dir/area
  BuiltBase built;
  std::uint32_t lastOfs() const { return built.frameOffsets.back(); }
  std::uint32_t lastClen() const { return getU32(built.sqd, lastOfs() + 20); }
};

// An exclusive lock held by this process for as long as the holder lives.
struct ExclusiveLock {
  int fd = -1;
  explicit ExclusiveLock(const std::filesystem::path& file) : fd(open(file.c_str(), O_RDWR)) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0) ADD_FAILURE() << "cannot lock " << file;
  }
  ~ExclusiveLock() {
    if (fd >= 0) close(fd);
  }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
};

const std::string areaReadError = "! Error reading area. Area is possibly damaged";

struct FailureCase {
  const char* name;
  std::function<void(const Area&)> damage;
  std::string report;
  std::optional<std::filesystem::path> lockedFile = std::nullopt;  // relative to dir
  bool needsNonRoot = false;
};

std::string fileOrNone(const std::filesystem::path& path) {
  return std::filesystem::exists(path) ? readFile(path) : "(none)";
}

const FailureCase failureCases[] = {
    {"missing data file", [](const Area& a) { std::filesystem::remove(sqd(a.base)); },
     "! Cannot open file area.sqd (2)"},
    {"data file without write permission",
     [](const Area& a) {
       std::filesystem::permissions(sqd(a.base), std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::group_read);
     },
     "! Cannot open file area.sqd (13)", std::nullopt, true},
    {"data file locked by another program", [](const Area&) {},
     "! Cannot open file area.sqd (4)", "area.sqd"},
    {"empty data file", [](const Area& a) { truncateFile(sqd(a.base), 0); },
     "! Error reading file area.sqd"},
    {"missing index", [](const Area& a) { std::filesystem::remove(sqi(a.base)); },
     "! Cannot open file area.sqi (2)"},
    {"index locked by another program", [](const Area&) {},
     "! Cannot open file area.sqi (4)", "area.sqi"},
    {"empty index", [](const Area& a) { truncateFile(sqi(a.base), 0); },
     "! Error reading index file area.sqi"},
    {"index one byte short", [](const Area& a) { truncateFile(sqi(a.base), 3 * 12 - 1); },
     "! Error reading index file area.sqi"},
    {"index too short for high_msg",
     [](const Area& a) { setU32(sqd(a.base), 8, 3 + 2 + 1); },
     "! Error reading index file area.sqi"},
    {"ofs one beyond end_frame",
     [](const Area& a) { setU32(sqi(a.base), 12 * 1, getU32(a.built.sqd, 120) + 1); },
     "! Index file of area is damaged"},
    {"end_frame one below an ofs",
     [](const Area& a) { setU32(sqd(a.base), 120, a.lastOfs() - 1); },
     "! Index file of area is damaged"},
    {"bad frame id", [](const Area& a) { setU32(sqd(a.base), a.built.frameOffsets[1], 0); },
     "! Message base of area is damaged"},
    {"frame at end_frame, outside the file",
     [](const Area& a) { setU32(sqi(a.base), 12 * 2, getU32(a.built.sqd, 120)); },
     areaReadError},
    {"frame offset near 4 GiB",
     [](const Area& a) {
       setU32(sqd(a.base), 120, 0xFFFFFFFF);
       setU32(sqi(a.base), 12 * 2, 0xFFFFFFF0);
     },
     areaReadError},
    {"sz_sqhdr puts the header outside the file",
     [](const Area& a) { setU16(sqd(a.base), 130, 0xFFFF); }, areaReadError},
    {"sz_sqhdr too small for the frame header fields",
     [](const Area& a) { setU16(sqd(a.base), 130, 23); }, areaReadError},
    {"clen reaches past the end",
     [](const Area& a) { setU32(sqd(a.base), a.lastOfs() + 20, a.lastClen() + 1); },
     areaReadError},
    {"clen wraps 32 bits", [](const Area& a) { setU32(sqd(a.base), a.lastOfs() + 20, 0xFFFFFFFF); },
     areaReadError},
    {"data file shorter than high_msg", [](const Area& a) { truncateFile(sqd(a.base), 10); },
     areaReadError},
    {"data file shorter than sz_sqhdr", [](const Area& a) { truncateFile(sqd(a.base), 130); },
     areaReadError},
};

TEST(AreaFailures, ReportTheFailureAndLeaveTheBaseAlone) {
  for (const FailureCase& c : failureCases) {
    SCOPED_TRACE(c.name);
    if (c.needsNonRoot && geteuid() == 0) {
      std::cout << "[ SKIPPED  ] " << c.name << ": root may write any file\n";
      continue;
    }
    TempDir dir;
    Area area{dir.path(), dir.file("area"), writeBase(goodBase(), dir.file("area"))};
    c.damage(area);
    const std::string dataBefore = fileOrNone(sqd(area.base));
    const std::string indexBefore = fileOrNone(sqi(area.base));
    std::optional<ExclusiveLock> lock;
    if (c.lockedFile) lock.emplace(dir.file(*c.lockedFile));

    RunResult run = runKnotter({"-#area", "-lrun.log"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking area\r" + c.report + "\n");
    EXPECT_EQ(readLogLines(dir.file("run.log")),
              (std::vector<std::string>{"", "Begin, Knotwork v2.4", "Linking areas", c.report,
                                        "End, Knotwork v2.4"}));
    EXPECT_EQ(fileOrNone(sqd(area.base)), dataBefore);
    EXPECT_EQ(fileOrNone(sqi(area.base)), indexBefore);
  }
}

// Cutting the data file anywhere inside the last frame's header, message
// header or control information fails the area; cutting only its text does
// not, since the text is never read.
TEST(AreaFailures, TruncatedLastFrame) {
  TempDir probe;
  Area shape{probe.path(), probe.file("area"), buildBase(goodBase())};
  const std::size_t ofs = shape.lastOfs();
  const std::size_t controlEnd = ofs + 28 + 238 + shape.lastClen();
  const std::size_t cuts[] = {ofs,       ofs + 3,       ofs + 4,        ofs + 24,
                              ofs + 27,  ofs + 28,      ofs + 28 + 177, ofs + 28 + 178,
                              ofs + 28 + 213, ofs + 28 + 237, controlEnd - 1};
  for (std::size_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    TempDir dir;
    writeBase(goodBase(), dir.file("area"));
    truncateFile(sqd(dir.file("area")), cut);
    const std::string before = readFile(sqd(dir.file("area")));
    RunResult run = runKnotter({"-#area"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking area\r" + areaReadError + "\n");
    EXPECT_EQ(readFile(sqd(dir.file("area"))), before);
  }
  TempDir dir;
  writeBase(goodBase(), dir.file("area"));
  truncateFile(sqd(dir.file("area")), controlEnd);
  RunResult run = runKnotter({"-#area"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: 3 of 3\n");
}

}  // namespace
}  // namespace ktest
