// The inspector's text output: one header line for the base, then one line
// per message in index order. Every line is made of blank-separated
// name=value fields in a fixed order; texts are quoted, with '"', '\' and
// every byte outside printable ASCII escaped, so that each line parses alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "base_inspection.h"

namespace knotter::dump {

// text between double quotes, with \" \\ and \xHH escapes.
std::string quoted(std::string_view text);

// A parsed MSGID or REPLY: "-" when absent, else the origin text and the
// number as eight hex digits, the way serials are written in kludges.
std::string keyText(const MsgIdKey& key);

// Reply slots up to the last one in use, comma-separated, holes kept as 0;
// "-" when none is in use.
std::string slotsText(std::span<const std::uint32_t> slots);

// The normalised subject of a message, quoted.
std::string quotedSubject(const MessageView& view);

// base="…" tag="…" high_msg=N end_frame=0xHHHHHHHH sz_sqhdr=N size=N
void printHeaderLine(std::FILE* out, const DumpOptions& options, const BaseInspection& inspection);

// One line per message; see the manual page for the fields.
void printMessageLines(std::FILE* out, const BaseInspection& inspection);

}  // namespace knotter::dump
