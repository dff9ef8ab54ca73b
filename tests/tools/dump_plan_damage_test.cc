// knotter-dump --plan on bases the linker gives up, on its command line, and
// beside other readers: a damaged base gets --check's report and status,
// and the plan needs no more than a shared lock.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

constexpr const char* linkTypeOptions[] = {"-tf", "-tr", "-ts", "-tt"};
constexpr std::size_t endFrameAt = 120;
constexpr std::size_t sqidxSize = 12;

// Three messages, the second and third replying to the first; the index
// lists them last to first.
BuiltBase writeThree(const fs::path& base) {
  BaseSpec layout;
  for (std::uint32_t umsgid = 1; umsgid <= 3; ++umsgid) {
    MessageSpec message{.umsgid = umsgid, .subject = "S"};
    message.control = "\x01MSGID: 2:5020/1 " + std::to_string(umsgid);
    if (umsgid > 1) message.control += "\x01REPLY: 2:5020/1 1";
    layout.messages.push_back(message);
  }
  layout.indexOrder = {2, 1, 0};
  return writeBase(layout, base);
}

JamBaseSpec jamThree() {
  return {.messages = {{.subfields = {msgIdField("2:5020/1 1"), subjectField("S")}},
                       {.subfields = {replyField("2:5020/1 1"), subjectField("S")}},
                       {.subfields = {replyField("2:5020/1 1"), subjectField("S")}}}};
}

struct DamageCase {
  const char* name;
  std::function<void(const fs::path& dir)> damage;  // of base dir/T
};

const DamageCase squishDamage[] = {
    {"an index entry beyond end_frame",
     [](const fs::path& dir) {
       setU32(sqd(dir / "T"), endFrameAt, readIndexEntry(dir / "T", 0).ofs - 1);
     }},
    {"a bad frame",
     [](const fs::path& dir) { setU32(sqd(dir / "T"), readIndexEntry(dir / "T", 1).ofs, 0); }},
    {"two entries for one frame",
     [](const fs::path& dir) {
       setU32(sqi(dir / "T"), 2 * sqidxSize, readIndexEntry(dir / "T", 1).ofs);
     }},
    {"a data file shorter than its header",
     [](const fs::path& dir) { truncateFile(sqd(dir / "T"), 131); }},
    {"an index shorter than high_msg",
     [](const fs::path& dir) { truncateFile(sqi(dir / "T"), 3 * sqidxSize - 1); }},
    {"no index", [](const fs::path& dir) { fs::remove(sqi(dir / "T")); }},
    {"no data file", [](const fs::path& dir) { fs::remove(sqd(dir / "T")); }},
};

const DamageCase jamDamage[] = {
    {"two records for one header",
     [](const fs::path& dir) { setU32(jdx(dir / "T"), 2 * 8 + 4, jamHeaderOffset(dir / "T", 1)); }},
    {"a bad header",
     [](const fs::path& dir) { setJamHeaderU32(dir / "T", 2, jamAt::signature, 0); }},
    {"no index", [](const fs::path& dir) { fs::remove(jdx(dir / "T")); }},
};

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> bytes;
  for (const char* name : {"T.sqd", "T.sqi", "T.jhr", "T.jdx"}) {
    bytes.push_back(fs::exists(dir / name) ? readFile(dir / name) : "");
  }
  return bytes;
}

// For every link type the plan reports as --check does, exits as it does,
// and writes nothing.
void expectPlansReportAsCheck(const fs::path& dir, const std::string& argument) {
  const DumpResult check = runDump({"--check", argument}, dir);
  EXPECT_EQ(check.exitCode, 1) << check.out;
  const std::vector<std::string> before = filesIn(dir);
  for (const char* type : linkTypeOptions) {
    SCOPED_TRACE(type);
    const DumpResult plan = runDump({"--plan", type, argument}, dir);
    EXPECT_EQ(plan.exitCode, check.exitCode);
    EXPECT_EQ(plan.out, check.out);
    EXPECT_EQ(plan.err, "");
  }
  EXPECT_EQ(filesIn(dir), before);
}

TEST(DumpPlanDamage, SquishBaseReportsAsCheck) {
  for (const DamageCase& c : squishDamage) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeThree(dir.file("T"));
    c.damage(dir.path());
    expectPlansReportAsCheck(dir.path(), "T");
  }
}

TEST(DumpPlanDamage, JamBaseReportsAsCheck) {
  for (const DamageCase& c : jamDamage) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeJamBase(jamThree(), dir.file("T"));
    c.damage(dir.path());
    expectPlansReportAsCheck(dir.path(), "T.jhr");
  }
}

// A reader's shared lock on the whole data file, or on the first byte of
// a JAM header file, as another inspector or a mail reader holds it.
struct SharedLock {
  int fd;
  SharedLock(const fs::path& file, off_t length) : fd(open(file.c_str(), O_RDONLY)) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = length;
    if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0) throw std::runtime_error("lock failed");
  }
  ~SharedLock() { close(fd); }
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;
};

// knotter would wait for these readers to write; the plan shares the base.
TEST(DumpPlanLocks, PlansBesideAnotherReader) {
  TempDir dir;
  writeThree(dir.file("T"));
  writeJamBase(jamThree(), dir.file("J"));
  const SharedLock squish(sqd(dir.file("T")), 0);
  const SharedLock jam(jhr(dir.file("J")), 1);
  const DumpResult plan = runDump({"--plan", "T"}, dir.path());
  EXPECT_EQ(plan.exitCode, 0);
  EXPECT_EQ(plan.out.substr(plan.out.rfind('\n', plan.out.size() - 2) + 1),
            "T: 3 of 3 would change\n");
  const DumpResult jamPlan = runDump({"--plan", "J.jhr"}, dir.path());
  EXPECT_EQ(jamPlan.exitCode, 0);
  EXPECT_EQ(jamPlan.out.substr(jamPlan.out.rfind('\n', jamPlan.out.size() - 2) + 1),
            "J: 3 of 3 would change\n");
}

TEST(DumpPlanUsage, LinkTypesAndModes) {
  TempDir dir;
  writeThree(dir.file("T"));
  const std::vector<std::vector<std::string>> badLines = {
      {"--plan", "--check", "T"}, {"--threads", "--plan", "T"}, {"-tr", "T"},
      {"--check", "-tf", "T"},    {"--plan", "-tx", "T"},       {"--plan", "-tff", "T"},
      {"--plan", "-t"},           {"--plan", "-t", "T"},
  };
  for (const std::vector<std::string>& args : badLines) {
    SCOPED_TRACE(testing::PrintToString(args));
    const DumpResult result = runDump(args, dir.path());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Usage: knotter-dump ", 0), 0u) << result.err;
  }
  // The letter in either case, glued or as the next argument; Reply when
  // none is given, as for knotter -#.
  const std::string reply = runDump({"--plan", "-tr", "T"}, dir.path()).out;
  const std::string timEd = runDump({"--plan", "-tt", "T"}, dir.path()).out;
  EXPECT_NE(reply, timEd);
  EXPECT_EQ(runDump({"--plan", "T"}, dir.path()).out, reply);
  EXPECT_EQ(runDump({"-tR", "--plan", "T"}, dir.path()).out, reply);
  EXPECT_EQ(runDump({"--plan", "-t", "T", "T"}, dir.path()).out, timEd);
}

}  // namespace
}  // namespace ktest
