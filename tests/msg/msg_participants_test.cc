// End-to-end: which files of a *.MSG directory take part. 1.msg and the
// highwater files, names that are not canonical, short files, directories,
// symbolic links, files with a second name and FIFOs are never read as
// messages, never named in a link, not counted and never written; a link
// planted under a message name must not let a run as root write the file it
// leads to.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// A message with MSGID serial and REPLY reply (0: none), stale links and
// one subject for all, so that every type would link it if it took part.
MsgFileSpec message(std::uint32_t serial, std::uint32_t reply, std::uint16_t stale = 0) {
  std::vector<std::string> kludges{msgIdKludge(serial)};
  if (reply != 0) kludges.push_back(replyKludge(reply));
  return {.subject = "Topic", .text = msgText(kludges), .replyTo = stale, .up = stale};
}

// The files that take part: 6 (answering the MSGID that only 1.msg
// carries), 11 (a bare header, 190 bytes), 14 and 65535 (answering 6).
void writeParticipants(const std::filesystem::path& area) {
  writeMsgFile(area, "6.msg", message(0x6, 0x1));
  MsgFileSpec bare{.subject = "Topic", .text = "", .replyTo = 5, .up = 5};
  writeMsgFile(area, "11.msg", bare);
  writeMsgFile(area, "14.msg", message(0xe, 0x6));
  writeMsgFile(area, "65535.msg", message(0xffff, 0x6));
}

// Everything else: each would be linked as a reply to 6 if it were read.
std::vector<std::string> writeOthers(const TempDir& dir, const std::filesystem::path& area) {
  // 1.msg is a real message whose replyTo holds the highwater mark.
  MsgFileSpec first = message(0x1, 0, 0);
  first.replyTo = 57;
  writeMsgFile(area, "1.msg", first);
  MsgFileSpec highwater = message(0x102, 0x6, 3);
  highwater.from = "-=|smapi internal|=-";
  writeMsgFile(area, "2.msg", highwater);
  highwater.from = "-=|\x7FSquishMail\x7F|=-";
  writeMsgFile(area, "12.msg", highwater);
  highwater.from = "CrashMail II";
  highwater.subject = "HighWater mark";
  writeMsgFile(area, "13.msg", highwater);
  writeFile(area / "3.msg", "");
  writeFile(area / "4.msg", buildMsgFile(message(0x104, 0x6, 3)).substr(0, 189));
  std::vector<std::string> ignored = {"5.MSG",     "0009.msg", "12a.msg",  "0.msg",  "65536.msg",
                                      "70000.msg", "notes.txt", "lastread", "15.msg.bak"};
  for (std::size_t i = 0; i < ignored.size(); ++i) {
    writeMsgFile(area, ignored[i], message(0x200 + static_cast<std::uint32_t>(i), 0x6, 3));
  }
  std::filesystem::create_directory(area / "7.msg");
  writeMsgFile(dir.path(), "target.msg", message(0x108, 0x6, 3));
  std::filesystem::create_symlink(dir.file("target.msg"), area / "8.msg");
  writeMsgFile(dir.path(), "elsewhere.msg", message(0x109, 0x6, 3));
  std::filesystem::create_hard_link(dir.file("elsewhere.msg"), area / "9.msg");
  EXPECT_EQ(::mkfifo((area / "10.msg").c_str(), 0644), 0);
  std::filesystem::create_symlink(area / "7.msg", area / "16.msg");  // to a directory
  std::filesystem::create_symlink(area / "none.msg", area / "17.msg");  // dangling
  return {"1.msg", "2.msg", "3.msg", "4.msg", "12.msg", "13.msg", "5.MSG", "0009.msg",
          "12a.msg", "0.msg", "65536.msg", "70000.msg", "notes.txt", "lastread", "15.msg.bak"};
}

struct TypeCase {
  char type;
  std::uint32_t changed;
  std::string links;
};

TEST(MsgParticipants, OnlyCanonicalRegularFilesWithOneNameTakePart) {
  // TimEd: 6 answers a MSGID that only 1.msg carries, so it has no
  // original; the rest chain by subject in number order.
  const TypeCase cases[] = {
      {'t', 4, "6: 0 14; 11: 0 0; 14: 6 0; 65535: 6 0"},
      {'s', 4, "6: 0 11; 11: 6 14; 14: 11 65535; 65535: 14 0"},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.type);
    TempDir dir;
    const auto area = dir.file("area");
    std::filesystem::create_directory(area);
    writeParticipants(area);
    std::vector<std::string> others = writeOthers(dir, area);
    others.push_back("../target.msg");
    others.push_back("../elsewhere.msg");
    std::vector<std::string> before;
    for (const std::string& name : others) before.push_back(readFile(area / name));

    const RunResult run = runKnotter({"-#area/", std::string("-t") + c.type}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: " + std::to_string(c.changed) +
                           " of 4\n");
    EXPECT_EQ(describeMsgLinks(area, {6, 11, 14, 65535}), c.links);
    for (std::size_t i = 0; i < others.size(); ++i) {
      EXPECT_EQ(readFile(area / others[i]), before[i]) << others[i];
    }
    EXPECT_TRUE(std::filesystem::is_fifo(area / "10.msg"));
    EXPECT_TRUE(std::filesystem::is_directory(area / "7.msg"));
  }
}

TEST(MsgParticipants, AnAreaOfFilesThatTakeNoPartLinksNothing) {
  TempDir dir;
  const auto area = dir.file("area");
  std::filesystem::create_directory(area);
  const std::vector<std::string> others = writeOthers(dir, area);
  const RunResult run = runKnotter({"-#area/"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: 0 of 0\n");
}

TEST(MsgParticipants, AnEmptyDirectoryIsLinkedWithNothingInIt) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("area"));
  const RunResult run = runKnotter({"-#area/", "-ts"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: 0 of 0\n");
}

TEST(MsgParticipants, ADirectoryThatCannotBeOpenedIsReportedWithItsPath) {
  TempDir dir;
  writeFile(dir.file("plain"), "not a directory");
  struct Case {
    const char* argument;
    std::string report;
  } cases[] = {
      {"-#missing/", "! Cannot open file missing/ (2)"},
      {"-#plain/", "! Cannot open file plain/ (20)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const std::string tag = std::string(c.argument).substr(2, std::strlen(c.argument) - 3);
    const RunResult run = runKnotter({c.argument, "-l" + tag + ".log"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking " + tag + "\r" + c.report + "\n");
    const std::vector<std::string> log = readLogLines(dir.file(tag + ".log"));
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3], c.report);
  }
}

}  // namespace
}  // namespace ktest
