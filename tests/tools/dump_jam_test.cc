// knotter-dump on JAM bases: the header line, one line per .jdx record, the
// threads of ReplyTo, and --check in the linker's words.
#include <gtest/gtest.h>

#include <string>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace ktest {
namespace {

// 10 original, 11 hard-deleted, 12 and 13 reply to 10, 14 deleted.
JamBaseSpec thread() {
  JamBaseSpec layout{.messages = {{.subfields = {msgIdField("2:5020/1 0000000a"),
                                               subjectField("Re: Topic A")},
                                 .reply1st = 12},
                                {.hardDeleted = true},
                                {.subfields = {msgIdField("2:5020/2 b"),
                                               replyField("2:5020/1 0000000a")},
                                 .replyTo = 10, .replyNext = 13},
                                {.subfields = {ftsKludge("REPLY: 2:5020/1 0000000a")},
                                 .replyTo = 10},
                                {.replyTo = 99, .deleted = true}},
                   .baseMsgNum = 10, .modCounter = 3};
  return layout;
}

TEST(DumpJam, ListsEveryRecordAsTheLinkerReadsIt) {
  TempDir dir;
  writeJamBase(thread(), dir.file("fido"));
  const DumpResult run = runDump({"fido.JHR"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "base=\"fido\" tag=\"fido\" format=jam base_msg_num=10 mod_counter=3 size=1447\n"
            "0 number=10 ofs=0x00000400 msgid=\"2:5020/1\",0000000a reply=- replyto=0 "
            "reply1st=12 replynext=0 subj=\"Topic A\"\n"
            "1 number=11 no-header\n"
            "2 number=12 ofs=0x00000478 msgid=\"2:5020/2\",0000000b "
            "reply=\"2:5020/1\",0000000a replyto=10 reply1st=0 replynext=13 subj=\"\"\n"
            "3 number=13 ofs=0x000004EF msgid=- reply=\"2:5020/1\",0000000a replyto=10 "
            "reply1st=0 replynext=0 subj=\"\"\n"
            "4 number=14 ofs=0x0000055B msgid=- reply=- replyto=99 reply1st=0 replynext=0 "
            "subj=\"\" deleted\n");
}

TEST(DumpJam, ThreadsAndCheck) {
  TempDir dir;
  writeJamBase(thread(), dir.file("fido"));
  const DumpResult threads = runDump({"--threads", "fido.jhr"}, dir.path());
  EXPECT_EQ(threads.out.substr(threads.out.find('\n') + 1),
            "10 #0 subj=\"Topic A\"\n  12 #2 subj=\"\"\n  13 #3 subj=\"\"\n"
            "14 #4 subj=\"\" missing-parent=99\n");
  const DumpResult check = runDump({"--check", "fido.jhr"}, dir.path());
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_EQ(check.out, "fido: 4 messages, no damage found\n");

  setU32(jdx(dir.file("fido")), 4 * 8 + 4, jamHeaderOffset(dir.file("fido"), 3) + 8);
  const DumpResult shared = runDump({"--check", "fido.jhr"}, dir.path());
  EXPECT_EQ(shared.exitCode, 1);
  EXPECT_EQ(shared.out, "! Index file of fido is damaged\n"
                        "! Offset 0x4F7 of message No 4 is beyond the end of message base\n");
  writeJamBase(thread(), dir.file("fido"));
  setJamHeaderU32(dir.file("fido"), 3, jamAt::revision, 2);
  setJamHeaderU32(dir.file("fido"), 2, jamAt::signature, 0);
  const DumpResult bad = runDump({"--check", "fido.jhr"}, dir.path());
  EXPECT_EQ(bad.out, "! Message base of fido is damaged\n"
                     "! Bad frame for message with umsgid=12 at offset 0x00000478\n");
}

}  // namespace
}  // namespace ktest
