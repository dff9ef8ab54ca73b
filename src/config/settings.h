// The process-wide settings of one run: filled by the command line and the
// configuration file, read by every module. Defaults are those of a run that
// was given no options and no configuration keywords.
#pragma once

#include <cstdint>
#include <string_view>

namespace knotter {

constexpr std::int32_t linkTimEd = 1;
constexpr std::int32_t linkFlat = 2;
constexpr std::int32_t linkReply = 3;
constexpr std::int32_t linkSubj = 4;

// The format of an area's message base. Areas of no format the tool links
// are not taken into the area table.
enum class BaseFormat : std::uint8_t { none, squish, jam, msg };

// The message base type an HPT area line gives its area, as the tosser reads
// it. Only Squish, and JAM under -jam, are linked; none is a -b word that
// names no type.
enum class HptType : std::uint8_t { none, squish, jam, msg, passthrough };

constexpr int pathBufferSize = 4096;  // holds 4094 characters of a path plus slack
constexpr int maxPathLength = 4094;

struct Settings {
  std::int32_t logLevel = 8;           // lines above it stay out of the log file
  bool showLogLevel = false;           // "[%2u] " after the time stamp
  std::int32_t linkType = linkReply;   // link type of areas without their own
  std::int32_t cmdLinkType = 0;        // -t; 0 = not given
  bool hptMode = false;                // -hpt
  bool jamMode = false;                // -jam: HPT's JAM areas are linked too
  bool msgMode = false;                // -msg: *.MSG areas are linked too
  HptType hptEchoDefault = HptType::squish;  // EchoAreaDefaults; none seen: Squish
  bool linkByDefault = true;           // areas without own link type are linked
  bool quiet = false;                  // -q
  bool onlyDollarAreas = false;        // -$
  bool listMode = false;               // -f or -k given
  bool deleteListFile = false;         // -k
  bool russianLookalikes = false;      // -p
  std::int32_t subjectLength = -1;     // clamped to 1..72 before the area loop
  const char* listPath = nullptr;      // list file or single area name
  const char* onlyArea = nullptr;      // -a
  char logPath[pathBufferSize] = {};   // empty = no log file
  bool logPathTooLong = false;         // logPath holds a path cut to fit: never opened
  char importLogPath[pathBufferSize] = {};
  bool listPathTooLong = false;        // listPath holds a path cut to fit: never opened
};

extern Settings settings;

// Sets logPath. A path longer than it holds, or one that the caller had to
// cut already (cut), is kept as far as it fits and marked too long, so that
// no file is ever opened under a cut name.
void setLogPath(std::string_view path, bool cut = false);

// Test hook: puts every field back to its default.
void resetSettings();

}  // namespace knotter
