// End-to-end: the text files a run reads (configuration, Include and list
// files) can neither stop it nor bend a name: a token of any length is cut,
// and a line whose token holds a NUL byte is skipped whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/config_trace.h"

namespace ktest {
namespace {

using namespace std::string_literals;

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
