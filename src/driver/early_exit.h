// The one way a run ends early: through std::exit, so that the process-wide
// lists are destroyed as on a normal return.
#pragma once

namespace knotter {

constexpr int exitNoChange = 0;
constexpr int exitChanged = 1;
constexpr int exitNoMemory = 2;
constexpr int exitNoConfig = 3;

[[noreturn]] void endRun(int exitCode);

// Reports "! Not enough memory" and ends the run with exit code 2.
[[noreturn]] void endRunOutOfMemory();

}  // namespace knotter
