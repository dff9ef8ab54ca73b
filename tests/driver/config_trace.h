// Helpers for the end-to-end tests of configuration mode: write a case's
// files into a test directory and run the tool with a -! command that records
// each area it takes ("TAG path"), in order, so that a test sees exactly
// which areas a configuration, a list and the options select.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {

// A file of a case: its name relative to the test directory, and its text,
// in which "{dir}" stands for the test directory.
using CaseFile = std::pair<std::string, std::string>;

inline std::string withDir(std::string text, const std::filesystem::path& dir) {
  const std::string placeholder = "{dir}";
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at)) {
    text.replace(at, placeholder.size(), dir.string());
  }
  return text;
}

inline void writeCaseFiles(const TempDir& dir, const std::vector<CaseFile>& files) {
  for (const CaseFile& file : files) {
    const std::filesystem::path path = dir.file(file.first);
    std::filesystem::create_directories(path.parent_path());
    writeFile(path, withDir(file.second, dir.path()));
  }
}

// The console lines that report failures ("! ...").
inline std::vector<std::string> reportLines(const std::string& console) {
  std::vector<std::string> reports;
  for (const std::string& line : splitLines(console)) {
    if (line.rfind("! ", 0) == 0) reports.push_back(line);
  }
  return reports;
}

struct TraceRun {
  RunResult result;
  std::vector<std::string> areas;  // "TAG data-file-path", in processing order
};

// Runs the tool in dir with args followed by a -! command that appends the
// tag and data file path of each area to trace.txt.
inline TraceRun traceAreas(const TempDir& dir, std::vector<std::string> args) {
  const std::filesystem::path trace = dir.file("trace.txt");
  std::filesystem::remove(trace);
  args.push_back("-!");
  args.push_back("printf '%s\\n' '%a %p' >>trace.txt");
  TraceRun run;
  run.result = runKnotter(args, dir.path());
  if (std::filesystem::exists(trace)) run.areas = splitLines(readFile(trace));
  return run;
}

// One configuration-mode case: files (the first is the configuration, given
// as the first argument), further options, the areas taken and the "! "
// lines of the console.
struct AreaCase {
  const char* name;
  std::vector<CaseFile> files;
  std::vector<std::string> args;
  std::vector<std::string> areas;
  std::vector<std::string> reports = {};
};

inline void expectAreas(const AreaCase& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  writeCaseFiles(dir, c.files);
  std::vector<std::string> args{c.files.front().first};
  for (const std::string& arg : c.args) args.push_back(withDir(arg, dir.path()));
  const TraceRun run = traceAreas(dir, args);
  EXPECT_EQ(run.result.exitCode, 0);
  std::vector<std::string> expected;
  for (const std::string& area : c.areas) expected.push_back(withDir(area, dir.path()));
  EXPECT_EQ(run.areas, expected);
  EXPECT_EQ(reportLines(run.result.out), c.reports);
}

}  // namespace ktest
