// Tags and paths are put into the -! / -!+ command as they are, so one that
// holds shell syntax never reaches the shell: a tosser creates areas with
// tags a remote system chose.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/command_hooks.h"
#include "driver/config_trace.h"
#include "support/base_builder.h"

namespace ktest {
namespace {

struct CraftedCase {
  const char* name;
  const char* areaLine;  // the configuration's area line
  const char* commandTemplate;
  const char* reported;  // the command line as it would have been expanded
};

TEST(AreaCommandSafety, ShellSyntaxInATagOrPathRunsNothing) {
  const CraftedCase cases[] = {
      {"tag", "EchoArea X;touch${IFS}pwned;# base", "echo %a",
       "echo X;touch${IFS}pwned;#"},
      {"quoted tag", "EchoArea X';touch${IFS}pwned;' base", "echo '%a'",
       "echo 'X';touch${IFS}pwned;''"},
      {"path", "EchoArea X base$(touch${IFS}pwned)", "echo %p",
       "echo base$(touch${IFS}pwned).sqd"},
      {"control character", "EchoArea X\x01 base", "echo %a", "echo X\x01"},
      // A glob would hand the command every name in the working directory,
      // "-rf" among them; "#" would cut the line off; "~" is a home directory.
      {"glob tag", "EchoArea * base", "echo ARGS: %a END", "echo ARGS: * END"},
      {"bracket glob tag", "EchoArea [a-z]* base", "echo ARGS: %a END",
       "echo ARGS: [a-z]* END"},
      {"question mark in a path", "EchoArea X b?se", "echo ARGS: %p END",
       "echo ARGS: b?se.sqd END"},
      {"comment tag", "EchoArea #x base", "echo ARGS: %a END", "echo ARGS: #x END"},
      {"home directory tag", "EchoArea ~ base", "echo ARGS: %a END", "echo ARGS: ~ END"},
      {"brace path", "EchoArea X /m/{a,b}", "echo ARGS: %p END",
       "echo ARGS: /m/{a,b}.sqd END"},
  };
  for (const CraftedCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFile(dir.file("k.cfg"), std::string(c.areaLine) + "\n");
    writeFile(dir.file("-rf"), "");
    const RunResult result = runKnotter({"k.cfg", "-!", c.commandTemplate}, dir.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, banner + "Running script\n! Failed command: " + c.reported + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
  }
}

// With -!+ the refused command is reported and the area linked as usual; a
// template that does not put the tag in runs whatever the tag holds.
TEST(AreaCommandSafety, PlusStillLinksTheArea) {
  TempDir dir;
  writeBase(threeMessageThread(), dir.file("base"));
  writeFile(dir.file("k.cfg"), "EchoArea A|B base\n");
  const RunResult refused = runKnotter({"k.cfg", "-!+", "echo", "%a"}, dir.path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.out,
            banner + "Linking areas\n! Failed command: echo A|B\nLinking A|B: 3 of 3\n");

  const RunResult unused = runKnotter({"k.cfg", "-!+", "echo", "%p"}, dir.path());
  EXPECT_EQ(unused.out, banner + "Linking areas\nbase.sqd\nLinking A|B: 0 of 3\n");
}

TEST(AreaCommandSafety, OrdinaryTagsAndDosPathsExpandAsBefore) {
  TempDir dir;
  writeFile(dir.file("k.cfg"),
            "EchoArea FIDO.Net-1_x D:\\MSGS\\FIDO\nEchoArea R50.SYSOP /m/50+=,@!%:\n");
  const RunResult result =
      runKnotter({"k.cfg", "-!", "printf '%s\\n' '%a' '%p'"}, dir.path());
  EXPECT_EQ(result.out, banner + "Running script\nFIDO.Net-1_x\nD:\\MSGS\\FIDO.sqd\n"
                                 "R50.SYSOP\n/m/50+=,@!%:.sqd\n");
}

TEST(AreaCommandSafety, EveryShellCharacterIsRefused) {
  for (const char c : std::string(";&|$()<>'\"`*?[]~#{}\x01\x1f")) {
    SCOPED_TRACE(static_cast<int>(c));
    EXPECT_FALSE(knotter::safeInCommand(std::string("a") + c + "b"));
  }
  EXPECT_TRUE(knotter::safeInCommand("D:\\MSGS\\FIDO.1-x_y+=,@!%:\x7f\xe9"));
}

}  // namespace
}  // namespace ktest
