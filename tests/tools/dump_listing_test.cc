// knotter-dump's listing: the header line, one line per message with the
// keys and subject as the linker parses them, the options, and usage errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace {

using ktest::splitLines;

std::string hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Four messages that exercise the key forms, the escapes of the quoted texts
// and the subject normaliser. The base is named abc, so that the hash of the
// angle-bracket local part "abc" cancels against the area tag's hash.
ktest::BaseSpec keysAndSubjects() {
  ktest::BaseSpec layout;
  layout.messages.push_back({.umsgid = 5,
                           .subject = "Re: Hello \"world\"",
                           .control = "\x01MSGID: 2:5020/1@fidonet 3e4a55f1"});
  layout.messages.push_back({.umsgid = 6,
                           .subject = "Re^2: back\\slash",
                           .control = "\x01MSGID: 2:5020/2 1\x01REPLY: 2:5020/1 3E4A55F1",
                           .replyto = 5,
                           .replies = {7, 0, 9}});
  layout.messages.push_back({.umsgid = 7,
                           .subject = "C\xA0t",
                           .control = "\x01REPLY: 2:5020/9\t12\x01MSGID: <abc@host>"});
  layout.messages.push_back({.umsgid = 8, .subject = "A long subject that goes on"});
  return layout;
}

struct ListingCase {
  const char* name;
  std::vector<std::string> options;
  const char* subjects[4];
};

const ListingCase listingCases[] = {
    {"defaults", {}, {"Hello \\\"world\\\"", "back\\\\slash", "C\\xA0t", "A long subject"}},
    {"lookalikes and a short subject", {"-p", "-s", "5"},
     {"Hello", "back\\\\", "Cat", "A lon"}},
    {"subject length above the field", {"-s100"},
     {"Hello \\\"world\\\"", "back\\\\slash", "C\\xA0t", "A long subject that goes on"}},
    {"subject length below one", {"-s0"},
     {"Hello \\\"world\\\"", "back\\\\slash", "C\\xA0t", "A long subject"}},
};

