// End-to-end: which areas a configuration gives, in which order, with which
// paths. Squish-style and HPT-style area lines and flags, -a and -$,
// LinkType, comments, keywords in any case, and Include files (at the place
// of their line, relative to the configuration, never looping).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/config_trace.h"

namespace ktest {
namespace {

AreaCase squishCase(const char* name, const std::string& config, std::vector<std::string> args,
                    std::vector<std::string> areas, std::vector<std::string> reports = {}) {
  return {name, {{"k.cfg", config}}, std::move(args), std::move(areas), std::move(reports)};
}

TEST(ConfigAreas, SquishStyleAreaLines) {
  const std::string tag150(150, 'T');
  const AreaCase cases[] = {
      squishCase("plain line", "EchoArea FIDO /m/fido\n", {}, {"FIDO /m/fido.sqd"}),
      squishCase("-$ option wants the flag", "EchoArea FIDO /m/fido\n", {"-$"}, {}),
      squishCase("-$ option and flag", "EchoArea FIDO /m/fido -$\n", {"-$"}, {"FIDO /m/fido.sqd"}),
      squishCase("-0 after -$ is passthrough", "EchoArea FIDO /m/fido -$ -0\n", {}, {}),
      squishCase("-0 ends the line", "EchoArea FIDO /m/fido -0 -$\n", {}, {}),
      squishCase("own link type", "EchoArea FIDO /m/fido -$l2\n", {}, {"FIDO /m/fido.sqd"}),
      squishCase("unknown link digit: not linked", "EchoArea FIDO /m/fido -$l9\n", {}, {}),
      squishCase("-$l without digit: not linked", "EchoArea FIDO /m/fido -$l\n", {}, {}),
      squishCase("upper-case L is no link flag", "EchoArea FIDO /m/fido -$L1\n", {},
                 {"FIDO /m/fido.sqd"}),
      squishCase("-a and -$ with the flag", "EchoArea FIDO /m/fido -$\n", {"-aFIDO", "-$"},
                 {"FIDO /m/fido.sqd"}),
      squishCase("-a and -$ without the flag", "EchoArea FIDO /m/fido\n", {"-aFIDO", "-$"}, {},
                 {"! FIDO is not a Squish message base"}),
      squishCase("-a reports the name as typed", "EchoArea FIDO /m/fido -0\n", {"-afido"}, {},
                 {"! fido is not a Squish message base"}),
      squishCase("-a ignores letter case and other areas",
                 "EchoArea A /m/a -0\nEchoArea FIDO /m/fido\nEchoArea B /m/b\n", {"-afido"},
                 {"FIDO /m/fido.sqd"}),
      squishCase("-a naming no area", "EchoArea FIDO /m/fido\n", {"-aNONE"}, {}),
      squishCase("no path", "EchoArea FIDO\n", {}, {}),
      squishCase("NetArea is no Squish-mode keyword", "NetArea MAIL /m/mail -$\n", {}, {}),
      squishCase("LocalArea", "LocalArea LOC /m/loc\n", {}, {"LOC /m/loc.sqd"}),
      squishCase("keywords in any case", "ECHOAREA A /m/a\nechoarea b /m/b\nlocalAREA c /m/c\n",
                 {}, {"A /m/a.sqd", "b /m/b.sqd", "c /m/c.sqd"}),
      squishCase("comments and unknown keywords",
                 "; EchoArea A /m/a\n# EchoArea B /m/b\n%EchoArea C /m/c\n  ;EchoArea D /m/d\n"
                 "AreasBBS x\nEchoArea E /m/e ; -0 is still a flag\nEchoArea F /m/f ; ok\n",
                 {}, {"F /m/f.sqd"}),
      squishCase("node addresses ignored", "EchoArea A /m/a 2:5020/1 -$ 2:5020/2.1\n", {"-$"},
                 {"A /m/a.sqd"}),
      squishCase("same tag twice", "EchoArea A /m/a1\nEchoArea a /m/a2\n", {},
                 {"A /m/a1.sqd", "a /m/a2.sqd"}),
      squishCase("tag cut at 99 characters", "EchoArea " + tag150 + " /m/t\n", {},
                 {std::string(99, 'T') + " /m/t.sqd"}),
      squishCase("CR LF file", "EchoArea A /m/a -0\r\nEchoArea B /m/b\r\n", {}, {"B /m/b.sqd"}),
      squishCase("HPT keywords skipped without -hpt",
                 "EchoAreaDefaults -b Jam\nNetmailArea N /m/n\nEchoArea A /m/a\n", {},
                 {"A /m/a.sqd"}),
      squishCase("empty configuration", "", {}, {}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(ConfigAreas, HptStyleAreaLines) {
  const AreaCase cases[] = {
      squishCase("netmail in Squish", "NetArea MAIL /m/mail -b Squish\n", {"-hpt"},
                 {"MAIL /m/mail.sqd"}),
      squishCase("netmail without -b is Squish", "NetmailArea MAIL /m/mail\n", {"-hpt"},
                 {"MAIL /m/mail.sqd"}),
      squishCase("netmail linked when echo areas are not",
                 "LinkType none\nNetmailArea MAIL /m/mail -b squish\nEchoArea E /m/e -b squish\n",
                 {"-hpt"}, {"MAIL /m/mail.sqd"}),
      squishCase("the last -b wins", "EchoArea FIDO /m/fido -b Jam -b Squish\n", {"-hpt"},
                 {"FIDO /m/fido.sqd"}),
      squishCase("passthrough path", "EchoArea FIDO PassThrough -b squish\n", {"-hpt"}, {}),
      squishCase("-nolink", "EchoArea FIDO /m/fido -b squish -NoLink\n", {"-hpt"}, {}),
      squishCase("-nolink overruled by -a", "EchoArea FIDO /m/fido -b squish -nolink\n",
                 {"-hpt", "-aFIDO"}, {"FIDO /m/fido.sqd"}),
      squishCase("echo areas without -b are Squish bases", "EchoArea FIDO /m/fido\n",
                 {"-hpt"}, {"FIDO /m/fido.sqd"}),
      squishCase("no -$ flags in HPT mode", "EchoAreaDefaults\nEchoArea FIDO /m/fido -$l1\n",
                 {"-hpt"}, {}),
      squishCase("-B in upper case", "EchoArea FIDO /m/fido -B SQUISH\n", {"-hpt"},
                 {"FIDO /m/fido.sqd"}),
      squishCase("-0", "EchoArea FIDO /m/fido -b squish -0\n", {"-hpt"}, {}),
      squishCase("-a on a Jam area", "EchoArea FIDO /m/fido -b Jam\n", {"-hpt", "-aFIDO"}, {},
                 {"! FIDO is not a Squish message base"}),
      squishCase("defaults apply until the next defaults line",
                 "EchoAreaDefaults -b squish\nEchoArea A /m/a\nEchoArea B /m/b -b jam\n"
                 "LocalArea C /m/c -b\nEchoAreaDefaults\nEchoArea D /m/d\n",
                 {"-hpt"}, {"A /m/a.sqd", "C /m/c.sqd"}),
      squishCase("defaults with -nolink", "EchoAreaDefaults -b squish -nolink\nEchoArea A /m/a\n",
                 {"-hpt"}, {}),
      squishCase("defaults with -nolink, -a", "EchoAreaDefaults -b squish -nolink\nEchoArea A /m/a\n",
                 {"-hpt", "-aA"}, {"A /m/a.sqd"}),
      squishCase("defaults line links again after LinkType none",
                 "LinkType none\nEchoAreaDefaults -b squish\nEchoArea A /m/a\n", {"-hpt"},
                 {"A /m/a.sqd"}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(ConfigAreas, LinkTypeNoneDropsAreasWithoutTheirOwn) {
  const std::string config =
      "EchoArea A /m/a\nEchoArea B /m/b -$l1\nLinkType none\nEchoArea C /m/c\n"
      "EchoArea D /m/d -$l1\n";
  const AreaCase cases[] = {
      squishCase("LinkType none", config, {}, {"B /m/b.sqd", "D /m/d.sqd"}),
      squishCase("LinkType skipped under -t", config, {"-tf"},
                 {"A /m/a.sqd", "B /m/b.sqd", "C /m/c.sqd", "D /m/d.sqd"}),
      squishCase("LinkType without a word", "EchoArea A /m/a\nLinkType\nEchoArea C /m/c\n", {},
                 {"A /m/a.sqd", "C /m/c.sqd"}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(ConfigAreas, PathsResolveAgainstTheConfigurationAndMappings) {
  const AreaCase cases[] = {
      {"relative to the configuration's directory",
       {{"etc/k.cfg", "EchoArea A msgs/a\nEchoArea B /m/b\n"}}, {}, {"A etc/msgs/a.sqd", "B /m/b.sqd"}},
      {"SoftMapPath", {{"k.cfg", "SoftMapPath D:\\ /dos/d/\nEchoArea A D:\\MSGS\\A\n"}}, {},
       {"A /dos/d/MSGS/A.sqd"}},
      {"MapPath, also for areas before it",
       {{"k.cfg", "EchoArea A D:\\MSGS\\A\nMapPath d:\\msgs\\ /var/msgs/\nEchoArea B D:\\MSGS\\OLD\\B\n"}},
       {}, {"A /var/msgs/A.sqd", "B D:\\MSGS\\OLD\\B.sqd"}},
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(ConfigAreas, AbsoluteConfigurationPathGivenWithC) {
  // A path that begins with "/" would be an option as the positional argument.
  TempDir dir;
  writeCaseFiles(dir, {{"etc/k.cfg", "EchoArea A msgs/a\n"}});
  const TraceRun run = traceAreas(dir, {"-c", dir.file("etc/k.cfg").string()});
  EXPECT_EQ(run.areas, std::vector<std::string>{withDir("A {dir}/etc/msgs/a.sqd", dir.path())});
}

TEST(ConfigAreas, IncludeFiles) {
  const AreaCase cases[] = {
      {"at the place of its line",
       {{"k.cfg", "EchoArea A /m/a\nInclude inc.cfg\nEchoArea C /m/c\n"},
        {"inc.cfg", "EchoArea B /m/b\n"}},
       {}, {"A /m/a.sqd", "B /m/b.sqd", "C /m/c.sqd"}},
      {"relative to the configuration's directory",
       {{"etc/k.cfg", "Include more/inc.cfg\n"}, {"etc/more/inc.cfg", "EchoArea B b\n"}},
       {}, {"B etc/b.sqd"}},
      {"through a mapping read before it",
       {{"k.cfg", "SoftMapPath X:\\ {dir}/\nInclude X:\\cfg\\inc.cfg\n"},
        {"cfg/inc.cfg", "EchoArea B /m/b\n"}},
       {}, {"B /m/b.sqd"}},
      {"settings of the included file count after it",
       {{"k.cfg", "Include inc.cfg\nEchoArea A /m/a\n"}, {"inc.cfg", "LinkType none\n"}}, {}, {}},
      {"missing Include file skipped",
       {{"k.cfg", "EchoArea A /m/a\nInclude none.cfg\nInclude\nEchoArea C /m/c\n"}}, {},
       {"A /m/a.sqd", "C /m/c.sqd"}},
      {"the same file twice, one after the other",
       {{"k.cfg", "Include inc.cfg\nInclude inc.cfg\n"}, {"inc.cfg", "EchoArea B /m/b\n"}}, {},
       {"B /m/b.sqd", "B /m/b.sqd"}},
      {"a file including itself",
       {{"k.cfg", "EchoArea A /m/a\nInclude k.cfg\nInclude ./k.cfg\nEchoArea B /m/b\n"}}, {},
       {"A /m/a.sqd", "B /m/b.sqd"}},
      {"two files including each other",
       {{"k.cfg", "EchoArea A /m/a\nInclude inc.cfg\nEchoArea C /m/c\n"},
        {"inc.cfg", "EchoArea B /m/b\nInclude k.cfg\n"}},
       {}, {"A /m/a.sqd", "B /m/b.sqd", "C /m/c.sqd"}},
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(ConfigAreas, IncludeNestingStopsAt32Levels) {
  // k.cfg includes i1.cfg, which includes i2.cfg, and so on to i40.cfg.
  AreaCase c{"deep nesting", {{"k.cfg", "EchoArea A0 /m/a\nInclude i1.cfg\n"}}, {}, {}};
  c.areas.push_back("A0 /m/a.sqd");
  for (int level = 1; level <= 40; ++level) {
    const std::string n = std::to_string(level);
    c.files.push_back({"i" + n + ".cfg", "EchoArea A" + n + " /m/a\nInclude i" +
                                             std::to_string(level + 1) + ".cfg\n"});
    if (level <= 32) c.areas.push_back("A" + n + " /m/a.sqd");
  }
  expectAreas(c);
}

}  // namespace
}  // namespace ktest
