// Linking by subject, run in this process on bases from the test builder:
// the chains, what is and is not written, the order of the damage checks,
// and that nothing outside the data file is read.
#include "linker/link_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "config/settings.h"
#include "linker/subject_normaliser.h"
#include "squish/squish_sink.h"
#include "squish/squish_source.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/link_notation.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

struct Linked {
  bool ok = false;
  std::int32_t changed = -1;
  std::int32_t total = -1;
  std::string console;
};

// Links the base through a copy of its data file held in a block of exactly
// the file's size (so the sanitizer build catches any stray read), then
// writes the copy back.
Linked linkHere(const std::filesystem::path& base, int subjectLength = 15,
                bool lookalikes = false) {
  knotter::buildSubjectScanTable(lookalikes);
  const std::string before = readFile(sqd(base));
  std::vector<std::uint8_t> data(before.begin(), before.end());
  knotter::FileDescriptor indexFile;
  const std::string indexPath = sqi(base).string();
  knotter::SquishSource source("area", knotter::Bytes(data), {indexPath.c_str(), &indexFile, {}});
  knotter::SquishSink sink(knotter::Bytes(data), source, {});
  Linked result;
  testing::internal::CaptureStdout();
  const knotter::LinkOutcome outcome =
      knotter::linkArea({knotter::LinkType::subj, "area", subjectLength}, source, sink);
  result.console = testing::internal::GetCapturedStdout();
  result.ok = outcome.linked;
  result.changed = static_cast<std::int32_t>(outcome.counts.changed);
  result.total = static_cast<std::int32_t>(outcome.counts.total);
  writeFile(sqd(base), std::string(data.begin(), data.end()));
  return result;
}

MessageSpec message(std::uint32_t umsgid, const std::string& subject) {
  MessageSpec m;
  m.umsgid = umsgid;
  m.subject = subject;
  m.body = "text of " + std::to_string(umsgid) + "\r";
  return m;
}

// Overwrites all 72 bytes of a message's subject, which the builder always
// ends with a NUL.
void setRawSubject(const std::filesystem::path& base, const BuiltBase& built, std::size_t message,
                   const std::string& subject72) {
  std::string bytes = readFile(sqd(base));
  bytes.replace(built.frameOffsets[message] + getU16(bytes, 130) + 76, 72, subject72);
  writeFile(sqd(base), bytes);
}

class SubjectLinking : public testing::Test {
 protected:
  void SetUp() override { knotter::resetSettings(); }
  void TearDown() override { knotter::resetSettings(); }
  TempDir dir;
  std::filesystem::path base = dir.file("area");
};

// Positions 2, 5 and 9 share a subject; 7 is alone and loses its stale
// links; replies[1..8] are never touched, and a second run changes nothing.
TEST_F(SubjectLinking, ChainsEqualSubjectsInIndexOrder) {
  BaseSpec layout;
  const char* subjects[] = {"one",      "two",  "Re: Hello", "three", "four",
                            "RE:Hello", "five", "six",       "seven", "  Hello"};
  for (std::uint32_t i = 0; i < 10; ++i) layout.messages.push_back(message(100 + i, subjects[i]));
  layout.messages[7].replyto = 55;
  layout.messages[7].replies = {56, 1, 2, 3, 4, 5, 6, 7, 8};
  layout.messages[5].replies = {0, 0, 0, 41};
  layout.staleEntries = 3;
  writeBase(layout, base);
  const std::string untouched = withoutReplyFields(base);

  const Linked first = linkHere(base);
  EXPECT_TRUE(first.ok);
  EXPECT_EQ(first.changed, 4);
  EXPECT_EQ(first.total, 10);
  EXPECT_EQ(first.console, "");
  EXPECT_EQ(describeLinks(base),
            "100: 0 / -; 101: 0 / -; 102: 0 / 105; 103: 0 / -; 104: 0 / -; "
            "105: 102 / 109 0 0 41; 106: 0 / -; 107: 0 / 0 1 2 3 4 5 6 7 8; 108: 0 / -; "
            "109: 105 / -");
  EXPECT_EQ(withoutReplyFields(base), untouched);

  const std::string linked = readFile(sqd(base));
  const Linked second = linkHere(base);
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(second.changed, 0);
  EXPECT_EQ(readFile(sqd(base)), linked);
}

