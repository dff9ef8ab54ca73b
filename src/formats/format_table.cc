#include "formats/format_table.h"

#include "config/text.h"
#include "jam/jam_area.h"
#include "msg/msg_area.h"
#include "squish/squish_area.h"

namespace knotter {
namespace {

// A path that ends in suffix (in any case) and has something before it.
bool cutSuffix(std::string_view argument, std::string_view suffix, std::string_view& path) {
  if (argument.size() <= suffix.size()) return false;
  if (!equalsNoCase(argument.substr(argument.size() - suffix.size()), suffix)) return false;
  path = argument.substr(0, argument.size() - suffix.size());
  return true;
}

bool namesJam(std::string_view argument, std::string_view& path) {
  return cutSuffix(argument, jamDataSuffix, path);
}

// A path that ends in a slash names a *.MSG directory: the path without its
// trailing slashes.
bool namesMsg(std::string_view argument, std::string_view& path) {
  if (argument.empty() || argument.back() != '/') return false;
  path = msgDirectoryOf(argument);
  return true;
}

// Any path names a Squish base: with its data file's suffix or without.
bool namesSquish(std::string_view argument, std::string_view& path) {
  if (!cutSuffix(argument, squishDataSuffix, path)) path = argument;
  return true;
}

std::string_view asGiven(std::string_view areaPath) { return areaPath; }

// Hands the core's stores to the listener instead of the format's sink,
// which only says what each message holds.
class PlanSink final : public LinkSink {
 public:
  PlanSink(LinkSink& format, PlanListener& listener) : format_(format), listener_(listener) {}
  LinkShape shape() const override { return format_.shape(); }
  LinkFields current(const MessageRef& message, std::span<const std::uint8_t> room) override {
    return format_.current(message, room);
  }
  bool store(const MessageRef& message, std::span<const std::uint8_t>, const LinkFields& current,
             const LinkFields& fresh) override {
    listener_.changed(message, current, fresh);
    return true;
  }
  void prefetch(std::uint32_t locator) override { format_.prefetch(locator); }
  bool finish(std::uint32_t) override { return true; }

 private:
  LinkSink& format_;
  PlanListener& listener_;
};

template <typename Area>
LinkOutcome linkAreaOf(const AreaJob& job) {
  Area area;
  if (!openArea(job.basePath, job.request.areaTag, OpenFor::linking, area)) return {};
  const LinkOutcome outcome = linkArea(job.request, *area.source, *area.sink);
  closeArea(area, outcome.linked && outcome.counts.changed > 0);
  return outcome;
}

template <typename Area>
LinkOutcome planAreaOf(const AreaJob& job, PlanListener& listener) {
  Area area;
  if (!openArea(job.basePath, job.request.areaTag, OpenFor::inspecting, area)) return {};
  PlanSink sink(*area.sink, listener);
  const LinkOutcome outcome = linkArea(job.request, *area.source, sink);
  closeArea(area, false);
  return outcome;
}

// In the order a -# path is matched against them; Squish takes any path.
constexpr FormatRow formatRows[] = {
    {BaseFormat::jam, "jam", jamDataSuffix, namesJam, asGiven, linkAreaOf<JamArea>,
     planAreaOf<JamArea>},
    {BaseFormat::msg, "msg", msgDataSuffix, namesMsg, msgDirectoryOf, linkAreaOf<MsgArea>,
     planAreaOf<MsgArea>},
    {BaseFormat::squish, "squish", squishDataSuffix, namesSquish, asGiven, linkAreaOf<SquishArea>,
     planAreaOf<SquishArea>},
};

}  // namespace

const FormatRow& formatRow(BaseFormat format) {
  for (const FormatRow& row : formatRows) {
    if (row.format == format) return row;
  }
  return formatRows[std::size(formatRows) - 1];
}

std::string dataFilePath(BaseFormat format, std::string_view areaPath) {
  const FormatRow& row = formatRow(format);
  return std::string(row.basePathOf(areaPath)) + row.dataSuffix;
}

BasePath splitBasePath(std::string_view argument) {
  BasePath base;
  for (const FormatRow& row : formatRows) {
    if (!row.names(argument, base.path)) continue;
    base.format = row.format;
    break;
  }
  const std::size_t slash = base.path.rfind('/');
  base.tag = slash == std::string_view::npos ? base.path : base.path.substr(slash + 1);
  return base;
}

}  // namespace knotter
