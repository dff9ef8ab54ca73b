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

// Squish mode: -0 marks a passthrough area, -$ a Squish base, -f a *.MSG
// area (under -msg only: without it, a line keeps today's meaning), and
// -$l<digit> gives the area a link type of its own. Under the option -$ only
// -$ lines are Squish bases; with -msg the others, unless passthrough, are
// *.MSG, as Squish-style readers take a line without -$. Of -$ and -f, the
// later one on the line wins.
void applySquishFlags(LineReader& reader, AreaDecision& area) {
  char token[maxTokenLength + 1];
  bool dollar = false;
  bool msg = false;
  while (nextFitToken(reader, token)) {
    if (token[0] != '-') continue;  // node addresses and other data
    if (token[1] == '0') {
      area.format = BaseFormat::none;
      return;
    }
    if (token[1] == 'f') {
      msg = true;
      continue;
    }
    if (token[1] != '$') continue;
    dollar = true;
    msg = false;
    area.format = BaseFormat::squish;
    if (token[2] != 'l') continue;
    const std::int32_t own = dollarLinkType(token[3]);
    area.linked = own != 0;
    if (own != 0) area.linkType = own;
  }
  if (settings.msgMode && (msg || (settings.onlyDollarAreas && !dollar))) {
    area.format = BaseFormat::msg;
  }
}

bool isBaseTypeFlag(const char* token) {
  return (token[1] == 'b' || token[1] == 'B') && token[2] == '\0';
}

bool isNoLinkFlag(const char* token) { return equalsNoCase(token + 1, "nolink"); }
bool isPassFlag(const char* token) { return equalsNoCase(token + 1, "pass"); }

// The type a "-b <word>" names; a word that names none makes the area none.
HptType namedType(const char* word) {
  if (equalsNoCase(word, "squish")) return HptType::squish;
  if (equalsNoCase(word, "jam")) return HptType::jam;
  if (equalsNoCase(word, "msg")) return HptType::msg;
  return HptType::none;
}

// The type an HPT line has given its area so far. -pass on the line pins a
// passthrough area: the tosser gives it no base, whatever -b follows.
struct HptLineType {
  HptType type = HptType::squish;
  bool pinned = false;
};

void takeNamedType(HptLineType& line, HptType named) {
  if (!line.pinned) line.type = named;
}

void pinPassthrough(HptLineType& line) {
  line.type = HptType::passthrough;
  line.pinned = true;
}

// Squish bases are linked, JAM bases under -jam, *.MSG areas under -msg;
// passthrough areas, and areas of no type, are not.
BaseFormat linkedFormat(HptType type) {
  if (type == HptType::squish) return BaseFormat::squish;
  if (type == HptType::jam && settings.jamMode) return BaseFormat::jam;
  if (type == HptType::msg && settings.msgMode) return BaseFormat::msg;
  return BaseFormat::none;
}

// HPT mode: the last "-b <type>" names the base type, -pass and -0 make a
// passthrough area, and -nolink keeps the area from being linked unless it
// was asked for with -a.
void applyHptFlags(LineReader& reader, HptLineType& line, bool& linked) {
  char token[maxTokenLength + 1];
  while (nextFitToken(reader, token)) {
    if (token[0] != '-') continue;
    if (isBaseTypeFlag(token)) {
      if (!nextFitToken(reader, token)) return;
      const HptType named = namedType(token);
      takeNamedType(line, named);
      if (named == HptType::none) return;  // what follows an unknown type is not read
    } else if (isPassFlag(token)) {
      pinPassthrough(line);
    } else if (token[1] == '0') {
      pinPassthrough(line);
      return;
    } else if (isNoLinkFlag(token) && settings.onlyArea == nullptr) {
      linked = false;
    }
  }
}

void decideHptArea(LineReader& reader, const char* keyword, const char* path,
                   AreaDecision& area) {
  // The tosser gives only echo areas the defaults; local and netmail areas
  // start from Squish. Netmail is linked whatever the defaults say.
  const bool echo = keyword[0] == 'e' || keyword[0] == 'E';
  const bool netmail = keyword[0] == 'n' || keyword[0] == 'N';
  HptLineType line{echo ? settings.hptEchoDefault : HptType::squish};
  area.linked = netmail ? true : settings.linkByDefault;
  if (equalsNoCase(path, "passthrough")) {
    pinPassthrough(line);
  } else {
    applyHptFlags(reader, line, area.linked);
  }
  area.format = linkedFormat(line.type);
}

}  // namespace

void readAreaLine(LineReader& reader, const char* keyword, OnlyAreaRefusal refuse) {
  char tag[maxTagLength + 1];
  // One character more than a path may have: a longer path stays too long
  // and is refused when the area is processed, never used cut.
  char path[maxPathLength + 2];
  if (!nextFitToken(reader, tag) || !nextFitToken(reader, path)) return;
  if (settings.onlyArea != nullptr && !equalsNoCase(tag, settings.onlyArea)) return;

  AreaDecision area{0, settings.linkByDefault,
                    settings.onlyDollarAreas ? BaseFormat::none : BaseFormat::squish};
  if (settings.hptMode) {
    decideHptArea(reader, keyword, path, area);
  } else {
    applySquishFlags(reader, area);
  }
  if (reader.lineUnfit) return;  // a token held a NUL byte: the line does not fit
  if (area.format == BaseFormat::none) {
    if (settings.onlyArea != nullptr && refuse != nullptr) refuse(settings.onlyArea);
    return;
  }
  if (area.linked) appendArea(tag, path, area.linkType, area.format);
}

void readEchoAreaDefaults(LineReader& reader) {
  // Every defaults line starts afresh, from *.MSG, as the tosser's does. A
  // passthrough default is not pinned: an echo line's own -b still decides.
  HptLineType line{HptType::msg};
  bool linked = true;
  char token[maxTokenLength + 1];
  while (nextFitToken(reader, token)) {
    if (token[0] != '-') continue;
    if (isBaseTypeFlag(token)) {
      if (!nextFitToken(reader, token)) break;
      takeNamedType(line, namedType(token));  // reading goes on after any type
    } else if (isPassFlag(token)) {
      pinPassthrough(line);
    } else if (isNoLinkFlag(token) && settings.onlyArea == nullptr) {
      linked = false;
    }
  }
  if (reader.lineUnfit) return;
  settings.hptEchoDefault = line.type;
  settings.linkByDefault = linked;
}

}  // namespace knotter