TEST_F(SubjectLinking, EmptySubjectsFormOneChain) {
  BaseSpec layout;
  layout.messages = {message(1, "Re:"), message(2, "x"), message(3, ""), message(4, " \t "),
                   message(5, "Re: Re^2:")};
  writeBase(layout, base);
  const Linked linked = linkHere(base);
  EXPECT_EQ(linked.changed, 4);
  EXPECT_EQ(describeLinks(base), "1: 0 / 3; 2: 0 / -; 3: 1 / 4; 4: 3 / 5; 5: 4 / -");
}

// The chain follows index positions, whatever the order of the frames in the
// file, the umsgids or sz_sqhdr.
TEST_F(SubjectLinking, IndexOrderNotFileOrder) {
  BaseSpec layout;
  layout.messages = {message(5, "x"), message(3, "x"), message(9, "x"), message(1, "y")};
  layout.indexOrder = {2, 0, 3, 1};
  layout.szSqhdr = 40;
  writeBase(layout, base);
  const Linked linked = linkHere(base);
  EXPECT_EQ(linked.changed, 3);
  EXPECT_EQ(describeLinks(base), "9: 0 / 5; 5: 9 / 3; 1: 0 / -; 3: 5 / -");
}

// Many messages in few groups, in a shuffled index, against a plain model:
// each group is chained in index order.
TEST_F(SubjectLinking, ShuffledIndexMatchesModel) {
  constexpr std::uint32_t count = 3000;
  std::mt19937 random(7);
  const char* prefixes[] = {"", "Re: ", "RE:", "Re^2: ", "  ", "Re[3]: Re: "};
  std::vector<std::uint32_t> umsgids(count);
  std::iota(umsgids.begin(), umsgids.end(), 1);
  std::shuffle(umsgids.begin(), umsgids.end(), random);
  BaseSpec layout;
  std::vector<int> topicOf(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    topicOf[i] = static_cast<int>(random() % 40);
    MessageSpec m = message(
        umsgids[i], prefixes[random() % 6] + std::string("topic ") + std::to_string(topicOf[i]));
    m.replies[8] = i;  // must survive
    m.replyto = random() % 3 == 0 ? umsgids[(i + 1) % count] : 0;
    layout.messages.push_back(m);
  }
  layout.indexOrder.resize(count);
  std::iota(layout.indexOrder.begin(), layout.indexOrder.end(), 0);
  std::shuffle(layout.indexOrder.begin(), layout.indexOrder.end(), random);
  writeBase(layout, base);

  std::map<int, std::uint32_t> lastOfTopic;  // position of the group's last message so far
  std::vector<ReplyFields> expected(count);
  for (std::uint32_t position = 0; position < count; ++position) {
    const std::size_t m = layout.indexOrder[position];
    expected[position].replies[8] = static_cast<std::uint32_t>(m);
    const auto last = lastOfTopic.find(topicOf[m]);
    if (last != lastOfTopic.end()) {
      expected[position].replyto = layout.messages[layout.indexOrder[last->second]].umsgid;
      expected[last->second].replies[0] = layout.messages[m].umsgid;
    }
    lastOfTopic[topicOf[m]] = position;
  }
  const Linked linked = linkHere(base);
  ASSERT_TRUE(linked.ok);
  const std::string data = readFile(sqd(base));
  const std::string index = readFile(sqi(base));
  for (std::uint32_t position = 0; position < count; ++position) {
    const std::size_t fields = getU32(index, 12 * position) + 28 + 174;
    ReplyFields actual;
    actual.replyto = getU32(data, fields);
    for (std::size_t k = 0; k < 9; ++k) actual.replies[k] = getU32(data, fields + 4 + 4 * k);
    ASSERT_EQ(actual, expected[position]) << "position " << position;
  }
  EXPECT_EQ(linkHere(base).changed, 0);
}

