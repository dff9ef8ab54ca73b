// knotter-dump on *.MSG directories: the header line, one line per
// canonical name with the words for files that take no part, the names
// that are ignored, the threads of replyTo, and --check in the linker's
// words. Nothing in the directory changes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace ktest {
namespace {

// 1.msg, an original 10 with two replies, a reply to a missing message, a
// highwater in 2.msg, a short file, a directory, and names that are ignored.
void writeArea(const TempDir& dir) {
  const auto area = dir.file("mail");
  std::filesystem::create_directory(area);
  writeMsgFile(area, "1.msg", {.from = "-=|smapi internal|=-", .replyTo = 57});
  writeMsgFile(area, "2.msg", {.from = "-=|smapi internal|=-", .text = msgText({msgIdKludge(2)})});
  writeFile(area / "3.msg", std::string(100, 'x'));
  std::filesystem::create_directory(area / "4.msg");
  writeMsgFile(area, "10.msg",
               {.subject = "Topic A", .text = msgText({msgIdKludge(0xa)}), .up = 11});
  writeMsgFile(area, "11.msg",
               {.subject = "Re: Topic A", .text = msgText({msgIdKludge(0xb), replyKludge(0xa)}),
                .replyTo = 10});
  writeMsgFile(area, "12.msg",
               {.subject = "Re: Topic A", .text = msgText({replyKludge(0xa)}), .replyTo = 10});
  writeMsgFile(area, "20.msg",
               {.subject = "Lost", .text = msgText({replyKludge(0x99)}), .replyTo = 7});
  for (const char* name : {"12.MSG", "0010.msg", "lastread", "65536.msg"}) {
    writeMsgFile(area, name, {});
  }
}

const std::string header = "base=\"mail/\" tag=\"mail\" format=msg files=12 messages=4\n";

TEST(DumpMsg, ListsEveryCanonicalNameAndTheIgnoredOnes) {
  TempDir dir;
  writeArea(dir);
  const std::string before = readFile(dir.file("mail/11.msg"));
  const DumpResult run = runDump({"mail/"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            header +
                "1 highwater\n"
                "2 highwater\n"
                "3 short\n"
                "4 not-regular\n"
                "10 msgid=\"2:5020/1\",0000000a reply=- replyto=0 up=11 subj=\"Topic A\"\n"
                "11 msgid=\"2:5020/1\",0000000b reply=\"2:5020/1\",0000000a replyto=10 up=0 "
                "subj=\"Topic A\"\n"
                "12 msgid=- reply=\"2:5020/1\",0000000a replyto=10 up=0 subj=\"Topic A\"\n"
                "20 msgid=- reply=\"2:5020/1\",00000099 replyto=7 up=0 subj=\"Lost\"\n"
                "name=\"0010.msg\" ignored\n"
                "name=\"12.MSG\" ignored\n"
                "name=\"65536.msg\" ignored\n");
  EXPECT_EQ(readFile(dir.file("mail/11.msg")), before);
}

TEST(DumpMsg, ThreadsFollowReplyToAndCheckCountsTheMessagesThatTakePart) {
  TempDir dir;
  writeArea(dir);
  const DumpResult threads = runDump({"--threads", "mail//"}, dir.path());
  EXPECT_EQ(threads.out, header +
                             "10 #4 subj=\"Topic A\"\n"
                             "  11 #5 subj=\"Topic A\"\n"
                             "  12 #6 subj=\"Topic A\"\n"
                             "20 #7 subj=\"Lost\" missing-parent=7\n");
  const DumpResult check = runDump({"--check", "-aNETMAIL", "mail/"}, dir.path());
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_EQ(check.out, "NETMAIL: 4 messages, no damage found\n");
}

TEST(DumpMsg, WhatWouldEndTheAreaIsReportedInTheLinkersWords) {
  TempDir dir;
  const DumpResult missing = runDump({"--check", "none/"}, dir.path());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "! Cannot open file none/ (2)\n");
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file: no file can be made unreadable";
  writeArea(dir);
  ASSERT_EQ(::chmod(dir.file("mail/11.msg").c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir.file("mail/12.msg").c_str(), 0), 0);
  const DumpResult listing = runDump({"mail/"}, dir.path());
  EXPECT_EQ(listing.exitCode, 1);
  EXPECT_NE(listing.out.find("\n11 cannot-open\n12 cannot-open\n"), std::string::npos);
  EXPECT_EQ(listing.out.substr(listing.out.rfind("!")), "! Cannot open file mail/11.msg (13)\n");
  const DumpResult check = runDump({"--check", "mail/"}, dir.path());
  EXPECT_EQ(check.out, "! Cannot open file mail/11.msg (13)\n");
}

}  // namespace
}  // namespace ktest
