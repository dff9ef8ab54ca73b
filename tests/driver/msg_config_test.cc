// Configuration lines that name *.MSG areas: under -msg, HPT lines typed
// *.MSG (-b msg, or echo lines after defaults that leave the type to
// *.MSG) and Squish-style lines with -f (and, under the option -$, lines
// with neither -$ nor -0) are linked as *.MSG directories; without -msg
// nothing a configuration says changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"
#include "support/msg_area_builder.h"

namespace ktest {
namespace {

AreaCase hpt(const char* name, const char* config, std::vector<std::string> args,
             std::vector<std::string> areas, std::vector<std::string> reports = {}) {
  args.insert(args.begin(), "-hpt");
  return {name, {{"k.cfg", config}}, args, areas, reports};
}

AreaCase squish(const char* name, const char* config, std::vector<std::string> args,
                std::vector<std::string> areas) {
  return {name, {{"k.cfg", config}}, args, areas};
}

TEST(MsgConfig, HptLinesTypedMsgAreLinkedUnderMsg) {
  const AreaCase cases[] = {
      hpt("-b msg without -msg", "EchoArea A a -b msg\n", {}, {}),
      hpt("-b msg with -msg", "EchoArea A a -b msg\n", {"-msg"}, {"A a/"}),
      hpt("netmail -b msg", "NetmailArea N n -b MSG\n", {"-msg"}, {"N n/"}),
      hpt("defaults -b msg", "EchoAreaDefaults -b msg\nEchoArea A a\nLocalArea L l\n", {"-msg"},
          {"A a/", "L l.sqd"}),
      hpt("defaults without -b leave *.MSG", "EchoAreaDefaults -p 30\nEchoArea A a\n", {"-msg"},
          {"A a/"}),
      hpt("echo lines before any defaults stay Squish", "EchoArea A a\n", {"-msg"}, {"A a.sqd"}),
      hpt("the last -b wins", "EchoArea A a -b msg -b squish\nEchoArea B b -b squish -b msg\n",
          {"-msg"}, {"A a.sqd", "B b/"}),
      hpt("passthrough stays passthrough", "EchoArea A a -b msg -pass\n", {"-msg"}, {}),
      hpt("a trailing slash gives one", "EchoArea A mail/ -b msg\n", {"-msg"}, {"A mail/"}),
      hpt("-a names a *.MSG area without -msg", "EchoArea A a -b msg\n", {"-aA"}, {},
          {"! A is not a Squish message base"}),
      hpt("-a names a *.MSG area with -msg", "EchoArea A a -b msg\n", {"-aA", "-msg"}, {"A a/"}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(MsgConfig, SquishLinesWithDashFAreMsgUnderMsg) {
  const AreaCase cases[] = {
      squish("-f without -msg", "EchoArea A a -f\n", {}, {"A a.sqd"}),
      squish("-f with -msg", "EchoArea A a -f\n", {"-msg"}, {"A a/"}),
      squish("neither flag, no option -$", "EchoArea A a\n", {"-msg"}, {"A a.sqd"}),
      squish("neither flag under the option -$", "EchoArea A a\nEchoArea B b -$\nEchoArea C c -0\n",
             {"-msg", "-$"}, {"A a/", "B b.sqd"}),
      squish("the option -$ without -msg", "EchoArea A a\nEchoArea B b -$\n", {"-$"}, {"B b.sqd"}),
      squish("the later of -$ and -f wins", "EchoArea A a -f -$\nEchoArea B b -$ -f\n", {"-msg"},
             {"A a.sqd", "B b/"}),
      squish("-0 before -f", "EchoArea A a -0 -f\n", {"-msg"}, {}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(MsgConfig, MsgAreasAreLinkedInTheSameRunAsTheOthers) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("sq"));
  std::filesystem::create_directory(dir.file("net"));
  writeMsgFile(dir.file("net"), "2.msg", {.text = msgText({msgIdKludge(1)})});
  writeMsgFile(dir.file("net"), "3.msg", {.text = msgText({msgIdKludge(2), replyKludge(1)})});
  writeFile(dir.file("k.cfg"), "NetmailArea NET net -b msg\nEchoArea SQ sq\n");
  const RunResult run = runKnotter({"k.cfg", "-hpt", "-msg", "-l", "k.log"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking NET: 2 of 2\nLinking SQ: 3 of 3\n");
  EXPECT_EQ(describeMsgLinks(dir.file("net"), {2, 3}), "2: 0 3; 3: 2 0");
  const std::string log = readFile(dir.file("k.log"));
  EXPECT_NE(log.find("Linking NET: 2 of 2\n"), std::string::npos);
}

}  // namespace
}  // namespace ktest
