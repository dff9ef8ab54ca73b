// Damaged bases, many at once: one run per link type over a configuration
// that lists every damaged variant of one small base as an area of its own,
// with an intact copy last. Each area must give the report named for its
// damage and leave both files byte for byte as they were, or, where the
// damage lies in bytes that linking never reads, be linked exactly like the
// intact base; and the run must go on to the next area every time.
//
// The data file is cut at every length, the index at every length short of
// its last entry, and a table of single-field damages covers the checks of
// the index, the frames and the base header. Single-area failures of the
// default link type are tested in tests/driver/area_failures_test.cc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

// Three messages in one thread, with subjects that also make one chain when
// linked by subject, and texts after the control information.
BaseSpec intactSpec() {
  return {.messages = {{.umsgid = 1,
                        .subject = "Hello",
                        .control = "\x01MSGID: 2:5020/1 00000001",
                        .body = "first\r"},
                       {.umsgid = 2,
                        .subject = "Re: Hello",
                        .control = "\x01MSGID: 2:5020/2 00000002\x01REPLY: 2:5020/1 00000001",
                        .body = "second\r"},
                       {.umsgid = 3,
                        .subject = "Re: Hello",
                        .control = "\x01MSGID: 2:5020/3 00000003\x01REPLY: 2:5020/1 00000001",
                        .body = "third\r"}}};
}

// The two files of a base; a missing index file is nullopt.
struct Files {
  std::string sqd;
  std::optional<std::string> sqi;
};

struct LinkType {
  const char* option;
  bool readsControl;  // Subj reads no control information
};

constexpr LinkType linkTypes[] = {{"-tt", true}, {"-tf", true}, {"-tr", true}, {"-ts", false}};

