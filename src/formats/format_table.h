// The base formats the tool links, one row each: its name, the suffix of the
// file that %p and the reports name, how a path given with -# names a base
// of it, and how an area of it is linked or planned through the linker core.
// A new format is a folder beside the others and one row here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "linker/link_area.h"

namespace knotter {

// One area to link: its resolved base path (without the data file's suffix)
// and what the core is asked.
struct AreaJob {
  const char* basePath = "";
  LinkRequest request;
};

// Takes the links an area would get instead of storing them: the plan of a
// dry run. It is told each message whose fields would change.
class PlanListener {
 public:
  virtual void changed(const MessageRef& message, const LinkFields& current,
                       const LinkFields& fresh) = 0;

 protected:
  ~PlanListener() = default;
};

struct FormatRow {
  BaseFormat format;
  const char* name;        // as the inspector shows it
  const char* dataSuffix;  // appended to the base path: the file %p names
  // True when a -# argument names a base of this format; path is then the
  // base path, without what marked the format.
  bool (*names)(std::string_view argument, std::string_view& path);
  // The base path of a resolved area path (*.MSG: without trailing slashes).
  std::string_view (*basePathOf)(std::string_view areaPath);
  // Opens the base for linking, links it through the core and releases it.
  LinkOutcome (*link)(const AreaJob& job);
  // Opens the base for inspecting and computes the links as link would,
  // telling listener instead of storing them; nothing is written.
  LinkOutcome (*plan)(const AreaJob& job, PlanListener& listener);
};

// The row of a format the tool links. REQUIRES: format is not none.
const FormatRow& formatRow(BaseFormat format);

// The path of the file of an area that %p names: the base path of the
// resolved areaPath with the data file's suffix.
std::string dataFilePath(BaseFormat format, std::string_view areaPath);

// A base given by path (-#, or the inspector's argument): the row that the
// path names (Squish when no other does), the base path, and the base name
// as tag.
struct BasePath {
  std::string_view path;
  std::string_view tag;
  BaseFormat format = BaseFormat::squish;
};
BasePath splitBasePath(std::string_view argument);

}  // namespace knotter
