// knotter-dump --plan against the linker itself: for every link type, the
// plan of a base lists exactly the messages and fields that knotter -# then
// writes, with its counts, and leaves every byte of the base as it was.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

constexpr char linkTypes[] = {'f', 'r', 's', 't'};

// A message's link fields as the listing writes them, read back from the
// files with the test builders' readers.
struct MessageFields {
  std::string head;  // how its plan line begins: "3 umsgid=4"
  std::vector<std::pair<std::string, std::string>> fields;  // name, value
};
using ReadFields = std::function<std::vector<MessageFields>()>;

// One base as both tools name it.
struct PlannedBase {
  fs::path dir;
  std::string argument;         // "T", or "T.jhr"
  std::string tag;              // the base name
  std::vector<fs::path> files;  // every file of the base
  ReadFields read;
};

std::vector<std::string> contents(const std::vector<fs::path>& files) {
  std::vector<std::string> bytes;
  for (const fs::path& file : files) bytes.push_back(readFile(file));
  return bytes;
}

void restore(const std::vector<fs::path>& files, const std::vector<std::string>& bytes) {
  for (std::size_t k = 0; k < files.size(); ++k) writeFile(files[k], bytes[k]);
}

// The plan lines for what changed between two readings of a base.
std::string changeLines(const std::vector<MessageFields>& before,
                        const std::vector<MessageFields>& after) {
  std::string lines;
  for (std::size_t m = 0; m < before.size() && m < after.size(); ++m) {
    if (before[m].fields == after[m].fields) continue;
    lines += before[m].head;
    for (std::size_t f = 0; f < before[m].fields.size(); ++f) {
      const auto& [name, old] = before[m].fields[f];
      const std::string& fresh = after[m].fields[f].second;
      if (old != fresh) lines += " " + name + "=" + old + "->" + fresh;
    }
    lines += "\n";
  }
  return lines;
}

// knotter's "Linking T: n of m" as the plan's closing line.
std::string closingLine(const RunResult& link, const std::string& tag) {
  const std::string marker = "Linking " + tag + ": ";
  const std::size_t at = link.out.find(marker);
  if (at == std::string::npos) return "(no count from knotter: " + link.out + ")";
  const std::size_t from = at + marker.size();
  return tag + ": " + link.out.substr(from, link.out.find('\n', from) - from) + " would change\n";
}

// Plans the base with type and options, checks that nothing was written,
// links it with knotter and compares.
void expectPlanOfLink(const PlannedBase& base, char type, const std::vector<std::string>& options) {
  std::vector<std::string> planArgs{"--plan", std::string("-t") + type};
  std::vector<std::string> linkArgs{"-#" + base.argument, std::string("-t") + type};
  planArgs.insert(planArgs.end(), options.begin(), options.end());
  linkArgs.insert(linkArgs.end(), options.begin(), options.end());
  planArgs.push_back(base.argument);

  const std::vector<std::string> unplanned = contents(base.files);
  const std::vector<MessageFields> before = base.read();
  const DumpResult plan = runDump(planArgs, base.dir);
  EXPECT_EQ(contents(base.files), unplanned) << "the plan changed the base";
  const RunResult link = runKnotter(linkArgs, base.dir);
  EXPECT_EQ(plan.exitCode, 0);
  EXPECT_EQ(plan.err, "");
  EXPECT_EQ(plan.out, changeLines(before, base.read()) + closingLine(link, base.tag));
}

// For every link type: the plan of the base as given, then of what knotter
// made of it with the next type (links of another kind to undo), and with
// that type once more (nothing, or only what it changes again); each
// against knotter's run. The base is put back before each type.
void expectPlansOfEveryType(const PlannedBase& base, const std::vector<std::string>& options = {}) {
  const std::vector<std::string> original = contents(base.files);
  for (std::size_t k = 0; k < std::size(linkTypes); ++k) {
    const char type = linkTypes[k];
    const char next = linkTypes[(k + 1) % std::size(linkTypes)];
    SCOPED_TRACE(std::string("-t") + type + ", then -t" + next + " twice");
    restore(base.files, original);
    expectPlanOfLink(base, type, options);
    expectPlanOfLink(base, next, options);
    expectPlanOfLink(base, next, options);
  }
}

std::string slots(const std::array<std::uint32_t, 9>& replies) {
  std::size_t used = replies.size();
  while (used > 0 && replies[used - 1] == 0) --used;
  if (used == 0) return "-";
  std::string text;
  for (std::size_t k = 0; k < used; ++k) text += (k > 0 ? "," : "") + std::to_string(replies[k]);
  return text;
}

PlannedBase squishBase(const fs::path& dir, const std::string& name, std::size_t messages) {
  const fs::path base = dir / name;
  return {
      dir, name, name, {sqd(base), sqi(base)}, [base, messages] {
        std::vector<MessageFields> all;
        for (std::size_t p = 0; p < messages; ++p) {
          const ReplyFields fields = readReplyFields(base, p);
          all.push_back(
              {std::to_string(p) + " umsgid=" + std::to_string(readIndexEntry(base, p).umsgid),
               {{"replyto", std::to_string(fields.replyto)}, {"replies", slots(fields.replies)}}});
        }
        return all;
      }};
}