std::string hex(const char* format, std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The reports, written out as the user reads them.
std::string dataReadError(const std::string& tag) { return "! Error reading file " + tag + ".sqd"; }
std::string areaReadError(const std::string& tag) {
  return "! Error reading " + tag + ". Area is possibly damaged";
}
std::string indexReadError(const std::string& tag) {
  return "! Error reading index file " + tag + ".sqi";
}
std::string indexDamaged(const std::string& tag, std::uint32_t ofs, unsigned position) {
  return "! Index file of " + tag + " is damaged\n! Offset " + hex("0x%X", ofs) + " of message No " +
         std::to_string(position) + " is beyond the end of message base";
}
std::string badFrame(const std::string& tag, std::uint32_t umsgid, std::uint32_t ofs) {
  return "! Message base of " + tag + " is damaged\n! Bad frame for message with umsgid=" +
         std::to_string(umsgid) + " at offset " + hex("0x%08X", ofs);
}

// One area of the run: its files before, what the console shows after
// "Linking <tag>", and its files after.
struct AreaCase {
  std::string name;
  std::string tag;
  Files before;
  std::string console;
  Files after;
};

using Damage = std::function<void(Files&)>;

// Builds the list of areas for one link type from the intact base and the
// result of linking it alone.
struct CaseList {
  const Files& intact;
  const Files& linked;      // the intact base after linking
  const std::string counts;  // its ": c of n"
  std::vector<AreaCase> cases;

  std::string nextTag() const {
    char tag[16];
    std::snprintf(tag, sizeof tag, "a%04zu", cases.size());
    return tag;
  }
  // The damaged area gives the report and keeps its files.
  void fails(const std::string& name, const Damage& damage,
             const std::function<std::string(const std::string&)>& report) {
    Files files = intact;
    damage(files);
    const std::string tag = nextTag();
    cases.push_back({name, tag, files, "\r" + report(tag), files});
  }
  // The damage lies outside what linking reads: the area is linked like the
  // intact base, and the damage is still there afterwards.
  void linksLikeIntact(const std::string& name, const Damage& damage) {
    Files before = intact;
    damage(before);
    Files after = linked;
    damage(after);
    cases.push_back({name, nextTag(), before, counts, after});
  }
  // Linked without touching anything, with counts of its own.
  void linksNothing(const std::string& name, const Damage& damage, const std::string& ownCounts) {
    Files files = intact;
    damage(files);
    cases.push_back({name, nextTag(), files, ownCounts, files});
  }
};

std::uint32_t frameOfs(const BuiltBase& base, std::size_t message) {
  return base.frameOffsets.at(message);
}

// Cuts the data file at every length. Cut inside the base header fields, a
// frame header, a message header or (for the link types that read it) the
// control information, the area fails; cut only in a message text, which is
// never read, it is linked.
void addDataCuts(CaseList& list, const BuiltBase& base, bool readsControl) {
  std::size_t needed = 0;
  for (std::size_t m = 0; m < base.frameOffsets.size(); ++m) {
    const std::size_t clen = readsControl ? getU32(base.sqd, frameOfs(base, m) + 20) : 0;
    needed = std::max(needed, frameOfs(base, m) + 28 + 238 + clen);
  }
  for (std::size_t cut = 0; cut < base.sqd.size(); ++cut) {
    const std::string name = "data file cut at " + std::to_string(cut);
    const Damage damage = [cut](Files& f) { f.sqd.resize(cut); };
    if (cut == 0) {
      list.fails(name, damage, dataReadError);
    } else if (cut < needed) {
      list.fails(name, damage, areaReadError);
    } else {
      list.linksLikeIntact(name, damage);
    }
  }
}

void addIndexCuts(CaseList& list, const BuiltBase& base) {
  for (std::size_t cut = 0; cut < base.sqi.size(); ++cut) {
    list.fails("index cut at " + std::to_string(cut), [cut](Files& f) { f.sqi->resize(cut); },
               indexReadError);
  }
}

void addFieldDamages(CaseList& list, const BuiltBase& base, bool readsControl) {
  const std::uint32_t size = static_cast<std::uint32_t>(base.sqd.size());
  const std::uint32_t first = frameOfs(base, 0);
  const std::uint32_t middle = frameOfs(base, 1);
  const std::uint32_t last = frameOfs(base, 2);
  const std::uint32_t lastControl = last + 28 + 238;

  list.fails("end_frame one below the last frame",
             [&](Files& f) { putU32(f.sqd, 120, last - 1); },
             [&](const std::string& tag) { return indexDamaged(tag, last, 2); });
  list.fails("end_frame 0", [&](Files& f) { putU32(f.sqd, 120, 0); },
             [&](const std::string& tag) { return indexDamaged(tag, first, 0); });
  list.fails("ofs past the end of the file, end_frame raised",
             [&](Files& f) {
               putU32(f.sqd, 120, 0xFFFFFFFF);
               putU32(*f.sqi, 12 * 1, size + 1000);
             },
             areaReadError);
  list.fails("ofs 0xFFFFFFFF with end_frame 0xFFFFFFFF",
             [&](Files& f) {
               putU32(f.sqd, 120, 0xFFFFFFFF);
               putU32(*f.sqi, 12 * 2, 0xFFFFFFFF);
             },
             areaReadError);
  list.fails("bad frame id", [&](Files& f) { putU32(f.sqd, middle, 0x12345678); },
             [&](const std::string& tag) { return badFrame(tag, 2, middle); });
  list.fails("first bad frame by ofs, last in the index",
             [&](Files& f) {
               // Index in reverse file order; the frames of messages 1 and 3
               // are bad, and message 1 comes first in the file.
               std::string reversed;
               for (int entry = 2; entry >= 0; --entry) reversed += f.sqi->substr(12 * entry, 12);
               *f.sqi = reversed;
               putU32(f.sqd, first, 0);
               putU32(f.sqd, last, 0);
             },
             [&](const std::string& tag) { return badFrame(tag, 1, first); });
  list.fails("high_msg one more than the index holds", [&](Files& f) { putU32(f.sqd, 8, 4); },
             indexReadError);
  list.linksNothing("high_msg 0, no index file",
                    [&](Files& f) {
                      putU32(f.sqd, 8, 0);
                      f.sqi.reset();
                    },
                    ": 0 of 0");
  list.linksNothing("high_msg -1, no index file",
                    [&](Files& f) {
                      putU32(f.sqd, 8, 0xFFFFFFFF);
                      f.sqi.reset();
                    },
                    ": 0 of 4294967295");
  list.linksNothing("high_msg most negative, no index file",
                    [&](Files& f) {
                      putU32(f.sqd, 8, 0x80000000);
                      f.sqi.reset();
                    },
                    ": 0 of 2147483648");
  // A frame header smaller than its own fields would put the message header
  // over them; the reply-chain fields written there would land on other
  // fields of the real message header.
  list.fails("sz_sqhdr 0", [&](Files& f) { putU16(f.sqd, 130, 0); }, areaReadError);
  list.fails("sz_sqhdr 23", [&](Files& f) { putU16(f.sqd, 130, 23); }, areaReadError);
  list.fails("sz_sqhdr 0xFFFF", [&](Files& f) { putU16(f.sqd, 130, 0xFFFF); }, areaReadError);

  // The control information of the last message ending exactly at the end of
  // the file is fine; one byte more, or a huge clen, reaches outside it.
  list.linksLikeIntact("clen up to the end of the file",
                       [&](Files& f) { putU32(f.sqd, last + 20, size - lastControl); });
  const Damage longer = [&](Files& f) { putU32(f.sqd, last + 20, size - lastControl + 1); };
  const Damage huge = [&](Files& f) { putU32(f.sqd, last + 20, 0xFFFFFFFF); };
  if (readsControl) {
    list.fails("clen one past the end of the file", longer, areaReadError);
    list.fails("clen 0xFFFFFFFF", huge, areaReadError);
  } else {
    list.linksLikeIntact("clen one past the end of the file", longer);
    list.linksLikeIntact("clen 0xFFFFFFFF", huge);
  }
}

void writeFiles(const fs::path& base, const Files& files) {
  writeFile(sqd(base), files.sqd);
  if (files.sqi) writeFile(sqi(base), *files.sqi);
}

std::optional<std::string> readIfThere(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return readFile(path);
}

// The console lines, compared one by one so that a failure names the line.
void expectSameLines(const std::string& got, const std::string& want) {
  const std::vector<std::string> gotLines = splitLines(got);
  const std::vector<std::string> wantLines = splitLines(want);
  EXPECT_EQ(gotLines.size(), wantLines.size());
  int shown = 0;
  for (std::size_t i = 0; i < std::min(gotLines.size(), wantLines.size()) && shown < 5; ++i) {
    if (gotLines[i] == wantLines[i]) continue;
    ADD_FAILURE() << "line " << i << ": got \"" << gotLines[i] << "\", want \"" << wantLines[i]
                  << "\"";
    ++shown;
  }
}

TEST(DamagedBases, EachReportsAndIsLeftAloneAndTheRunGoesOn) {
  const BuiltBase base = buildBase(intactSpec());
  const Files intact{base.sqd, base.sqi};
  for (const LinkType& linkType : linkTypes) {
    SCOPED_TRACE(linkType.option);

    // The intact base linked alone gives the counts and bytes to expect.
    TempDir reference;
    writeFiles(reference.file("good"), intact);
    const RunResult alone = runKnotter({linkType.option, "-#good"}, reference.path());
    ASSERT_EQ(alone.exitCode, 1);
    const std::string prefix = banner + "Linking areas\nLinking good";
    ASSERT_EQ(alone.out.rfind(prefix, 0), 0u) << alone.out;
    const std::string counts = alone.out.substr(prefix.size(), alone.out.size() - prefix.size() - 1);
    const Files linked{readFile(sqd(reference.file("good"))), base.sqi};

    CaseList list{intact, linked, counts, {}};
    addDataCuts(list, base, linkType.readsControl);
    addIndexCuts(list, base);
    addFieldDamages(list, base, linkType.readsControl);
    list.linksLikeIntact("intact base last", [](Files&) {});

    TempDir dir;
    std::string config = "LogLevel 9\n";
    std::string expected = banner + "Linking areas\n";
    for (const AreaCase& area : list.cases) {
      writeFiles(dir.file(area.tag), area.before);
      config += "EchoArea " + area.tag + " " + area.tag + "\n";
      expected += "Linking " + area.tag + area.console + "\n";
    }
    writeFile(dir.file("areas.cfg"), config);

    const RunResult run = runKnotter({linkType.option, "areas.cfg"}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    expectSameLines(run.out, expected);
    for (const AreaCase& area : list.cases) {
      SCOPED_TRACE(area.name + " (" + area.tag + ")");
      EXPECT_TRUE(readFile(sqd(dir.file(area.tag))) == area.after.sqd);
      EXPECT_TRUE(readIfThere(sqi(dir.file(area.tag))) == area.after.sqi);
    }
  }
}

}  // namespace
}  // namespace ktest
