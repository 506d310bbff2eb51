#include "forward/pause.h"

#include <gtest/gtest.h>

#include <limits>

namespace morvane {
namespace {

TEST(PauseMillisecondsPerUnit, NamedUnitsAndRawMilliseconds) {
  const std::pair<int64_t, int64_t> rows[] = {{0, 1},     {1, 1000},   {2, 60000}, {3, 3600000},
                                              {250, 250}, {-7, -7},    {4, 4}};
  for (const auto& [unit, ms] : rows) EXPECT_EQ(PauseMillisecondsPerUnit(unit), ms) << unit;
}

TEST(PauseDueTime, HundredNanosecondUnitsRelativeToNow) {
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  struct Row {
    std::optional<int32_t> count;
    std::optional<int64_t> unit;
    int64_t due;
  };
  const Row rows[] = {
      {4, 250, -10000000},                         // one second
      {1, 2, -600000000},                          // one minute
      {1, 3, -36000000000},                        // one hour
      {5, 0, -50000},                              // five milliseconds
      {0, 1, 0},                                   // returns at once
      {std::nullopt, std::nullopt, -3240000000000000000},  // the endless wait
      {std::nullopt, 0, -3240000000000000000},
      {std::nullopt, 1, 0},
      {7, std::nullopt, -70000},                   // no unit: milliseconds
      {-1, 1, 10000000},                           // a time in the past: no wait
      {std::numeric_limits<int32_t>::max(), kMax, kMin},  // saturates instead of overflowing
      {std::numeric_limits<int32_t>::min(), kMax, kMax},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PauseDueTime(row.count, row.unit), row.due)
        << row.count.value_or(-999) << " / " << row.unit.value_or(-999);
  }
}

}  // namespace
}  // namespace morvane
