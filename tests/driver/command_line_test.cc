// End-to-end tests of the command line: the usage text for bad command
// lines, the banner and -q, and how -# names the base and its tag.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

const std::string usage =
    "Links messages by Subjects or by MSGID/REPLY kludges\n"
    "\n"
    "Usage: KNOTTER <config>|-#<path> [-hpt] [-a<area>] [-f|k<list>] [-l<log path>]\n"
    "                                 [-p] [-q] [-s<num>] [-t<type>] [-$]\n"
    "                                 [-![+] <command>] [-@<flags>]\n"
    "\n"
    "   <config>       Squish-style configuration file\n"
    "   -#<path>       Process message base specified by <path>, don't read config\n"
    "   -hpt           Turn on support for HPT's configuration keywords\n"
    "   -jam           Link HPT's JAM areas (-b jam) as well\n"
    "   -msg           Link *.MSG areas (HPT -b msg, Squish -f) as well\n"
    "   -a<area>       Process this area only\n"
    "   -f             Process only areas from the list file or specified area\n"
    "   -k             The same as -f, but delete list file at exit\n"
    "   <list>         Area list file or individual area name\n"
    "   -l<log path>   Use alternative log file specified by <log path>\n"
    "   -p             Treat Russian letters like 'p','y' as similar Latin ones\n"
    "   -q             Be quiet\n"
    "   -s<num>        Compare first <num> symbols of subjects (without Re:)\n"
    "   -t<type>       Linking type, where <type> is a single character:\n"
    "                  f - Flat : link original and its replies in linear chain\n"
    "                  r - Reply: 'f' + link replies without original (default)\n"
    "                  s - Subj : link messages with identical subjects\n"
    "                  t - TimEd: link many replies to one original message\n"
    "   -$             Link only echo areas with -$ flag\n"
    "   -! <command>   Instead of linking, just run <command> for each listed area\n"
    "   -!+ <command>  The same as -!, but link area after running <command>\n"
    "                  The following parameters can be used in <command>:\n"
    "                  %a  Area tag\n"
    "                  %p  Area path\n"
    "   -@<flags>      After linking an area, check each flag from <flags> file and\n"
    "                  if it exists, run the associated command. <flags> is a text\n"
    "                  file with lines in the following format:\n"
    "                  <flag path> <command>\n"
    "                  Wildcards are allowed in <flag path>.\n";

struct ArgsCase {
  const char* name;
  std::vector<std::string> args;
};

TEST(CommandLine, BadCommandLinesPrintTheUsageTextAndExitZero) {
  const ArgsCase cases[] = {
      {"no config and no -#", {}},
      {"only options", {"-p", "-s5"}},
      {"unknown option", {"-#b", "-x"}},
      {"lone dash", {"-#b", "-"}},
      {"lone slash", {"-#b", "/"}},
      {"question mark", {"-?"}},
      {"path read as an option", {"/etc/sq.cfg"}},
      {"unknown type letter", {"-#b", "-tx"}},
      {"type without a letter", {"-#b", "-t"}},
      {"type of two letters", {"-#b", "-tff"}},
      {"second config path", {"a.cfg", "b.cfg"}},
      {"positional after -c", {"-c", "y.cfg", "x.cfg"}},
      {"-# without a value", {"-#"}},
      {"later -# drops the earlier", {"-#b", "-#"}},
      {"usage even when quiet", {"-q", "-x"}},
      {"quiet before a bad type", {"-q", "-#b", "-tz"}},
      {"nothing logged", {"-lrun.log", "-#b", "-x"}},
  };
  for (const ArgsCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeBase({}, dir.file("b"));
    RunResult run = runKnotter(c.args, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, banner + usage);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("run.log")));
  }
}

TEST(CommandLine, QuietSilencesTheConsole) {
  const ArgsCase cases[] = {
      {"-q", {"-#b", "-q"}},
      {"/q", {"/q", "-#b"}},
      {"upper case", {"-Q", "-#b"}},
      {"slash and upper case", {"/Q", "-#b"}},
      {"rest of the argument ignored", {"-quiet", "-#b"}},
  };
  for (const ArgsCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeBase({}, dir.file("b"));
    RunResult run = runKnotter(c.args, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
  }
}

// Which data file -# opens and which tag the area gets; the named data file
// is created as an empty base, so a wrong name shows up as a failed open.
TEST(CommandLine, SingleBasePathAndTag) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* dataFile;
    const char* tag;
  } cases[] = {
      {"plain base path", {"-#AREA"}, "AREA.sqd", "AREA"},
      {"suffix removed", {"-#AREA.sqd"}, "AREA.sqd", "AREA"},
      {"suffix in any case", {"-#sub/AREA.SQD"}, "sub/AREA.sqd", "AREA"},
      {"tag after the last slash", {"-#sub/deep/fido.echo"}, "sub/deep/fido.echo.sqd",
       "fido.echo"},
      {"value in the next argument", {"-#", "sub/AREA.Sqd"}, "sub/AREA.sqd", "AREA"},
      {"bare suffix kept", {"-#.sqd"}, ".sqd.sqd", ".sqd"},
      {"five characters lose the suffix", {"-#x.sqd"}, "x.sqd", "x"},
      {"configuration path ignored", {"x.cfg", "-#AREA"}, "AREA.sqd", "AREA"},
      {"later -# wins", {"-#OTHER", "-#AREA"}, "AREA.sqd", "AREA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directories(dir.file("sub/deep"));
    std::string dataFile = c.dataFile;
    writeBase({}, dir.file(dataFile.substr(0, dataFile.size() - 4)));
    RunResult run = runKnotter(c.args, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking " + c.tag + ": 0 of 0\n");
  }
}

// With -# there is no list: -f and -k select nothing and delete nothing.
TEST(CommandLine, ListOptionsHaveNoEffectOnASingleBase) {
  TempDir dir;
  writeBase({}, dir.file("b"));
  writeBase({}, dir.file("other"));
  std::filesystem::path list = dir.file("list.txt");
  {
    std::FILE* file = std::fopen(list.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("other\n", file);
    std::fclose(file);
  }
  RunResult run = runKnotter({"-#b", "-klist.txt", "-aother", "-$"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking b: 0 of 0\n");
  EXPECT_TRUE(std::filesystem::exists(list));
}

// -l without a value (here the last argument) empties the log path again.
TEST(CommandLine, LogOptionWithoutValueMeansNoLogFile) {
  TempDir dir;
  writeBase({}, dir.file("b"));
  RunResult run = runKnotter({"-lrun.log", "-#b", "-l"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking b: 0 of 0\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("run.log")));
}

TEST(CommandLine, MissingConfigurationEndsWithExitCodeThree) {
  TempDir dir;
  RunResult run = runKnotter({"missing.cfg", "-lrun.log"}, dir.path());
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.out, banner);
  EXPECT_FALSE(std::filesystem::exists(dir.file("run.log")));

  RunResult quiet = runKnotter({"-q", "-cmissing.cfg"}, dir.path());
  EXPECT_EQ(quiet.exitCode, 3);
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
}  // namespace ktest