std::string identifier(std::uint32_t serial) {
  char text[32];
  std::snprintf(text, sizeof text, "2:5020/1 %08x", serial);
  return text;
}

// One message of a scenario: MSGID and REPLY serials (0 for none), subject,
// and the links it holds before linking.
struct Note {
  std::uint32_t msgId = 0;
  std::uint32_t reply = 0;
  std::string subject{};
  std::uint32_t staleReplyTo = 0;
  std::uint32_t staleReply = 0;
};

// Replies, two to one original and a reply to a reply; replies to a missing
// original; a duplicated MSGID; a message answering itself; subjects that
// normalise alike; links left from before; eleven replies to one message
// (more than a Squish header holds).
std::vector<Note> scenario() {
  std::vector<Note> notes = {
      {1, 0, "Topic", 0, 77}, {2, 1, "Re: Topic"}, {3, 1, "RE: topic"}, {4, 2, "Re^2: Topic", 3, 0},
      {5, 90, "Lost"},        {6, 90, "Re: Lost"}, {7, 6, "Re: Lost"},  {1, 0, "Topic (again)"},
      {0, 0, "Other", 5, 0},  {8, 8, "Self"},      {0, 3, "", 0, 0},    {20, 0, "Many"},
  };
  for (std::uint32_t k = 0; k < 11; ++k) notes.push_back({21 + k, 20, "Re: Many"});
  return notes;
}

// The scenario as a Squish base, with umsgids 101.. in file order and an
// index that lists every third message out of file order.
BaseSpec squishScenario() {
  BaseSpec layout;
  const std::vector<Note> notes = scenario();
  for (std::uint32_t k = 0; k < notes.size(); ++k) {
    const Note& note = notes[k];
    MessageSpec message{.umsgid = 101 + k, .subject = note.subject};
    if (note.msgId != 0) message.control += "\x01MSGID: " + identifier(note.msgId);
    if (note.reply != 0) message.control += "\x01REPLY: " + identifier(note.reply);
    message.replyto = note.staleReplyTo;
    message.replies[0] = note.staleReply;
    layout.messages.push_back(message);
    layout.indexOrder.push_back(k);
  }
  for (std::size_t k = 0; k + 3 < layout.indexOrder.size(); k += 3) {
    std::swap(layout.indexOrder[k], layout.indexOrder[k + 2]);
  }
  return layout;
}

TEST(DumpPlan, SquishPlanIsWhatKnotterWrites) {
  TempDir dir;
  const BaseSpec layout = squishScenario();
  writeBase(layout, dir.file("T"));
  expectPlansOfEveryType(squishBase(dir.path(), "T", layout.messages.size()));
}

// "Topic" and "Topic (again)" are one subject in their first five letters.
TEST(DumpPlan, SubjectLengthReachesThePlan) {
  TempDir dir;
  const BaseSpec layout = squishScenario();
  writeBase(layout, dir.file("T"));
  EXPECT_NE(runDump({"--plan", "-ts", "-s5", "T"}, dir.path()).out,
            runDump({"--plan", "-ts", "T"}, dir.path()).out);
  expectPlansOfEveryType(squishBase(dir.path(), "T", layout.messages.size()), {"-s5"});
}

// Linking by subject reads no control information, so a Squish base whose
// last one reaches past the end of the file is linked by Subj, and planned
// alike; the other types give it up, and their plans report as --check.
TEST(DumpPlan, SubjectPlanOfABaseOnlyMsgIdLinkingRefuses) {
  TempDir dir;
  BaseSpec layout;
  for (std::uint32_t umsgid = 1; umsgid <= 3; ++umsgid) {
    layout.messages.push_back(
        {.umsgid = umsgid, .subject = "Re: S", .control = "\x01MSGID: 2:5020/1 1"});
  }
  const BuiltBase built = writeBase(layout, dir.file("T"));
  truncateFile(sqd(dir.file("T")), built.frameOffsets[2] + 28 + 238 + 10);
  const PlannedBase base = squishBase(dir.path(), "T", 3);
  const DumpResult check = runDump({"--check", "T"}, dir.path());
  EXPECT_EQ(check.out, "! Error reading T. Area is possibly damaged\n");
  const DumpResult plan = runDump({"--plan", "-tr", "T"}, dir.path());
  EXPECT_EQ(plan.exitCode, 1);
  EXPECT_EQ(plan.out, check.out);
  expectPlanOfLink(base, 's', {});
}

