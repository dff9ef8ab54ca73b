// Paths that do not fit are refused, never cut: a cut path names some other
// file, which would then be linked, read or deleted in its place. Long paths
// are made of "./" steps, so that they name real files without deep trees.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/base_builder.h"

namespace ktest {
namespace {

// "d/" and "./" steps up to `length` characters, ending in `name`.
std::string longPath(std::size_t length, const std::string& name) {
  std::string path = "d/";
  while (path.size() + 2 <= length - name.size()) path += "./";
  if (path.size() + name.size() < length) path += "/";
  return path + name;
}

const std::string fits = longPath(4090, "fido");       // the longest base path
const std::string tooLong = longPath(4093, "fidoXYZ");  // cut at 4090 it is `fits`

TEST(LongPaths, ABasePathThatDoesNotFitIsRefusedNotCut) {
  ASSERT_EQ(fits.size(), 4090u);
  ASSERT_EQ(tooLong.substr(0, 4090), fits);
  TempDir dir;
  std::filesystem::create_directory(dir.file("d"));
  writeBase(threeMessageThread(), dir.file("d/fido"));
  const std::string before = readFile(dir.file("d/fido.sqd"));
  const std::string refused = "! Cannot open file " + fits + ".sqd (36)";

  writeFile(dir.file("k.cfg"), "EchoArea LONG " + tooLong + "\nEchoArea ONE " + fits + "/\n");
  RunResult result = runKnotter({"k.cfg"}, dir.path());
  EXPECT_EQ(result.out, banner + "Linking areas\nLinking LONG\r" + refused + "\nLinking ONE\r" +
                            refused + "\n");
  EXPECT_TRUE(readFile(dir.file("d/fido.sqd")) == before);

  // A command is not given the path either; plain -! reports the area.
  result = runKnotter({"k.cfg", "-aLONG", "-!", "touch", "ran"}, dir.path());
  EXPECT_EQ(result.out, banner + "Running script\n" + refused + "\n");
  result = runKnotter({"k.cfg", "-aLONG", "-!+", "touch", "ran"}, dir.path());
  EXPECT_EQ(result.out, banner + "Linking areas\nLinking LONG\r" + refused + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("ran")));

  result = runKnotter({"-#" + tooLong}, dir.path());
  EXPECT_EQ(result.out, banner + "Linking areas\nLinking fidoXYZ\r" + refused + "\n");
  EXPECT_TRUE(readFile(dir.file("d/fido.sqd")) == before);

  // The longest path that fits is linked.
  writeFile(dir.file("k.cfg"), "EchoArea FIT " + fits + "\n");
  result = runKnotter({"k.cfg"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, banner + "Linking areas\nLinking FIT: 3 of 3\n");
}

// A token names a file in at most 511 characters: a longer Include or
// ImportLog name is refused, although its first 511 characters name a file.
TEST(LongPaths, IncludeAndImportLogNamesThatDoNotFitAreNotOpened) {
  const std::string include = longPath(511, "inc.cfg");
  const std::string importLog = longPath(511, "imp.lst");
  const CaseFile included{"d/inc.cfg", "EchoArea INC /m/inc\n"};
  const CaseFile listed{"d/imp.lst", "FIDO\n"};
  const std::string fido = "EchoArea FIDO /m/fido -b squish\n";
  const AreaCase cases[] = {
      {"Include that fits", {{"k.cfg", "Include " + include + "\n"}, included}, {},
       {"INC /m/inc.sqd"}},
      {"Include too long", {{"k.cfg", "Include " + include + "X\n"}, included}, {}, {}},
      {"ImportLog that fits", {{"k.cfg", "ImportLog " + importLog + "\n" + fido}, listed},
       {"-hpt", "-f"}, {"FIDO /m/fido.sqd"}},
      {"ImportLog too long", {{"k.cfg", "ImportLog " + importLog + "X\n" + fido}, listed},
       {"-hpt", "-k"}, {}, {"! Cannot find area: " + importLog}},
  };
  for (const AreaCase& c : cases) expectAreas(c);
}

}  // namespace
}  // namespace ktest
