// End-to-end: in HPT mode each area line is of the type the tosser gives it,
// and only the base of that type is opened. Without -b an echo line takes
// the current EchoAreaDefaults (Squish before any), local and netmail lines
// are Squish; each defaults line starts from *.MSG; the last -b of a line
// wins unless -pass, -0 or the path "passthrough" made it passthrough.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"
#include "support/jam_base_builder.h"

namespace ktest {
namespace {

// The type a case's line gives area A (path "a"): what the tosser writes there.
enum class Typed { squish, jam, neither };

struct TypeCase {
  const char* name;
  std::string config;
  Typed typed;
  std::vector<std::string> args = {};
  bool refusedWithA = false;  // -a is given: a skipped area is reported
};

JamBaseSpec twoMessageJamThread() {
  return {.messages = {{.subfields = {msgIdField("2:5020/1 00000001")}},
                       {.subfields = {msgIdField("2:5020/2 00000002"),
                                      replyField("2:5020/1 00000001")}}}};
}

enum class BaseKind { squish, jam };

// The console of a run with only a base of the given kind at "a": the base
// of the line's type is linked, or reported missing when the other kind
// lies there; an area of neither type opens nothing.
std::string expectedConsole(const TypeCase& c, BaseKind kind, bool jamOption) {
  const bool taken = c.typed == Typed::squish || (c.typed == Typed::jam && jamOption);
  if (!taken) return banner + (c.refusedWithA ? "! A is not a Squish message base\n" : "");
  const bool matches = (kind == BaseKind::squish) == (c.typed == Typed::squish);
  if (!matches) {
    return banner + "Linking areas\nLinking A\r! Cannot open file a." +
           (c.typed == Typed::jam ? "jhr" : "sqd") + " (2)\n";
  }
  return banner + "Linking areas\nLinking A: " + (kind == BaseKind::squish ? "3 of 3" : "2 of 2") +
         "\n";
}

void expectTyped(const TypeCase& c) {
  for (const BaseKind kind : {BaseKind::squish, BaseKind::jam}) {
    for (const bool jamOption : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (kind == BaseKind::squish ? ", Squish base" : ", JAM base") +
                   (jamOption ? ", -jam" : ""));
      TempDir dir;
      if (kind == BaseKind::squish) {
        writeBase(threeMessageThread(), dir.file("a"));
      } else {
        writeJamBase(twoMessageJamThread(), dir.file("a"));
      }
      writeFile(dir.file("k.cfg"), c.config);
      std::vector<std::string> args{"k.cfg", "-hpt"};
      if (jamOption) args.push_back("-jam");
      args.insert(args.end(), c.args.begin(), c.args.end());
      const RunResult run = runKnotter(args, dir.path());
      const std::string expected = expectedConsole(c, kind, jamOption);
      EXPECT_EQ(run.out, expected);
      EXPECT_EQ(run.exitCode, expected.find(" of ") != std::string::npos ? 1 : 0);
    }
  }
}

TEST(HptAreaTypes, EachLineIsOfTheTypeTheTosserGivesIt) {
  const TypeCase cases[] = {
      {"echo line before any defaults", "EchoArea A a 2:5020/1\n", Typed::squish},
      {"LocalArea without -b", "LocalArea A a\n", Typed::squish},
      {"NetmailArea without -b", "NetmailArea A a\n", Typed::squish},
      {"NetArea without -b", "NetArea A a\n", Typed::squish},
      {"echo line after defaults -b jam", "EchoAreaDefaults -b jam\nEchoArea A a\n", Typed::jam},
      {"LocalArea takes no defaults", "EchoAreaDefaults -b jam\nLocalArea A a\n", Typed::squish},
      {"NetmailArea takes no defaults", "EchoAreaDefaults -b jam\nNetmailArea A a\n",
       Typed::squish},
      {"defaults without -b: *.MSG", "EchoAreaDefaults -p 30\nEchoArea A a\n", Typed::neither},
      {"defaults off: *.MSG", "EchoAreaDefaults off\nEchoArea A a\n", Typed::neither},
      {"each defaults line starts afresh",
       "EchoAreaDefaults -b squish\nEchoAreaDefaults -dupeCheck move\nEchoArea A a\n",
       Typed::neither},
      {"the echo line's own -b wins over the defaults", "EchoAreaDefaults off\nEchoArea A a -b squish\n",
       Typed::squish},
      {"-b msg", "EchoArea A a -b msg\n", Typed::neither},
      {"defaults -b msg", "EchoAreaDefaults -b msg\nEchoArea A a\n", Typed::neither},
      {"-b jam -b squish: the last wins", "EchoArea A a -b jam -b squish\n", Typed::squish},
      {"-b squish -b jam: the last wins", "EchoArea A a -b squish -b jam\n", Typed::jam},
      {"-b msg -b squish: the last wins", "EchoArea A a -b msg -b squish\n", Typed::squish},
      {"type words in any case", "EchoArea A a -B JaM\n", Typed::jam},
      {"defaults type word in any case", "EchoAreaDefaults -b SQUISH\nEchoArea A a\n",
       Typed::squish},
      {"a type of no known name", "EchoArea A a -b hudson -b squish\n", Typed::neither},
      {"-pass", "EchoArea A a -pass\n", Typed::neither},
      {"-pass, then -b squish", "EchoAreaDefaults -b squish\nEchoArea A a -pass -b squish\n",
       Typed::neither},
      {"-b squish, then -Pass", "EchoArea A a -b squish -Pass 2:5020/1\n", Typed::neither},
      {"-pass on a netmail line", "NetmailArea A a -pass\n", Typed::neither},
      {"path passthrough", "EchoArea A PassThrough -b squish\n", Typed::neither},
      {"-0 is passthrough", "EchoArea A a -0 -b squish\n", Typed::neither},
      {"defaults -pass: the echo line's -b decides",
       "EchoAreaDefaults -pass\nEchoArea A a -b jam\n", Typed::jam},
      {"defaults -pass without -b on the echo line", "EchoAreaDefaults -pass\nEchoArea A a\n",
       Typed::neither},
      {"-nolink", "EchoArea A a -nolink\n", Typed::neither},
      {"-nolink overruled by -a", "EchoArea A a -nolink\n", Typed::squish, {"-aA"}},
      {"defaults -nolink", "EchoAreaDefaults -b jam -nolink\nEchoArea A a\n", Typed::neither},
      {"netmail linked after LinkType none", "LinkType none\nNetmailArea A a\n", Typed::squish},
      {"echo line not linked after LinkType none", "LinkType none\nEchoArea A a\n",
       Typed::neither},
      {"-a naming a *.MSG area", "EchoArea A a -b msg\n", Typed::neither, {"-aA"}, true},
      {"-a naming a passthrough area", "EchoArea A a -pass\n", Typed::neither, {"-aA"}, true},
      {"-a naming a JAM area", "EchoAreaDefaults -b jam\nEchoArea A a\n", Typed::jam, {"-aA"},
       true},
  };
  for (const TypeCase& c : cases) expectTyped(c);
}

// A whole configuration as the tosser's sample configurations are written:
// system lines, links and routes the tool skips, netmail and local areas
// without -b, an Include with the echo areas and two defaults lines.
const char* const tosserConfig = R"(# Configuration of the tosser and the programs around it
#
# Lines this program does not know are skipped without a word.

Version      0.15
Name         Example Point System
Sysop        Jane Doe
Location     Somewhere, Earth
Address      2:5020/9999
Address      2:5020/9999.1

Inbound      /var/spool/ftn/inbound
ProtInbound  /var/spool/ftn/inbound
Outbound     /var/spool/ftn/outbound
TempInbound  /var/spool/ftn/tmp
LogFileDir   logs
LogLevels    1-9
DupeHistoryDir /var/spool/ftn/dupes

Link         Uplink
Aka          2:5020/1
OurAka       2:5020/9999
Password     secret
EchoMailFlavour Direct

Route        crash  2:5020/1  2:*

# Netmail and the bad and dupe areas; netmail without -b
NetmailArea  NetmailArea  msgbase/netmail
BadArea      BadArea      msgbase/bad    -b Squish
DupeArea     DupeArea     msgbase/dupes  -b Squish

LocalArea    Sysop.Notes  msgbase/notes  -d "Notes of the sysop"

Include areas
)";

