// End-to-end: narrowing and ordering the configured areas by a list file, a
// single area name or (in HPT mode) the tosser's import log; the report for a
// name no area has; and -k deleting the list file at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"

namespace ktest {
namespace {

// Configured in the order c, b, A.
const CaseFile squishConfig{"k.cfg", "EchoArea c /m/c\nEchoArea b /m/b\nEchoArea A /m/a\n"};
const CaseFile hptConfig{"k.cfg",
                         "EchoAreaDefaults -b squish\nEchoArea c /m/c\nEchoArea b /m/b\n"
                         "EchoArea A /m/a\nImportLog import.log\nImportLog other.log\n"};

AreaCase listCase(const char* name, const std::string& list, std::vector<std::string> args,
                  std::vector<std::string> areas, std::vector<std::string> reports = {}) {
  return {name, {squishConfig, {"list", list}}, std::move(args), std::move(areas),
          std::move(reports)};
}

TEST(SelectAreas, ListFiles) {
  const AreaCase cases[] = {
      listCase("no list: configuration order", "b\n", {"-aA"}, {"A /m/a.sqd"}),
      listCase("sorted by tag, ignoring case", "b\nA\nc\n", {"-flist"},
               {"A /m/a.sqd", "b /m/b.sqd", "c /m/c.sqd"}),
      listCase("list as the next argument", "c\nb\n", {"-f", "list"},
               {"b /m/b.sqd", "c /m/c.sqd"}),
      listCase("a name twice", "b\nB\nb\n", {"-flist"}, {"b /m/b.sqd"}),
      listCase("unconfigured names skipped silently", "0\nzz\nb\nB0\n", {"-flist"},
               {"b /m/b.sqd"}),
      listCase("first token of a line only", "b A c\n\n  \n", {"-flist"}, {"b /m/b.sqd"}),
      listCase("CR LF list", "A\r\nc\r\n", {"-klist"}, {"A /m/a.sqd", "c /m/c.sqd"}),
      listCase("empty list", "", {"-flist"}, {}),
      listCase("list and -a", "A\nb\n", {"-flist", "-ab"}, {"b /m/b.sqd"}),
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(SelectAreas, SingleAreaName) {
  const AreaCase cases[] = {
      listCase("name of a configured area", "", {"-fB"}, {"b /m/b.sqd"}),
      listCase("-k with a name", "", {"-kc"}, {"c /m/c.sqd"}),
      listCase("unknown name sorting first", "", {"-f0"}, {}, {"! Cannot find area: 0"}),
      listCase("unknown name sorting between", "", {"-fB0"}, {}, {"! Cannot find area: B0"}),
      listCase("unknown name sorting last", "", {"-fzz"}, {}, {"! Cannot find area: zz"}),
      listCase("name and -a of another area", "", {"-fb", "-aA"}, {}, {"! Cannot find area: b"}),
      listCase("-f takes -hpt as the list", "", {"-f", "-hpt"}, {}, {"! Cannot find area: -hpt"}),
      {"same tag twice in the configuration",
       {{"k.cfg", "EchoArea b /m/b1\nEchoArea A /m/a\nEchoArea B /m/b2\n"}}, {"-fb"},
       {"b /m/b1.sqd", "B /m/b2.sqd"}},
      {"no areas at all", {{"k.cfg", ""}}, {"-fb"}, {}, {"! Cannot find area: b"}},
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(SelectAreas, LongUnknownNameIsCutInTheReport) {
  const std::string name(600, 'n');
  expectAreas(listCase("600 characters", "", {"-f" + name}, {},
                       {"! Cannot find area: " + std::string(512, 'n')}));
}

TEST(SelectAreas, ImportLogInHptMode) {
  const CaseFile importLog{"import.log", "b\nA\n"};
  const AreaCase cases[] = {
      {"bare -f after -hpt", {hptConfig, importLog}, {"-hpt", "-f"},
       {"A /m/a.sqd", "b /m/b.sqd"}},
      {"a list on the command line wins", {hptConfig, importLog, {"list", "c\n"}},
       {"-hpt", "-flist"}, {"c /m/c.sqd"}},
      {"without -f the import log is not used", {hptConfig, importLog}, {"-hpt"},
       {"c /m/c.sqd", "b /m/b.sqd", "A /m/a.sqd"}},
      {"bare -f without ImportLog: every area", {{"k.cfg", "EchoArea A /m/a -b squish\n"}},
       {"-hpt", "-f"}, {"A /m/a.sqd"}},
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

TEST(SelectAreas, DashKDeletesTheListFileOnly) {
  struct DeleteCase {
    const char* name;
    std::vector<CaseFile> files;
    std::vector<std::string> args;
    const char* listFile;
    bool deleted;
  };
  const DeleteCase cases[] = {
      {"-k list file", {squishConfig, {"list", "b\n"}}, {"-klist"}, "list", true},
      {"-f keeps it", {squishConfig, {"list", "b\n"}}, {"-flist"}, "list", false},
      {"-k with the import log", {hptConfig, {"import.log", "b\n"}}, {"-hpt", "-k"},
       "import.log", true},
      {"-k with a name deletes nothing", {squishConfig, {"list", "b\n"}}, {"-kb"}, "list", false},
      {"-# ignores -k", {squishConfig, {"list", "b\n"}}, {"-klist", "-#/m/a"}, "list", false},
  };
  for (const DeleteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeCaseFiles(dir, c.files);
    std::vector<std::string> args{c.files.front().first};
    args.insert(args.end(), c.args.begin(), c.args.end());
    traceAreas(dir, args);
    EXPECT_EQ(std::filesystem::exists(dir.file(c.listFile)), !c.deleted);
  }
}

TEST(SelectAreas, DashKDeletesTheListAlsoWhenAnAreaFails) {
  TempDir dir;
  copyFixture("reply_to_reply", dir.path());
  writeCaseFiles(dir, {{"k.cfg", "EchoArea EX1 reply_to_reply\nEchoArea GONE gone\n"},
                       {"list", "GONE\nEX1\n"}});
  const RunResult result = runKnotter({"k.cfg", "-klist"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, banner +
                            "Linking areas\nLinking EX1: 4 of 4\n"
                            "Linking GONE\r! Cannot open file gone.sqd (2)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("list")));
}

}  // namespace
}  // namespace ktest
