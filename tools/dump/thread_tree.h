// The threads of a base as its current reply-chain fields describe them: each
// message hangs below the message that its replyto names. Replyto fields can
// form rings, so every message is printed exactly once and a ring is entered
// at one of its members, marked as such.
#pragma once

#include <cstdio>

#include "base_inspection.h"

namespace knotter::dump {

// Prints the forest, one message per line, two blanks of indent per level
// (capped; deeper lines say their depth). Damaged messages are left out.
void printThreads(std::FILE* out, const BaseInspection& inspection);

}  // namespace knotter::dump
