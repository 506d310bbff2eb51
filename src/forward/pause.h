// The arithmetic of pauseFor, kept apart from the waiting so it is testable anywhere.
#pragma once

#include <cstdint>
#include <optional>

namespace morvane {

// Milliseconds per unit: 0 ms, 1 s, 2 min, 3 h; any other unit is itself the
// number of milliseconds.
int64_t PauseMillisecondsPerUnit(int64_t unit);

// The waitable-timer due time for pauseFor(count, unit), in 100-ns units,
// negative meaning "from now". No count with unit 0 (or none) is the endless
// wait: 18000000 x 18000000 ms; no count with another unit counts as 0.
// Computed in double and truncated (saturating at the 64-bit limits).
int64_t PauseDueTime(std::optional<int32_t> count, std::optional<int64_t> unit);

}  // namespace morvane
