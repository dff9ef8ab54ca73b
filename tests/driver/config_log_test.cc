// End-to-end: the log settings of the configuration (LogFile, LogLevel,
// LogLevelShow, and in HPT mode LogFileDir), where a relative log path lands,
// the layout of a run's lines in both modes, and a configuration that cannot
// be opened.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"

namespace ktest {
namespace {

using Lines = std::vector<std::string>;

struct LogPlaceCase {
  const char* name;
  std::vector<CaseFile> files;  // the first is the configuration
  std::vector<std::string> args;
  const char* logFile;          // relative to the test directory; "" = none
};

TEST(ConfigLog, WhereTheLogFileGoes) {
  const std::string area = "EchoArea A /m/a\n";
  const LogPlaceCase cases[] = {
      {"LogFile: the first one wins", {{"k.cfg", "LogFile first.log\nLogFile second.log\n"}}, {},
       "first.log"},
      {"-l wins over LogFile", {{"k.cfg", "LogFile first.log\n"}}, {"-lcmd.log"}, "cmd.log"},
      {"relative to the configuration", {{"etc/k.cfg", "LogFile knot.log\n"}}, {}, "etc/knot.log"},
      {"-l relative to the configuration", {{"etc/k.cfg", ""}}, {"-lrun.log"}, "etc/run.log"},
      {"through a mapping", {{"k.cfg", "SoftMapPath L:\\ {dir}/logs/\nLogFile L:\\knot.log\n"}},
       {}, "logs/knot.log"},
      {"LogFileDir: the tosser's log", {{"k.cfg", "LogFileDir logs\n"}}, {"-hpt"}, "logs/hpt.log"},
      {"LogFileDir with a slash", {{"k.cfg", "LogFileDir logs/\n"}}, {"-hpt"}, "logs/hpt.log"},
      {"LogFileDir and -l", {{"k.cfg", "LogFileDir logs\n"}}, {"-hpt", "-lknot.log"},
       "logs/knot.log"},
      {"LogFile before LogFileDir", {{"k.cfg", "LogFile mine.log\nLogFileDir logs\n"}}, {"-hpt"},
       "logs/mine.log"},
      {"LogFileDir before LogFile", {{"k.cfg", "LogFileDir logs\nLogFile mine.log\n"}}, {"-hpt"},
       "logs/hpt.log"},
      {"LogFileDir skipped for an absolute -l", {{"k.cfg", "LogFileDir logs\n"}},
       {"-hpt", "-l{dir}/abs.log"}, "abs.log"},
      {"LogFileDir is an HPT keyword", {{"k.cfg", "LogFileDir logs\n"}}, {}, ""},
      {"LogLevel without digits writes nothing", {{"k.cfg", "LogLevel x\nLogFile knot.log\n"}},
       {}, ""},
  };
  for (const LogPlaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directory(dir.file("logs"));
    writeCaseFiles(dir, c.files);
    std::vector<std::string> args{c.files.front().first};
    for (const std::string& arg : c.args) args.push_back(withDir(arg, dir.path()));
    EXPECT_EQ(runKnotter(args, dir.path()).exitCode, 0);

    std::vector<std::string> logs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      if (entry.path().extension() == ".log") {
        logs.push_back(std::filesystem::relative(entry.path(), dir.path()).string());
      }
    }
    const std::vector<std::string> expected =
        *c.logFile == '\0' ? std::vector<std::string>{} : std::vector<std::string>{c.logFile};
    EXPECT_EQ(logs, expected);
  }
}

TEST(ConfigLog, LogLevelNineAddsTheDetailLines) {
  TempDir dir;
  writeCaseFiles(dir, {{"k.cfg", "LogFile knot.log\nLogLevel 9\nEchoArea A /m/a\n"}});
  const RunResult result = runKnotter({"k.cfg", "-!", "exit", "3"}, dir.path());
  EXPECT_EQ(result.out, banner + "Running script\n");
  EXPECT_EQ(readLogLines(dir.file("knot.log")),
            (Lines{"", "Begin, Knotwork v2.4", "Executed: k.cfg -! exit 3", "Running script",
                   "Running command: exit 3", "The command has exited with code 3",
                   "End, Knotwork v2.4"}));
}

TEST(ConfigLog, LogLevelsFilterTheFile) {
  struct LevelCase {
    const char* level;
    Lines lines;
  };
  const LevelCase cases[] = {
      {"8", {"", "Begin, Knotwork v2.4", "Running script", "End, Knotwork v2.4"}},
      {"+4x", {"", "Begin, Knotwork v2.4", "Running script", "End, Knotwork v2.4"}},
      {"3", {"", "Begin, Knotwork v2.4", "End, Knotwork v2.4"}},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.level);
    TempDir dir;
    writeCaseFiles(dir, {{"k.cfg", std::string("LogFile knot.log\nLogLevel ") + c.level +
                                       "\nEchoArea A /m/a\n"}});
    const RunResult result = runKnotter({"k.cfg", "-!", "true"}, dir.path());
    EXPECT_EQ(result.out, banner + "Running script\n");
    EXPECT_EQ(readLogLines(dir.file("knot.log")), c.lines);
  }
}

TEST(ConfigLog, LogLevelShowPutsTheLevelAfterTheStamp) {
  TempDir dir;
  writeCaseFiles(dir, {{"k.cfg", "LogLevelShow\nLogFile knot.log\nEchoArea A /m/a\n"}});
  runKnotter({"k.cfg", "-!", "true"}, dir.path());
  const Lines raw = splitLines(readFile(dir.file("knot.log")));
  ASSERT_EQ(raw.size(), 4u);
  EXPECT_EQ(raw[1].substr(20), "[ 1] Begin, Knotwork v2.4");
  EXPECT_EQ(raw[2].substr(20), "[ 4] Running script");
  EXPECT_TRUE(hasStamp(raw[3]));
}

TEST(ConfigLog, RunsAreSetApartByAnEmptyLineBeforeOrInHptModeAfter) {
  const std::string end = "End, Knotwork v2.4";
  const std::string begin = "Begin, Knotwork v2.4";
  struct LayoutCase {
    const char* name;
    std::vector<std::string> args;
    Lines lines;
  };
  const LayoutCase cases[] = {
      {"Squish mode", {"k.cfg"}, {"", begin, end, "", begin, end}},
      {"HPT mode", {"k.cfg", "-hpt"}, {begin, end, "", begin, end, ""}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeCaseFiles(dir, {{"k.cfg", "LogFile knot.log\n"}});
    runKnotter(c.args, dir.path());
    runKnotter(c.args, dir.path());
    EXPECT_EQ(readLogLines(dir.file("knot.log")), c.lines);
  }
}

TEST(ConfigLog, MissingConfigurationEndsWithExitCodeThree) {
  struct MissingCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;
  };
  const MissingCase cases[] = {
      {"banner only", {"none.cfg", "-lknot.log"}, banner},
      {"quiet", {"-q", "none.cfg", "-lknot.log"}, ""},
      {"not a directory", {"-c", "k.cfg/x", "-lknot.log"}, banner},
  };
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFile(dir.file("k.cfg"), "");
    const RunResult result = runKnotter(c.args, dir.path());
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, c.out);
    EXPECT_FALSE(std::filesystem::exists(dir.file("knot.log")));
  }
}

}  // namespace
}  // namespace ktest
