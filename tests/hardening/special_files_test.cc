// Files that are not plain files where a base's file should be: a FIFO
// (without a writer, or with one that never writes), a device, a socket, a
// directory. Each is refused at once as "! Cannot open file %s (6)" (ENXIO),
// the area is skipped and the run goes on; the inspector reports it and
// exits 1. Neither tool may wait on one, so every run has a time limit.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "hardening/child_process.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

// Long enough for a slow build under the sanitizer; a wait on a FIFO would
// last for ever.
constexpr std::chrono::seconds runLimit(30);

enum class Kind { fifo, fifoWithWriter, device, socket, directory };

struct KindCase {
  const char* name;
  Kind kind;
};
constexpr KindCase kinds[] = {
    {"FIFO without a writer", Kind::fifo},
    {"FIFO with a writer that never writes", Kind::fifoWithWriter},
    {"character device (a link to /dev/zero)", Kind::device},
    {"socket", Kind::socket},
    {"directory", Kind::directory},
};

// What stands at the path instead of a file; a FIFO's writer stays open
// while the holder lives.
struct SpecialFile {
  int fd = -1;
  SpecialFile(Kind kind, const fs::path& path) {
    fs::remove(path);
    switch (kind) {
      case Kind::fifo:
      case Kind::fifoWithWriter:
        if (mkfifo(path.c_str(), 0644) != 0) ADD_FAILURE() << "mkfifo " << path;
        // Read-write does not wait for a reader: this process is the writer.
        if (kind == Kind::fifoWithWriter) fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        break;
      case Kind::device: fs::create_symlink("/dev/zero", path); break;
      case Kind::socket: bindSocket(path); break;
      case Kind::directory: fs::create_directory(path); break;
    }
  }
  ~SpecialFile() {
    if (fd >= 0) close(fd);
  }
  SpecialFile(const SpecialFile&) = delete;
  SpecialFile& operator=(const SpecialFile&) = delete;

  static void bindSocket(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0 || bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ADD_FAILURE() << "cannot bind a socket at " << path;
    }
    if (s >= 0) close(s);
  }
};

struct BaseFile {
  const char* suffix;
  bool jam;
};
constexpr BaseFile baseFiles[] = {
    {".sqd", false}, {".sqi", false}, {".jhr", true}, {".jdx", true}};

// Area BAD (of the format of the file) first, then the Squish area GOOD.
void writeAreas(const TempDir& dir, const BaseFile& file) {
  if (file.jam) {
    writeJamBase({.messages = {{.subfields = {msgIdField("2:5020/1 00000001")}}}},
                 dir.file("bad"));
  } else {
    writeBase(threeMessageThread(), dir.file("bad"));
  }
  writeBase(threeMessageThread(), dir.file("good"));
  writeFile(dir.file("areas.cfg"), std::string("EchoArea BAD bad -b ") +
                                       (file.jam ? "jam" : "squish") +
                                       "\nEchoArea GOOD good -b squish\n");
}

FinishedRun runWithLimit(const std::vector<std::string>& args, const TempDir& dir,
                         const char* program) {
  BackgroundRun run = startKnotter(args, dir.path(), "run", {.program = program});
  return finishKnotter(run, runLimit);
}

TEST(SpecialFiles, AreaIsSkippedAndTheRunGoesOn) {
  for (const BaseFile& file : baseFiles) {
    for (const KindCase& kind : kinds) {
      SCOPED_TRACE(std::string(file.suffix) + ": " + kind.name);
      TempDir dir;
      writeAreas(dir, file);
      const SpecialFile special(kind.kind, dir.file(std::string("bad") + file.suffix));

      const FinishedRun done =
          runWithLimit({"-hpt", "-jam", "areas.cfg", "-lrun.log"}, dir, KNOTTER_BINARY);
      const std::string report = std::string("! Cannot open file bad") + file.suffix + " (6)";
      EXPECT_EQ(done.result.exitCode, 1);
      EXPECT_EQ(done.result.out, banner + "Linking areas\nLinking BAD\r" + report +
                                     "\nLinking GOOD: 3 of 3\n");
      EXPECT_EQ(readLogLines(dir.file("run.log")),
                (std::vector<std::string>{"Begin, Knotwork v2.4", "Linking areas", report,
                                          "Linking GOOD: 3 of 3", "End, Knotwork v2.4", ""}));
    }
  }
}

TEST(SpecialFiles, InspectorReportsAndExitsOne) {
  for (const BaseFile& file : baseFiles) {
    for (const KindCase& kind : kinds) {
      SCOPED_TRACE(std::string(file.suffix) + ": " + kind.name);
      TempDir dir;
      writeAreas(dir, file);
      const SpecialFile special(kind.kind, dir.file(std::string("bad") + file.suffix));

      for (const char* mode : {"--check", "--threads"}) {
        SCOPED_TRACE(mode);
        const FinishedRun done =
            runWithLimit({mode, file.jam ? "bad.jhr" : "bad"}, dir, KNOTTER_DUMP_BINARY);
        EXPECT_EQ(done.result.exitCode, 1);
        EXPECT_EQ(done.result.out,
                  std::string("! Cannot open file bad") + file.suffix + " (6)\n");
      }
    }
  }
}

void newSession() {
  if (setsid() < 0) _exit(126);
}

// A run started as the leader of a session without a terminal (a service
// manager starts its services so) would take a terminal it opens for its
// controlling one, and a hangup there would end the run. A base file that is
// a terminal must leave the run without one: the flag command after the next
// area reads the tool's terminal number from the kernel.
TEST(SpecialFiles, TerminalNamedAsBaseDoesNotBecomeTheRunsTerminal) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const char* terminal = ptsname(master);
  ASSERT_NE(terminal, nullptr);

  TempDir dir;
  writeAreas(dir, baseFiles[0]);
  fs::remove(dir.file("bad.sqd"));
  fs::create_symlink(terminal, dir.file("bad.sqd"));
  writeFile(dir.file("go.flg"), "");
  writeFile(dir.file("flags"), "go.flg awk '{ print $7 }' /proc/$PPID/stat > tty.txt\n");

  BackgroundRun run = startKnotter({"-hpt", "-jam", "areas.cfg", "-@flags"}, dir.path(), "run",
                                   {.inChild = newSession});
  const FinishedRun done = finishKnotter(run, runLimit);
  close(master);
  EXPECT_EQ(done.result.exitCode, 1);
  EXPECT_EQ(done.result.out, banner +
                                 "Linking areas\nLinking BAD\r! Cannot open file bad.sqd (6)\n"
                                 "Linking GOOD: 3 of 3\n");
  EXPECT_EQ(readFile(dir.file("tty.txt")), "0\n");
}

}  // namespace
}  // namespace ktest
