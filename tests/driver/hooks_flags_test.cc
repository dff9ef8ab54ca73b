// The pieces of the command hooks that work without a run: parsing the flags
// file, telling whether a flag exists, expanding the -! template and judging
// a command's outcome.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/settings.h"
#include "driver/command_hooks.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace knotter {

bool operator==(const FlagEntry& a, const FlagEntry& b) {
  return a.flagPath == b.flagPath && a.command == b.command && a.pattern == b.pattern &&
         a.wildcard == b.wildcard;
}

void PrintTo(const FlagEntry& e, std::ostream* os) {
  *os << "{" << e.flagPath << " | " << e.command << " | " << e.pattern << " | " << e.wildcard
      << "}";
}

namespace {

using namespace std::string_literals;

FlagList parseFlags(const std::string& bytes) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("flags"), bytes);
  flagList.clear();
  readFlagsFile(dir.file("flags").c_str());
  return flagList;
}

struct FlagsCase {
  const char* name;
  std::string bytes;
  FlagList expected;
};

TEST(FlagsFile, LinesBecomeEntries) {
  const std::string longCommand(5000, 'x');
  const FlagsCase cases[] = {
      {"outer blanks dropped, inner kept", "  /var/flags/a.flg   /usr/bin/toss   in  \n",
       {{"/var/flags/a.flg", "/usr/bin/toss   in", "", false}}},
      {"path alone, empty and blank lines give nothing", "/var/flags/a.flg\n\n \t \na.flg \t\n",
       {}},
      {"tab separates; CR LF line", "a.flg\tcmd arg\r\n", {{"a.flg", "cmd arg", "", false}}},
      {"only the first CR of a line is dropped", "a.flg c\rm\rd\n", {{"a.flg", "cm\rd", "", false}}},
      {"last line without line feed", "a.flg one\nb.flg two",
       {{"a.flg", "one", "", false}, {"b.flg", "two", "", false}}},
      {"same flag twice, in file order", "a.flg one\na.flg two\n",
       {{"a.flg", "one", "", false}, {"a.flg", "two", "", false}}},
      {"wildcard in a directory", "/var/flags/*.flg cmd\n", {{"/var/flags", "cmd", "*.flg", true}}},
      {"wildcard without directory", "?.flg cmd\n", {{"", "cmd", "?.flg", true}}},
      {"wildcard right under the root", "/*.flg cmd\n", {{"/", "cmd", "*.flg", true}}},
      {"brackets alone are no wildcard", "/var/[ab].flg cmd\n",
       {{"/var/[ab].flg", "cmd", "", false}}},
      {"a wildcard in the directory part is no wildcard", "/var/fl*/a.flg cmd\n",
       {{"/var/fl*/a.flg", "cmd", "", false}}},
      // A NUL byte would cut the flag path or the command short.
      {"lines holding a NUL byte are skipped", "a.flg cm\0d\nb\0.flg x\nc.flg three\n"s,
       {{"c.flg", "three", "", false}}},
      {"a line keeps 4095 characters", "a.flg " + longCommand + "\nb.flg two\n",
       {{"a.flg", std::string(4095 - 6, 'x'), "", false}, {"b.flg", "two", "", false}}},
  };
  for (const FlagsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parseFlags(c.bytes), c.expected);
  }
}

TEST(FlagsFile, MissingFileLeavesTheListAsItWas) {
  settings.quiet = true;
  flagList = {{"a.flg", "cmd", "", false}};
  readFlagsFile("/nonexistent/flags.lst");
  EXPECT_EQ(flagList.size(), 1u);
}

TEST(FlagExists, PlainPathsAndWildcards) {
  ktest::TempDir dir;
  const std::string d = dir.path().string();
  ktest::writeFile(dir.file("a.flg"), "");
  std::filesystem::create_directory(dir.file("sub"));
  struct ExistsCase {
    const char* name;
    FlagEntry entry;
    bool exists;
  };
  const ExistsCase cases[] = {
      {"file", {d + "/a.flg", "c", "", false}, true},
      {"directory", {d + "/sub", "c", "", false}, true},
      {"missing", {d + "/b.flg", "c", "", false}, false},
      {"brackets tested as a plain name", {d + "/[a].flg", "c", "", false}, false},
      {"matching wildcard", {d, "c", "*.flg", true}, true},
      {"question mark", {d, "c", "?.flg", true}, true},
      {"no match", {d, "c", "*.xyz", true}, false},
      {"star matches the directory's own entries", {d + "/sub", "c", "*", true}, true},
      {"star matches a leading period", {d + "/sub", "c", "*.", true}, true},
      {"one trailing slash removed", {d + "/", "c", "*.flg", true}, true},
      {"missing directory", {d + "/none", "c", "*", true}, false},
      {"root directory", {"/", "c", "tm?", true}, true},
  };
  for (const ExistsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(flagExists(c.entry), c.exists);
  }
}

TEST(FlagExists, WildcardWithoutDirectoryLooksInTheCurrentDirectory) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("x.flg"), "");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const bool inHere = flagExists({"", "c", "*.flg", true});
  const bool other = flagExists({"", "c", "*.nope", true});
  std::filesystem::current_path(before);
  EXPECT_TRUE(inHere);
  EXPECT_FALSE(other);
}

TEST(ExpandAreaCommand, ReplacesTagAndPathOnly) {
  struct ExpandCase {
    const char* name;
    const char* commandTemplate;
    const char* expected;
  };
  const ExpandCase cases[] = {
      {"tag and path", "echo %a %p", "echo FIDO /m/fido.sqd"},
      {"twice, glued", "%a%a:%p", "FIDOFIDO:/m/fido.sqd"},
      {"other characters stay with their %", "100%x %%", "100%x %%"},
      {"%% is no escape", "%%a", "%%a"},
      {"upper case is no parameter", "%A %P", "%A %P"},
      {"lone % at the end dropped", "echo 100%", "echo 100"},
      {"only a %", "%", ""},
      {"empty", "", ""},
  };
  for (const ExpandCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(expandAreaCommand(c.commandTemplate, "FIDO", "/m/fido.sqd"), c.expected);
  }
}

TEST(RunCommand, SucceedsBelowExitStatus127) {
  settings.quiet = true;
  struct CommandCase {
    const char* command;
    bool succeeds;
  };
  const CommandCase cases[] = {
      {"true", true},
      {"exit 3", true},
      {"exit 126", true},
      {"exit 127", false},
      {"/nonexistent/program", false},
      {"exit 200", false},
      {"kill -TERM $$", false},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(runCommand(c.command), c.succeeds);
  }
}

}  // namespace
}  // namespace knotter
