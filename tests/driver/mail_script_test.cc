// End-to-end: the mail-processing script in examples/ runs a tosser (here a
// stub that writes the import list), links the listed areas from the spool
// folder, sets the rescan flag in a folder it creates, and turns the tool's
// exit status into its own.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

namespace fs = std::filesystem;

// A spool folder, a copy of the example configuration and bases, and a
// folder with a stub tosser that writes `importList` (if any) to import.lst.
struct MailSite {
  TempDir dir;
  fs::path spool = dir.file("spool");
  fs::path conf = dir.file("conf");
  fs::path bin = dir.file("bin");

  MailSite() {
    fs::create_directories(spool);
    fs::create_directories(bin);
    fs::copy(KNOTTER_EXAMPLES, conf, fs::copy_options::recursive);
  }

  void tosserWrites(const std::string& importList) {
    std::string script = "#!/bin/sh\n";
    if (!importList.empty()) script += "printf '" + importList + "' > import.lst\n";
    writeFile(bin / "toss", script);
    fs::permissions(bin / "toss", fs::perms::owner_all);
  }

  // The runs of the tool that its log shows.
  long loggedRuns() const {
    const auto lines = readLogLines(conf / "knotter.log");
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& line) { return line.starts_with("Begin"); });
  }

  // Runs the script with the stub tosser and the built tool first on PATH;
  // returns its exit status, standard error in `err`.
  int run(const fs::path& config, std::string& err) {
    const fs::path errFile = dir.file("script.err");
    const std::string command =
        "PATH='" + bin.string() + ":" + fs::path(KNOTTER_BINARY).parent_path().string() +
        ":/usr/bin:/bin' FIDO_SPOOL='" + spool.string() + "' KNOTTER_CONFIG='" +
        config.string() + "' sh '" + KNOTTER_EXAMPLES + "/link-after-toss.sh' </dev/null >'" +
        errFile.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    err = readFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST(MailScript, LinksWhatTheTosserListedAndFlagsChangedHeaders) {
  MailSite site;
  std::string err;
  const fs::path flag = site.spool / "flags" / "rescan.flg";

  site.tosserWrites("FIDO.GENERAL\\n");
  EXPECT_EQ(site.run(site.conf / "squish.cfg", err), 0) << err;
  EXPECT_TRUE(fs::exists(flag));
  EXPECT_FALSE(fs::exists(site.spool / "import.lst"));
  const auto logged = readLogLines(site.conf / "knotter.log");
  EXPECT_NE(std::find(logged.begin(), logged.end(), "Linking FIDO.GENERAL: 49 of 60"),
            logged.end());

  // Linked already: nothing changes, so no flag; no new mail: no run at all.
  fs::remove(flag);
  EXPECT_EQ(site.run(site.conf / "squish.cfg", err), 0) << err;
  site.tosserWrites("");
  EXPECT_EQ(site.run(site.conf / "squish.cfg", err), 0) << err;
  EXPECT_FALSE(fs::exists(flag));
  EXPECT_EQ(site.loggedRuns(), 2);
}

TEST(MailScript, PassesOnAnUnreadableConfiguration) {
  MailSite site;
  std::string err;
  site.tosserWrites("FIDO.GENERAL\\n");
  const fs::path missing = site.conf / "missing.cfg";
  EXPECT_EQ(site.run(missing, err), 3);
  EXPECT_EQ(err, "knotter: cannot read " + missing.string() + "\n");
  EXPECT_FALSE(fs::exists(site.spool / "flags"));
}

// README shows the script indented as a code block; it must be the script
// itself, so that what a sysop copies from there works as tested here.
TEST(MailScript, ReadmeShowsTheScriptAsItIs) {
  const std::string readme = readFile(fs::path(KNOTTER_EXAMPLES) / ".." / "README.md");
  const std::size_t start = readme.find("\n    #!/bin/sh\n");
  ASSERT_NE(start, std::string::npos);
  std::string shown;
  std::size_t line = start + 1;
  while (line < readme.size()) {
    const std::size_t end = readme.find('\n', line);
    const std::string text = readme.substr(line, end - line);
    if (text.rfind("    ", 0) == 0) {
      shown += text.substr(4) + "\n";
    } else if (!text.empty()) {
      break;
    } else {
      shown += "\n";
    }
    line = end + 1;
  }
  while (shown.size() > 1 && shown.ends_with("\n\n")) shown.pop_back();
  EXPECT_EQ(shown, readFile(fs::path(KNOTTER_EXAMPLES) / "link-after-toss.sh"));
}

}  // namespace
}  // namespace ktest