// N sets how much of the normalised subject counts; the record width follows
// it (24 bytes at N = 1, odd widths rounded up, 94 bytes at N = 72).
TEST_F(SubjectLinking, SubjectLength) {
  struct Case {
    int n;
    bool lookalikes;
    std::string links;
  };
  const Case cases[] = {
      {1, false, "1: 0 / 2; 2: 1 / 3; 3: 2 / 4; 4: 3 / -"},
      {2, false, "1: 0 / 2; 2: 1 / -; 3: 0 / -; 4: 0 / -"},
      {16, false, "1: 0 / 2; 2: 1 / -; 3: 0 / -; 4: 0 / -"},
      {71, false, "1: 0 / 2; 2: 1 / -; 3: 0 / -; 4: 0 / -"},
      {72, false, "1: 0 / -; 2: 0 / -; 3: 0 / -; 4: 0 / -"},
      {72, true, "1: 0 / -; 2: 0 / -; 3: 0 / 4; 4: 3 / -"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("N = " + std::to_string(c.n) + (c.lookalikes ? " with -p" : ""));
    TempDir here;
    const std::filesystem::path area = here.file("area");
    BaseSpec layout;
    layout.messages = {message(1, ""), message(2, ""), message(3, "aco"), message(4, "a\xE1\xAE")};
    const BuiltBase built = writeBase(layout, area);
    setRawSubject(area, built, 0, std::string(71, 'a') + "1");
    setRawSubject(area, built, 1, std::string(71, 'a') + "2");
    EXPECT_TRUE(linkHere(area, c.n, c.lookalikes).ok);
    EXPECT_EQ(describeLinks(area), c.links);
  }
}

TEST_F(SubjectLinking, EmptyBaseOpensNoIndex) {
  BaseSpec layout;
  layout.messages = {message(1, "a")};
  layout.highMsg = 0;
  writeBase(layout, base);
  std::filesystem::remove(sqi(base));
  const std::string before = readFile(sqd(base));
  const Linked linked = linkHere(base);
  EXPECT_TRUE(linked.ok);
  EXPECT_EQ(linked.changed, 0);
  EXPECT_EQ(linked.total, 0);
  EXPECT_EQ(readFile(sqd(base)), before);
}

// Four messages with one subject, so that every header would change; the
// index lists them in reverse file order.
BaseSpec fourInReverse() {
  BaseSpec layout;
  for (std::uint32_t u = 1; u <= 4; ++u) layout.messages.push_back(message(u, "Same"));
  layout.indexOrder = {3, 2, 1, 0};
  return layout;
}

std::string hex(std::uint32_t value, int width = 0) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", width, value);
  return text;
}

const std::string areaReadError = "! Error reading area. Area is possibly damaged\n";

