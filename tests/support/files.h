// Whole-file reads and writes for tests, and copies of the fixture bases
// (tests/fixtures) into a test's own directory.
#pragma once

#include <filesystem>
#include <string>

namespace ktest {

// Returns the whole content of `path`; throws if it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Replaces the content of `path` with `bytes`; throws on failure.
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Copies NAME.sqd and NAME.sqi from the fixture bases into `dir` (made
// writable) and returns the base path dir/NAME.
std::filesystem::path copyFixture(const std::string& name,
                                  const std::filesystem::path& dir);

// The fixture directory given to the build.
std::filesystem::path fixturesDir();

}  // namespace ktest
