// The dry run of the inspector: the links knotter would store in a base,
// computed by the linker core itself through the format's plan, which reads
// the base under the inspector's shared lock and writes nothing. Each
// message that would change is printed in the listing's order and notation.
#pragma once

#include <optional>
#include <string_view>

#include "base_inspection.h"
#include "config/link_type.h"
#include "dump_options.h"

namespace knotter::dump {

// The link type that a -t value names: one of knotter's letters f, r, s, t,
// in either case; none for anything else.
std::optional<LinkType> linkTypeNamed(std::string_view value);

// How the inspector reads a base for its listing (by the base's format).
using InspectBase = bool (*)(const DumpOptions& options, BaseInspection& inspection);

// Plans the links of the base of options with its link type and prints one
// line per message that would change, by index position, then
// "<tag>: <changed> of <total> would change". inspect reads the index
// positions the lines are numbered by. Returns exitClean once the plan is
// printed, exitDamaged after a report: the linker's own for a base it would
// give up, or one saying the base changed between the two readings.
// REQUIRES: the scanner tables built.
int printPlan(const DumpOptions& options, InspectBase inspect);

}  // namespace knotter::dump