TEST(DumpListing, KeysSubjectsAndFieldsPerMessage) {
  ktest::TempDir dir;
  const ktest::BuiltBase built = ktest::writeBase(keysAndSubjects(), dir.file("abc"));
  const std::vector<std::uint32_t>& ofs = built.frameOffsets;
  for (const ListingCase& c : listingCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.options;
    args.push_back("abc.sqd");
    const ktest::DumpResult result = ktest::runDump(args, dir.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    const std::vector<std::string> expected = {
        "base=\"abc\" tag=\"abc\" high_msg=4 end_frame=" + hex8(built.sqd.size()) +
            " sz_sqhdr=28 size=" + std::to_string(built.sqd.size()),
        "0 umsgid=5 ofs=" + hex8(ofs[0]) +
            " msgid=\"2:5020/1\",3e4a55f1 reply=- replyto=0 replies=- subj=\"" + c.subjects[0] +
            "\"",
        "1 umsgid=6 ofs=" + hex8(ofs[1]) +
            " msgid=\"2:5020/2\",00000001 reply=\"2:5020/1\",3e4a55f1 replyto=5 replies=7,0,9"
            " subj=\"" + c.subjects[1] + "\"",
        "2 umsgid=7 ofs=" + hex8(ofs[2]) +
            " msgid=\"host\",00000000 reply=\"2:5020/9\\x0912\",00000000 replyto=0 replies=-"
            " subj=\"" + c.subjects[2] + "\"",
        "3 umsgid=8 ofs=" + hex8(ofs[3]) + " msgid=- reply=- replyto=0 replies=- subj=\"" +
            c.subjects[3] + "\"",
    };
    EXPECT_EQ(splitLines(result.out), expected);
  }
}

TEST(DumpListing, AreaTagOptionChangesHashedIdentifiersAndNames) {
  ktest::TempDir dir;
  ktest::writeBase(keysAndSubjects(), dir.file("abc"));
  const ktest::DumpResult result = ktest::runDump({"-aABC", "./abc.SQD"}, dir.path());
  ASSERT_EQ(result.exitCode, 0);
  const std::vector<std::string> lines = splitLines(result.out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("base=\"./abc\" tag=\"ABC\" high_msg=4 ", 0), 0u) << lines[0];
  EXPECT_NE(lines[3].find(" msgid=\"host\","), std::string::npos) << lines[3];
  EXPECT_EQ(lines[3].find(" msgid=\"host\",00000000 "), std::string::npos) << lines[3];
}

// A base written by another implementation, read where the linker reads it;
// the inspector leaves every byte and the file times as they were.
TEST(DumpListing, FixtureBaseAsTheLinkerSeesItAndUnchanged) {
  ktest::TempDir dir;
  const std::filesystem::path base = ktest::copyFixture("reply_to_reply", dir.path());
  const auto past = std::filesystem::last_write_time(ktest::sqd(base)) - std::chrono::hours(1);
  std::filesystem::last_write_time(ktest::sqd(base), past);
  const std::string before = ktest::readFile(ktest::sqd(base));

  const ktest::DumpResult result = ktest::runDump({"reply_to_reply"}, dir.path());
  EXPECT_EQ(result.exitCode, 0);
  const char* keys[4] = {
      "msgid=\"2:5020/10\",0000000a reply=-",
      "msgid=\"2:5020/11\",0000000b reply=\"2:5020/10\",0000000a",
      "msgid=\"2:5020/12\",0000000c reply=\"2:5020/10\",0000000a",
      "msgid=\"2:5020/13\",0000000d reply=\"2:5020/11\",0000000b",
  };
  std::vector<std::string> expected = {"base=\"reply_to_reply\" tag=\"reply_to_reply\" high_msg=4 end_frame=" +
                                       hex8(before.size()) + " sz_sqhdr=28 size=" +
                                       std::to_string(before.size())};
  for (std::uint32_t i = 0; i < 4; ++i) {
    expected.push_back(std::to_string(i) + " umsgid=" + std::to_string(10 + i) +
                       " ofs=" + hex8(ktest::readIndexEntry(base, i).ofs) + " " + keys[i] +
                       " replyto=0 replies=- subj=\"Topic A\"");
  }
  EXPECT_EQ(splitLines(result.out), expected);
  EXPECT_EQ(ktest::readFile(ktest::sqd(base)), before);
  EXPECT_EQ(std::filesystem::last_write_time(ktest::sqd(base)), past);
}

TEST(DumpListing, SharedFixturesByAbsolutePath) {
  const std::string five_threads = (ktest::fixturesDir() / "five_threads").string();
  const ktest::DumpResult check = ktest::runDump({"--check", five_threads}, ktest::fixturesDir());
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_EQ(check.out, "five_threads: 50 messages, no damage found\n");

  const ktest::DumpResult empty = ktest::runDump({"empty_base"}, ktest::fixturesDir());
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_EQ(empty.out,
            "base=\"empty_base\" tag=\"empty_base\" high_msg=0 end_frame=0x00000100 sz_sqhdr=28 "
            "size=256\n");
}

TEST(DumpUsage, BadCommandLinesExitTwoWithTheUsageText) {
  ktest::TempDir dir;
  const std::vector<std::vector<std::string>> badLines = {
      {},
      {"a", "b"},
      {"-x", "a"},
      {"--threads", "--check", "a"},
      {"-pq", "a"},
      {"-a"},
      {"--verbose", "a"},
      {""},
  };
  for (const std::vector<std::string>& args : badLines) {
    SCOPED_TRACE(testing::PrintToString(args));
    const ktest::DumpResult result = ktest::runDump(args, dir.path());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Usage: knotter-dump ", 0), 0u) << result.err;
  }
  const ktest::DumpResult help = ktest::runDump({"--help"}, dir.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: knotter-dump ", 0), 0u) << help.out;
}

TEST(DumpUsage, DoubleDashEndsTheOptions) {
  ktest::TempDir dir;
  ktest::writeBase(keysAndSubjects(), dir.file("-b"));
  const ktest::DumpResult result = ktest::runDump({"--check", "--", "-b"}, dir.path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "-b: 4 messages, no damage found\n");
}

}  // namespace
