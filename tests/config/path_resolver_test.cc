// Path resolution: the configuration directory before relative paths, then
// the MapPath (whole directory) and SoftMapPath (prefix) translations, each
// on the result of the ones before it; and the cut at the buffer's limit.
#include "config/path_resolver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/text.h"

namespace knotter {
namespace {

struct ResolveCase {
  const char* name;
  const char* baseDir;
  std::vector<PathMapping> mappings;
  std::string path;
  std::string expected;
};

// The resolved path, or "!" and the part that fits when it does not fit.
std::string resolve(const ResolveCase& c) {
  copyCut(baseDir, c.baseDir, pathBufferSize - 1);
  pathMapList = c.mappings;
  char out[pathBufferSize];
  const bool fits = resolvePath(c.path.c_str(), out);
  return fits ? std::string(out) : "!" + std::string(out);
}

const PathMapping msgsMap{"D:\\MSGS\\", "/var/spool/msgs/", false};
const PathMapping driveSoftMap{"D:\\", "/dos/d/", true};

TEST(ResolvePath, BaseDirAndMappings) {
  const ResolveCase cases[] = {
      {"relative path after baseDir", "/etc/fido/", {}, "run.log", "/etc/fido/run.log"},
      {"empty path is relative", "/etc/fido/", {}, "", "/etc/fido/"},
      {"no baseDir", "", {}, "run.log", "run.log"},
      {"slash makes absolute", "/etc/fido/", {}, "/var/log/k.log", "/var/log/k.log"},
      {"backslash makes absolute", "/etc/fido/", {}, "\\MSGS\\FIDO", "\\MSGS\\FIDO"},
      {"a colon anywhere makes absolute", "/etc/fido/", {}, "msgs/a:b", "msgs/a:b"},
      {"without mappings slashes stay", "/etc/", {}, "sub\\dir/x", "/etc/sub\\dir/x"},
      {"MapPath replaces the directory", "", {msgsMap}, "D:\\MSGS\\FIDO", "/var/spool/msgs/FIDO"},
      {"MapPath ignores letter case", "", {msgsMap}, "d:\\msgs\\Fido", "/var/spool/msgs/Fido"},
      {"MapPath leaves a deeper directory", "", {msgsMap}, "D:\\MSGS\\OLD\\FIDO",
       "D:\\MSGS\\OLD\\FIDO"},
      {"MapPath with a shorter directory", "", {msgsMap}, "D:\\FIDO", "D:\\FIDO"},
      {"SoftMapPath replaces a prefix", "", {driveSoftMap}, "D:\\MSGS\\OLD\\FIDO",
       "/dos/d/MSGS/OLD/FIDO"},
      {"SoftMapPath ignores letter case", "", {driveSoftMap}, "d:\\x", "/dos/d/x"},
      {"SoftMapPath without a match", "", {driveSoftMap}, "E:\\x", "E:\\x"},
      {"MapPath of a slash path matches only the whole path", "",
       {{"/m/fido", "/srv/fido", false}}, "/m/fido", "/srv/fido"},
      {"MapPath of a slash path, longer path", "", {{"/m/fido", "/srv/fido", false}},
       "/m/fido/x", "/m/fido/x"},
      {"the replacement is copied unchanged", "", {{"D:\\", "C:\\new\\", true}}, "D:\\a\\b",
       "C:\\new\\a/b"},
      {"mappings apply one after another", "",
       {{"D:\\", "E:\\", true}, {"E:\\", "/e/", true}}, "D:\\MSGS\\X", "/e/MSGS/X"},
      {"a mapping sees baseDir before a relative path", "/etc/fido/",
       {{"/etc/fido/", "/srv/", true}}, "a\\b", "/srv/a/b"},
  };
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(resolve(c), c.expected);
  }
}

TEST(ResolvePath, APathThatDoesNotFitIsReportedAsFarAsItFits) {
  const std::string longDir = "/" + std::string(4000, 'd') + "/";
  const std::string longTo = "/" + std::string(4093, 't');
  const std::string fullDir(maxPathLength, 'x');
  const ResolveCase cases[] = {
      {"baseDir and path too long", longDir.c_str(), {}, std::string(500, 'p'),
       "!" + (longDir + std::string(500, 'p')).substr(0, maxPathLength)},
      {"replacement and remainder too long", "", {{"D:\\", longTo, true}}, "D:\\abc\\def",
       "!" + longTo.substr(0, maxPathLength)},
      {"remainder filled up to the limit", "", {{"D:\\", std::string(4087, 't'), true}},
       "D:\\abc\\def", std::string(4087, 't') + "abc/def"},
      {"one character more", "", {{"D:\\", std::string(4088, 't'), true}}, "D:\\abc\\def",
       "!" + std::string(4088, 't') + "abc/de"},
      {"cut before a mapping shortens it", fullDir.c_str(), {{fullDir, "/s/", true}}, "abc",
       "!/s/"},
  };
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(resolve(c), c.expected);
  }
}

TEST(ResolvePath, AbsoluteByTheSameRuleAsLogFileDir) {
  EXPECT_FALSE(isAbsolutePath(""));
  EXPECT_FALSE(isAbsolutePath("knot.log"));
  EXPECT_TRUE(isAbsolutePath("/tmp/knot.log"));
  EXPECT_TRUE(isAbsolutePath("\\log"));
  EXPECT_TRUE(isAbsolutePath("c:knot.log"));
}

}  // namespace
}  // namespace knotter
