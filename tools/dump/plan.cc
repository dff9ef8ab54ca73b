#include "plan.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "config/text.h"
#include "formats/format_table.h"
#include "listing.h"
#include "log/area_reports.h"

namespace knotter::dump {
namespace {

struct LinkLetter {
  char letter;
  LinkType type;
};

// The letters of knotter's -t.
constexpr LinkLetter linkLetters[] = {
    {'f', LinkType::flat}, {'r', LinkType::reply}, {'s', LinkType::subj}, {'t', LinkType::timEd}};

// One message whose link fields would change.
struct PlannedChange {
  std::uint32_t position = 0;  // its index position, once mapped
  MessageRef message;
  LinkFields current;
  LinkFields fresh;
};

// Keeps what the core would store. Running short of memory here must not
// pass for a damaged area, which is how the core reports whatever is thrown
// through it, so the shortage is only noted and reported after the run.
class ChangeCollector final : public PlanListener {
 public:
  void changed(const MessageRef& message, const LinkFields& current,
               const LinkFields& fresh) override {
    if (outOfMemory) return;
    try {
      changes.push_back({0, message, current, fresh});
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
      std::vector<PlannedChange>().swap(changes);
    }
  }

  std::vector<PlannedChange> changes;
  bool outOfMemory = false;
};

// A link field as a plan line shows it: its name in the listing, and the
// text of its value there.
struct FieldNotation {
  const char* name;
  std::string (*text)(const LinkFields& fields);
};

std::string replyToText(const LinkFields& fields) { return std::to_string(fields.replyTo); }
std::string repliesText(const LinkFields& fields) { return slotsText(fields.replies); }
std::string reply1stText(const LinkFields& fields) { return std::to_string(fields.replies[0]); }
std::string replyNextText(const LinkFields& fields) { return std::to_string(fields.nextReply); }

constexpr FieldNotation squishFields[] = {{"replyto", replyToText}, {"replies", repliesText}};
constexpr FieldNotation jamFields[] = {
    {"replyto", replyToText}, {"reply1st", reply1stText}, {"replynext", replyNextText}};
constexpr FieldNotation msgFields[] = {{"replyto", replyToText}, {"up", reply1stText}};

// How the listing of a format names a message and its link fields. A
// *.MSG listing names each file by its number alone, in ascending order.
struct PlanNotation {
  BaseFormat format;
  const char* numberName;  // null: the number is the line's first word
  std::span<const FieldNotation> fields;
};

constexpr PlanNotation planNotations[] = {
    {BaseFormat::squish, "umsgid", squishFields},
    {BaseFormat::jam, "number", jamFields},
    {BaseFormat::msg, nullptr, msgFields},
};

const PlanNotation& notationOf(BaseFormat format) {
  for (const PlanNotation& notation : planNotations) {
    if (notation.format == format) return notation;
  }
  return planNotations[0];
}

// Gives each change the index position of its message, the one entry with
// the message's locator and number, and puts the changes in index order.
// False when there is no such entry or more than one: the base was changed
// between the plan and this reading (a sound base has one per locator).
bool mapPositions(const BaseInspection& inspection, std::vector<PlannedChange>& changes) {
  const std::vector<MessageView>& messages = inspection.messages;
  const std::vector<std::uint32_t>& byOfs = inspection.fileOrder;
  const auto ofsBelow = [&](std::uint32_t position, std::uint32_t ofs) {
    return messages[position].ofs < ofs;
  };
  for (PlannedChange& change : changes) {
    const std::uint32_t locator = change.message.locator;
    const auto at = std::lower_bound(byOfs.begin(), byOfs.end(), locator, ofsBelow);
    if (at == byOfs.end() || messages[*at].ofs != locator) return false;
    if (at + 1 != byOfs.end() && messages[at[1]].ofs == locator) return false;
    if (messages[*at].umsgid != change.message.number) return false;
    change.position = *at;
  }
  std::sort(changes.begin(), changes.end(),
            [](const PlannedChange& a, const PlannedChange& b) { return a.position < b.position; });
  return true;
}

// "<position> umsgid=<n>" (or "<n>" alone) and every field that would
// change, as old->new.
void printChange(std::FILE* out, const PlanNotation& notation, const PlannedChange& change) {
  std::string line = std::to_string(change.position);
  if (notation.numberName != nullptr) {
    line += std::string(" ") + notation.numberName + '=' + std::to_string(change.message.number);
  }
  for (const FieldNotation& field : notation.fields) {
    const std::string before = field.text(change.current);
    const std::string after = field.text(change.fresh);
    if (before != after) line += std::string(" ") + field.name + '=' + before + "->" + after;
  }
  line += '\n';
  std::fputs(line.c_str(), out);
}

}  // namespace

std::optional<LinkType> linkTypeNamed(std::string_view value) {
  if (value.size() != 1) return std::nullopt;
  const char letter = static_cast<char>(asciiLower(static_cast<unsigned char>(value[0])));
  for (const LinkLetter& entry : linkLetters) {
    if (entry.letter == letter) return entry.type;
  }
  return std::nullopt;
}

int printPlan(const DumpOptions& options, InspectBase inspect) {
  const char* tag = options.areaTag.c_str();
  const AreaJob job{options.basePath.c_str(), {options.linkType, tag, options.subjectLength}};
  ChangeCollector collector;
  const LinkOutcome outcome = formatRow(options.format).plan(job, collector);
  if (!outcome.linked) return exitDamaged;
  if (collector.outOfMemory) {
    reportNotEnoughMemory();
    return exitDamaged;
  }
  // The core names messages as the format finds them; the lines number them
  // by index position, which only the index tells. The base was released in
  // between, so a tosser may have rewritten it: then the plan is refused
  // rather than printed against the wrong messages.
  const PlanNotation& notation = notationOf(options.format);
  if (notation.numberName == nullptr) {
    for (PlannedChange& change : collector.changes) change.position = change.message.number;
  } else if (!collector.changes.empty()) {
    BaseInspection inspection;
    if (!inspect(options, inspection)) return exitDamaged;
    if (!mapPositions(inspection, collector.changes)) {
      reportBaseChanged(tag);
      return exitDamaged;
    }
  }
  for (const PlannedChange& change : collector.changes) printChange(stdout, notation, change);
  std::printf("%s: %u of %u would change\n", tag, static_cast<unsigned>(outcome.counts.changed),
              static_cast<unsigned>(outcome.counts.total));
  std::fflush(stdout);
  return exitClean;
}

}  // namespace knotter::dump
