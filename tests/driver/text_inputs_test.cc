// End-to-end: the text files a run reads (configuration, Include, list and
// flags files) can neither stop it nor bend a name. A device, a socket or a
// directory counts as a file that cannot be opened, a FIFO without a writer
// as an empty file; a token of any length is cut; a line whose token holds a
// NUL byte is skipped whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"

namespace ktest {
namespace {

using namespace std::string_literals;

// A socket file, left behind when its descriptor is closed.
void makeSocket(const std::filesystem::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

// In dir: "lists" a directory, "sock" a socket, "fifo" a FIFO no one writes to.
void makeOtherFiles(const TempDir& dir) {
  std::filesystem::create_directories(dir.file("lists"));
  makeSocket(dir.file("sock"));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
}

TEST(TextInputs, ConfigurationThatIsNoFile) {
  const struct {
    const char* path;
    int exitCode;
  } cases[] = {
      {"/dev/zero", 3}, {"/dev/null", 3}, {"lists", 3}, {"sock", 3}, {"fifo", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TempDir dir;
    makeOtherFiles(dir);
    const RunResult run = runKnotter({"-c", c.path}, dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, banner);
  }
}

TEST(TextInputs, IncludeThatIsNoFileIsSkipped) {
  for (const char* include : {"/dev/zero", "lists", "sock", "fifo"}) {
    SCOPED_TRACE(include);
    TempDir dir;
    makeOtherFiles(dir);
    writeFile(dir.file("k.cfg"),
              "EchoArea A /m/a\nInclude " + std::string(include) + "\nEchoArea B /m/b\n");
    const TraceRun run = traceAreas(dir, {"k.cfg"});
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(run.areas, (std::vector<std::string>{"A /m/a.sqd", "B /m/b.sqd"}));
  }
}

// A list path that is no file is the name of an area, as one that cannot be
// opened is; -k then deletes nothing.
TEST(TextInputs, ListThatIsNoFileIsAnAreaName) {
  const struct {
    const char* option;
    std::vector<std::string> areas;
    std::vector<std::string> reports;
  } cases[] = {
      {"-f/dev/zero", {}, {"! Cannot find area: /dev/zero"}},
      {"-klists", {}, {"! Cannot find area: lists"}},
      {"-ksock", {}, {"! Cannot find area: sock"}},
      {"-fa", {"a /m/a.sqd"}, {}},  // "a" is a directory here
      {"-kfifo", {}, {}},            // an empty list
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    TempDir dir;
    makeOtherFiles(dir);
    std::filesystem::create_directories(dir.file("a"));
    writeFile(dir.file("k.cfg"), "EchoArea a /m/a\nEchoArea b /m/b\n");
    const TraceRun run = traceAreas(dir, {"k.cfg", c.option});
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(run.areas, c.areas);
    EXPECT_EQ(reportLines(run.result.out), c.reports);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("sock"))));
    EXPECT_TRUE(std::filesystem::exists(dir.file("lists")));
  }
}

TEST(TextInputs, FlagsFileThatIsNoFile) {
  const struct {
    const char* path;
    std::string reported;
  } cases[] = {
      {"/dev/zero", "! Cannot open file /dev/zero (6)\n"},
      {"lists", "! Cannot open file lists (6)\n"},
      {"sock", "! Cannot open file sock (6)\n"},
      {"fifo", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TempDir dir;
    makeOtherFiles(dir);
    writeFile(dir.file("k.cfg"), "");
    const RunResult run = runKnotter({"-@" + std::string(c.path), "k.cfg"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, c.reported + banner);
  }
}

// A token of more than 2^31 bytes is more than a 32-bit count can hold; it
// must be read to its end without being written before its buffer. This one
// is a hole of NUL bytes, which also makes its line one that does not fit.
TEST(TextInputs, TokenOfMoreThan2GiBIsReadToItsEnd) {
  TempDir dir;
  const std::string head = "EchoArea A ";
  const std::string tail = "\nEchoArea B /m/b\n";
  const off_t holeSize = (off_t{1} << 31) + 5;
  const int fd = ::open(dir.file("k.cfg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size()) + holeSize),
            static_cast<ssize_t>(tail.size()));
  ::close(fd);
  const TraceRun run = traceAreas(dir, {"k.cfg"});
  EXPECT_EQ(run.result.exitCode, 0);
  EXPECT_EQ(run.areas, std::vector<std::string>{"B /m/b.sqd"});
}

AreaCase nulCase(const char* name, const std::string& config, std::vector<std::string> args,
                 std::vector<std::string> areas, std::vector<CaseFile> more = {}) {
  AreaCase c{name, {{"k.cfg", config}}, std::move(args), std::move(areas)};
  c.files.insert(c.files.end(), more.begin(), more.end());
  return c;
}

// Nothing of such a line is taken: no area, no setting, no list name.
TEST(TextInputs, LineWithANulByteInATokenIsSkipped) {
  const CaseFile list{"list", "b\0x\nA\n"s};
  const AreaCase cases[] = {
      nulCase("path", "EchoArea NULPATH other\0.secret\nEchoArea B /m/b\n"s, {}, {"B /m/b.sqd"}),
      nulCase("tag", "EchoArea A\0x /m/a\n"s, {}, {}),
      nulCase("Squish flag", "EchoArea A /m/a -$\0\n"s, {"-$"}, {}),
      nulCase("node address", "EchoArea A /m/a 2:5020/1\0\n"s, {}, {}),
      nulCase("HPT type word", "EchoArea A /m/a -b squish\0\n"s, {"-hpt"}, {}),
      nulCase("-a area: nothing reported", "EchoArea A /m/a -0\0\n"s, {"-aA"}, {}),
      nulCase("defaults line changes nothing",
              "EchoAreaDefaults -b jam -nolink\0\nEchoArea A /m/a\n"s, {"-hpt"}, {"A /m/a.sqd"}),
      nulCase("LinkType changes nothing", "EchoArea A /m/a\nLinkType none\0\nEchoArea B /m/b\n"s,
              {}, {"A /m/a.sqd", "B /m/b.sqd"}),
      nulCase("Include", "Include inc\0.cfg\n"s, {}, {}, {{"inc", "EchoArea B /m/b\n"}}),
      nulCase("list file line", "EchoArea c /m/c\nEchoArea b /m/b\nEchoArea A /m/a\n", {"-flist"},
              {"A /m/a.sqd"}, {list}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

}  // namespace
}  // namespace ktest
