#include "config/area_line.h"

#include <cstdint>

#include "config/area_table.h"
#include "config/settings.h"
#include "config/text.h"

namespace knotter {
namespace {

// What an area line has said about its area so far.
struct AreaDecision {
  std::int32_t linkType = 0;  // own link type; 0 = the run's default
  bool linked = true;
  BaseFormat format = BaseFormat::squish;
};

// The digit of a -$l flag. The order is the one users of Squish-style
// configurations know; it follows neither the link type numbers nor -t.
std::int32_t dollarLinkType(char digit) {
  switch (digit) {
    case '1': return linkReply;
    case '2': return linkSubj;
    case '3': return linkFlat;
    case '4': return linkTimEd;
    default: return 0;
  }
}

// Squish mode: -0 marks a passthrough area, -$ a Squish base, and -$l<digit>
// gives the area a link type of its own.
void applySquishFlags(LineReader& reader, AreaDecision& area) {
  char token[maxTokenLength + 1];
  while (nextToken(reader, token)) {
    if (token[0] != '-') continue;  // node addresses and other data
    if (token[1] == '0') {
      area.format = BaseFormat::none;
      return;
    }
    if (token[1] != '$') continue;
    area.format = BaseFormat::squish;
    if (token[2] != 'l') continue;
    const std::int32_t own = dollarLinkType(token[3]);
    area.linked = own != 0;
    if (own != 0) area.linkType = own;
  }
}

bool isBaseTypeFlag(const char* token) {
  return (token[1] == 'b' || token[1] == 'B') && token[2] == '\0';
}

bool isNoLinkFlag(const char* token) { return equalsNoCase(token + 1, "nolink"); }

// The format a "-b <type>" names: Squish, or JAM when -jam asks for JAM
// areas; any other type is one the tool leaves alone.
BaseFormat namedFormat(const char* type) {
  if (equalsNoCase(type, "squish")) return BaseFormat::squish;
  if (settings.jamMode && equalsNoCase(type, "jam")) return BaseFormat::jam;
  return BaseFormat::none;
}

// HPT mode: "-b <type>" names the base type, -0 marks a passthrough area and
// -nolink keeps the area from being linked unless it was asked for with -a.
void applyHptFlags(LineReader& reader, AreaDecision& area) {
  char token[maxTokenLength + 1];
  while (nextToken(reader, token)) {
    if (token[0] != '-') continue;
    if (isBaseTypeFlag(token)) {
      if (!nextToken(reader, token)) return;
      // A format we link lets the line be read on, so a later -b wins.
      area.format = namedFormat(token);
      if (area.format == BaseFormat::none) return;
    } else if (token[1] == '0') {
      area.format = BaseFormat::none;
      return;
    } else if (isNoLinkFlag(token) && settings.onlyArea == nullptr) {
      area.linked = false;
    }
  }
}

void decideHptArea(LineReader& reader, const char* keyword, const char* path,
                   AreaDecision& area) {
  // The tosser keeps netmail in other formats unless told otherwise, and
  // links it whatever the echo area defaults say.
  const bool netmail = keyword[0] == 'n' || keyword[0] == 'N';
  area.format = netmail ? BaseFormat::none : settings.hptDefaultFormat;
  area.linked = netmail ? true : settings.linkByDefault;
  if (equalsNoCase(path, "passthrough")) {
    area.format = BaseFormat::none;
    return;
  }
  applyHptFlags(reader, area);
}

}  // namespace

void readAreaLine(LineReader& reader, const char* keyword, OnlyAreaRefusal refuse) {
  char tag[maxTagLength + 1];
  // One character more than a path may have: a longer path stays too long
  // and is refused when the area is processed, never used cut.
  char path[maxPathLength + 2];
  if (!nextToken(reader, tag) || !nextToken(reader, path)) return;
  if (settings.onlyArea != nullptr && !equalsNoCase(tag, settings.onlyArea)) return;

  AreaDecision area{0, settings.linkByDefault,
                    settings.onlyDollarAreas ? BaseFormat::none : BaseFormat::squish};
  if (settings.hptMode) {
    decideHptArea(reader, keyword, path, area);
  } else {
    applySquishFlags(reader, area);
  }
  if (area.format == BaseFormat::none) {
    if (settings.onlyArea != nullptr && refuse != nullptr) refuse(settings.onlyArea);
    return;
  }
  if (area.linked) appendArea(tag, path, area.linkType, area.format);
}

void readEchoAreaDefaults(LineReader& reader) {
  settings.hptDefaultFormat = BaseFormat::none;
  settings.linkByDefault = true;
  char token[maxTokenLength + 1];
  while (nextToken(reader, token)) {
    if (token[0] != '-') continue;
    if (isBaseTypeFlag(token)) {
      if (!nextToken(reader, token)) return;
      settings.hptDefaultFormat = namedFormat(token);
    } else if (isNoLinkFlag(token) && settings.onlyArea == nullptr) {
      settings.linkByDefault = false;
    }
  }
}

}  // namespace knotter
