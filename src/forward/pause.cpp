#include "forward/pause.h"

#include <cmath>

namespace morvane {
namespace {

constexpr int64_t kEndless = 18000000;

}  // namespace

int64_t PauseMillisecondsPerUnit(int64_t unit) {
  switch (unit) {
    case 0: return 1;
    case 1: return 1000;
    case 2: return 60000;
    case 3: return 3600000;
    default: return unit;
  }
}

int64_t PauseDueTime(std::optional<int32_t> count, std::optional<int64_t> unit) {
  double n = 0;
  double perUnit = 0;
  if (!count && unit.value_or(0) == 0) {
    n = kEndless;
    perUnit = kEndless;
  } else {
    n = count.value_or(0);
    perUnit = static_cast<double>(PauseMillisecondsPerUnit(unit.value_or(0)));
  }
  const double due = n * perUnit * -10000.0;
  // 2^63 is exact in double; anything at or beyond it would not convert.
  constexpr double kLimit = 9223372036854775808.0;
  if (due >= kLimit) return INT64_MAX;
  if (due <= -kLimit) return INT64_MIN;
  return static_cast<int64_t>(std::trunc(due));
}

}  // namespace morvane