// Each damage ends the area with its report and leaves the data file as it
// was. Index entries are checked in index order, frames in ascending ofs.
TEST_F(SubjectLinking, DamageStopsBeforeAnyWrite) {
  struct Case {
    const char* name;
    std::function<std::string(const std::filesystem::path&, const BuiltBase&)> damage;  // report
  };
  const Case cases[] = {
      {"ofs beyond end_frame at positions 1 and 2",
       [](const std::filesystem::path& b, const BuiltBase& built) {
         const std::uint32_t endFrame = getU32(built.sqd, 120);
         setU32(sqi(b), 12 * 1, endFrame + 1);
         setU32(sqi(b), 12 * 2, endFrame + 2);
         return "! Index file of area is damaged\n! Offset 0x" + hex(endFrame + 1) +
                " of message No 1 is beyond the end of message base\n";
       }},
      {"ofs equal to end_frame passes, but no frame lies there",
       [](const std::filesystem::path& b, const BuiltBase& built) {
         setU32(sqi(b), 12 * 3, getU32(built.sqd, 120));
         return areaReadError;
       }},
      {"bad ids: the lower ofs is reported, not the earlier position",
       [](const std::filesystem::path& b, const BuiltBase& built) {
         setU32(sqd(b), built.frameOffsets[2], 0);
         setU32(sqd(b), built.frameOffsets[1], 0xAFAE4452);
         return "! Message base of area is damaged\n! Bad frame for message with umsgid=2 at "
                "offset 0x" +
                hex(built.frameOffsets[1], 8) + "\n";
       }},
      {"sz_sqhdr puts the message header outside the file",
       [](const std::filesystem::path& b, const BuiltBase&) {
         setU16(sqd(b), 130, 0xFFFF);
         return areaReadError;
       }},
      {"sz_sqhdr smaller than the frame header fields",
       [](const std::filesystem::path& b, const BuiltBase&) {
         setU16(sqd(b), 130, 23);
         return areaReadError;
       }},
      {"ofs near 4 GiB",
       [](const std::filesystem::path& b, const BuiltBase&) {
         setU32(sqd(b), 120, 0xFFFFFFFF);
         setU32(sqi(b), 0, 0xFFFFFFFE);
         return areaReadError;
       }},
      {"data file too short for the base header",
       [](const std::filesystem::path& b, const BuiltBase&) {
         truncateFile(sqd(b), 131);
         return areaReadError;
       }},
      {"no index file",
       [](const std::filesystem::path& b, const BuiltBase&) {
         std::filesystem::remove(sqi(b));
         return "! Cannot open file " + sqi(b).string() + " (2)\n";
       }},
      {"index shorter than high_msg",
       [](const std::filesystem::path& b, const BuiltBase&) {
         truncateFile(sqi(b), 4 * 12 - 1);
         return "! Error reading index file " + sqi(b).string() + "\n";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir here;
    const std::filesystem::path area = here.file("area");
    const std::string report = c.damage(area, writeBase(fourInReverse(), area));
    const std::string before = readFile(sqd(area));
    knotter::settings.logLevel = 9;  // the detail lines reach the console
    const Linked linked = linkHere(area);
    EXPECT_FALSE(linked.ok);
    EXPECT_EQ(linked.changed, 0);
    EXPECT_EQ(linked.console, report);
    EXPECT_EQ(readFile(sqd(area)), before);
  }
}

// Only the frame id and the message header are read: cutting the file
// anywhere before the end of the last message header fails the area, and
// the control information may reach past the end.
TEST_F(SubjectLinking, TruncationInsideTheLastHeader) {
  const BuiltBase built = buildBase(fourInReverse());
  const std::size_t lastOfs = built.frameOffsets.back();
  // Both sides of the frame id, clen, the frame header, subj, replyto,
  // replies[0] and the end of the message header.
  const std::size_t cuts[] = {0,        3,        4,        23,       24,
                              27,       28,       28 + 76,  28 + 148, 28 + 177,
                              28 + 178, 28 + 181, 28 + 182, 28 + 237, 28 + 238};
  for (std::size_t offset : cuts) {
    const std::size_t cut = lastOfs + offset;
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const std::filesystem::path area = base;
    std::string before = built.sqd.substr(0, cut);
    if (cut >= lastOfs + 24) putU32(before, lastOfs + 20, 0xFFFFFFFF);  // clen
    writeFile(sqd(area), before);
    writeFile(sqi(area), built.sqi);
    const Linked linked = linkHere(area);
    const bool whole = cut == lastOfs + 28 + 238;
    EXPECT_EQ(linked.ok, whole);
    EXPECT_EQ(linked.console, whole ? "" : areaReadError);
    if (whole) {
      EXPECT_EQ(describeLinks(area), "4: 0 / 3; 3: 4 / 2; 2: 3 / 1; 1: 2 / -");
    } else {
      EXPECT_EQ(readFile(sqd(area)), before);
    }
  }
}

}  // namespace
}  // namespace ktest