// The bases an independent implementation wrote, empty one included.
TEST(DumpPlan, FixturePlansAreWhatKnotterWrites) {
  const std::pair<const char*, std::size_t> fixtures[] = {
      {"reply_to_reply", 4},      {"missing_original", 4},         {"two_threads_missing_original", 6},
      {"duplicate_msgid", 4},     {"ten_replies", 11},             {"subjects_without_kludges", 10},
      {"empty_base", 0},          {"five_threads", 50}};
  for (const auto& [name, messages] : fixtures) {
    SCOPED_TRACE(name);
    TempDir dir;
    copyFixture(name, dir.path());
    expectPlansOfEveryType(squishBase(dir.path(), name, messages));
  }
}

// The scenario as a JAM base numbered from 500, with a hard-deleted record
// and a deleted message whose stale links are cleared.
JamBaseSpec jamScenario() {
  JamBaseSpec layout{.baseMsgNum = 500, .modCounter = 7};
  for (const Note& note : scenario()) {
    JamMessageSpec message;
    if (note.msgId != 0) message.subfields.push_back(msgIdField(identifier(note.msgId)));
    if (note.reply != 0) message.subfields.push_back(replyField(identifier(note.reply)));
    if (!note.subject.empty()) message.subfields.push_back(subjectField(note.subject));
    message.replyTo = note.staleReplyTo;
    message.reply1st = note.staleReply;
    layout.messages.push_back(message);
  }
  layout.messages[3].replyNext = 502;
  layout.messages.insert(layout.messages.begin() + 5, JamMessageSpec{.hardDeleted = true});
  layout.messages.insert(layout.messages.begin() + 8,
                         JamMessageSpec{.subfields = {replyField(identifier(1))},
                                        .replyTo = 501,
                                        .replyNext = 503,
                                        .deleted = true});
  return layout;
}

PlannedBase jamBase(const fs::path& dir, const std::string& name, const JamBaseSpec& layout) {
  const fs::path base = dir / name;
  const std::uint32_t first = layout.baseMsgNum;
  const std::size_t records = layout.messages.size();
  return {dir, name + ".jhr", name, {jhr(base), jdx(base)}, [base, first, records] {
            std::vector<MessageFields> all;
            for (std::size_t p = 0; p < records; ++p) {
              if (jamHeaderOffset(base, p) == 0xFFFFFFFF) continue;
              const JamLinks links = readJamLinks(base, p);
              all.push_back({std::to_string(p) + " number=" + std::to_string(first + p),
                             {{"replyto", std::to_string(links.replyTo)},
                              {"reply1st", std::to_string(links.reply1st)},
                              {"replynext", std::to_string(links.replyNext)}}});
            }
            return all;
          }};
}

TEST(DumpPlan, JamPlanIsWhatKnotterWrites) {
  TempDir dir;
  const JamBaseSpec layout = jamScenario();
  writeJamBase(layout, dir.file("T"));
  expectPlansOfEveryType(jamBase(dir.path(), "T", layout));
}

// The scenario as a *.MSG directory, files 2.. with gaps, beside a highwater
// file and a name that takes no part.
std::vector<std::uint32_t> writeMsgScenario(const fs::path& dir) {
  fs::create_directory(dir);
  writeMsgFile(dir, "1.msg", {.from = "-=|smapi internal|=-", .replyTo = 57});
  writeMsgFile(dir, "0009.msg", {.text = msgText({msgIdKludge(1)})});
  std::vector<std::uint32_t> numbers;
  const std::vector<Note> notes = scenario();
  for (std::uint32_t k = 0; k < notes.size(); ++k) {
    const Note& note = notes[k];
    std::vector<std::string> kludges;
    if (note.msgId != 0) kludges.push_back("MSGID: " + identifier(note.msgId));
    if (note.reply != 0) kludges.push_back("REPLY: " + identifier(note.reply));
    const std::uint32_t number = 2 + 3 * k;
    writeMsgFile(dir, std::to_string(number) + ".msg",
                 {.subject = note.subject,
                  .text = msgText(kludges),
                  .replyTo = static_cast<std::uint16_t>(note.staleReplyTo),
                  .up = static_cast<std::uint16_t>(note.staleReply)});
    numbers.push_back(number);
  }
  return numbers;
}

TEST(DumpPlan, MsgPlanIsWhatKnotterWrites) {
  TempDir dir;
  const fs::path area = dir.file("mail");
  const std::vector<std::uint32_t> numbers = writeMsgScenario(area);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(area)) files.push_back(entry.path());
  const PlannedBase base{dir.path(), "mail/", "mail", files, [area, numbers] {
                           std::vector<MessageFields> all;
                           for (const std::uint32_t n : numbers) {
                             const MsgLinks links =
                                 readMsgLinks(area / (std::to_string(n) + ".msg"));
                             all.push_back({std::to_string(n),
                                            {{"replyto", std::to_string(links.replyTo)},
                                             {"up", std::to_string(links.up)}}});
                           }
                           return all;
                         }};
  expectPlansOfEveryType(base);
}

}  // namespace
}  // namespace ktest