const char* const tosserAreas = R"(# Echo areas, as the area manager writes them
EchoArea  R50.SYSOP    msgbase/r50.sysop  -d "Sysops of R50" 2:5020/1
EchoArea  FIDO.OLD     msgbase/fido.old   -b Squish -p 30 2:5020/1

EchoAreaDefaults -b Jam -dupeCheck move -dupeHistory 11 -p 60
EchoArea  JAM.ONE      msgbase/jam.one    2:5020/1 2:5020/2
EchoArea  JAM.SQ       msgbase/jam.sq     -b Squish 2:5020/1
EchoArea  TRANSIT      passthrough        2:5020/1 2:5020/2
EchoArea  TRANSIT2     msgbase/transit2   -pass 2:5020/1
LocalArea LOCAL.JAM    msgbase/local.jam  -b Jam
LocalArea LOCAL.SQ     msgbase/local.sq

EchoAreaDefaults off
EchoArea  MSG.AREA     msgbase/msgarea    2:5020/1
EchoArea  QUIET        msgbase/quiet      -b Squish -nolink
)";

TEST(HptAreaTypes, TheTossersOwnConfiguration) {
  const std::vector<std::string> squishAreas = {"netmail", "notes", "r50.sysop", "fido.old",
                                                "jam.sq",  "local.sq"};
  // Squish bases where the tosser writes none, or none to be linked.
  const std::vector<std::string> leftAlone = {"transit2", "msgarea", "quiet"};
  for (const bool jamOption : {false, true}) {
    SCOPED_TRACE(jamOption ? "-jam" : "no -jam");
    TempDir dir;
    writeFile(dir.file("config"), tosserConfig);
    writeFile(dir.file("areas"), tosserAreas);
    std::filesystem::create_directories(dir.file("msgbase"));
    std::filesystem::create_directories(dir.file("logs"));
    for (const std::string& base : squishAreas) {
      writeBase(threeMessageThread(), dir.file("msgbase/" + base));
    }
    for (const std::string& base : leftAlone) {
      writeBase(threeMessageThread(), dir.file("msgbase/" + base));
    }
    writeJamBase(twoMessageJamThread(), dir.file("msgbase/jam.one"));
    writeJamBase(twoMessageJamThread(), dir.file("msgbase/local.jam"));
    const std::string untouched = readFile(sqd(dir.file("msgbase/quiet")));

    std::vector<std::string> args{"config", "-hpt"};
    if (jamOption) args.push_back("-jam");
    const RunResult run = runKnotter(args, dir.path());
    std::vector<std::string> linked = {"NetmailArea: 3 of 3", "Sysop.Notes: 3 of 3",
                                       "R50.SYSOP: 3 of 3", "FIDO.OLD: 3 of 3"};
    if (jamOption) linked.push_back("JAM.ONE: 2 of 2");
    linked.push_back("JAM.SQ: 3 of 3");
    if (jamOption) linked.push_back("LOCAL.JAM: 2 of 2");
    linked.push_back("LOCAL.SQ: 3 of 3");

    std::string console = banner + "Linking areas\n";
    for (const std::string& area : linked) console += "Linking " + area + "\n";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, console);
    for (const std::string& base : leftAlone) {
      SCOPED_TRACE(base);
      EXPECT_EQ(readFile(sqd(dir.file("msgbase/" + base))), untouched);
    }
    // Our lines go into the tosser's log.
    const std::vector<std::string> log = readLogLines(dir.file("logs/hpt.log"));
    ASSERT_EQ(log.size(), linked.size() + 4);
    EXPECT_EQ(log[2], "Linking " + linked.front());
  }
}

}  // namespace
}  // namespace ktest
