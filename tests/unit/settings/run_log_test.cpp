// The run log: time texts, event texts, the bound, and appends from many threads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "settings/run_log.h"

namespace morvane {
namespace {

using ::testing::ElementsAre;

LocalTime TickTimeValue(int t) { return {2024, 5, 6, (t / 3600) % 24, (t / 60) % 60, t % 60}; }
std::string TickTime(int t) { return FormatLogTime(TickTimeValue(t)); }

// A clock whose every reading is one second later than the one before.
class TickingClock : public LocalClock {
 public:
  LocalTime now() override { return TickTimeValue(ticks_++); }

 private:
  std::atomic<int> ticks_{0};
};

class FixedClock : public LocalClock {
 public:
  LocalTime time{2024, 5, 6, 9, 3, 7};
  LocalTime now() override { return time; }
};

TEST(FormatLogTimeTest, ShortestFormThatLosesNothing) {
  struct Row {
    LocalTime time;
    std::string text;
  };
  const std::vector<Row> rows = {
      {{2024, 5, 6, 9, 3, 7}, "2024年5月6日9时3分7秒"},
      {{2024, 5, 6, 9, 3, 0}, "2024年5月6日9时3分"},
      {{2024, 5, 6, 9, 0, 0}, "2024年5月6日9时"},
      {{2024, 5, 6, 12, 0, 0}, "2024年5月6日12时"},
      {{2024, 5, 6, 0, 0, 0}, "2024年5月6日"},
      {{2024, 5, 6, 0, 0, 5}, "2024年5月6日0时0分5秒"},
      {{2024, 5, 6, 0, 30, 0}, "2024年5月6日0时30分"},
      {{2024, 12, 31, 23, 59, 59}, "2024年12月31日23时59分59秒"},
  };
  for (const Row& row : rows) EXPECT_EQ(FormatLogTime(row.time), row.text);
}

TEST(RunLogTest, RowHoldsTimeKindAndTextWithLineBreaksShown) {
  FixedClock clock;
  RunLog log(clock);
  log.appendLog("转发群", "a\r\nb");
  log.appendLog("次数", "a\nb\rc");
  log.appendLog("", "");
  clock.time = {2024, 5, 6, 0, 0, 0};
  log.appendLog("转发好友", "\r\n\r\n");
  EXPECT_THAT(log.rows(), ElementsAre(LogRow{"2024年5月6日9时3分7秒", "转发群", "a[换行]b"},
                                      LogRow{"2024年5月6日9时3分7秒", "次数", "a\nb\rc"},
                                      LogRow{"2024年5月6日9时3分7秒", "", ""},
                                      LogRow{"2024年5月6日", "转发好友", "[换行][换行]"}));
  LogRow row;
  EXPECT_TRUE(log.rowAt(3, row));
  EXPECT_EQ(row.kind, "转发好友");
  EXPECT_FALSE(log.rowAt(4, row));
  EXPECT_EQ(log.size(), 4u);
}

// The window's list, kept by the observer as the window would keep it.
struct MirrorList {
  std::deque<LogRow> rows;
  RunLog::Observer observer() {
    return {[this](const LogRow& row) { rows.push_back(row); },
            [this](size_t count) { rows.erase(rows.begin(), rows.begin() + static_cast<long>(count)); }};
  }
};

TEST(RunLogTest, KeepsOnlyTheNewestRows) {
  TickingClock clock;
  RunLog log(clock, 3);
  MirrorList mirror;
  log.setObserver(mirror.observer());
  for (int i = 0; i < 5; ++i) log.appendLog("k", std::to_string(i));
  ASSERT_EQ(log.size(), 3u);
  const auto rows = log.rows();
  EXPECT_EQ(rows[0].text, "2");
  EXPECT_EQ(rows[2].text, "4");
  EXPECT_TRUE(std::equal(rows.begin(), rows.end(), mirror.rows.begin(), mirror.rows.end()));
  EXPECT_EQ(RunLog::kMaxRows, 100000u);
}

// Forward workers append at the same moment: every row keeps its own kind and
// text, each thread's rows stay in its order, the window's mirror matches, and
// the bound holds.
TEST(RunLogTest, ConcurrentAppendsGiveCompleteOrderedRows) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 2000;
  for (size_t bound : {size_t{kThreads * kPerThread}, size_t{5000}}) {
    TickingClock clock;
    RunLog log(clock, bound);
    MirrorList mirror;
    log.setObserver(mirror.observer());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&log, t] {
        const std::string kind = "线程" + std::to_string(t);
        for (int i = 0; i < kPerThread; ++i) log.appendLog(kind, kind + "\r\n" + std::to_string(i));
      });
    }
    for (auto& thread : threads) thread.join();

    const auto rows = log.rows();
    ASSERT_EQ(rows.size(), bound);
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), mirror.rows.begin(), mirror.rows.end()));
    // The newest rows are kept: the clock was read once per append, in row order.
    const int total = kThreads * kPerThread;
    EXPECT_EQ(rows.front().time, TickTime(total - static_cast<int>(bound)));
    EXPECT_EQ(rows.back().time, TickTime(total - 1));
    std::map<std::string, int> last;
    for (const LogRow& row : rows) {
      const size_t cut = row.text.find("[换行]");
      ASSERT_NE(cut, std::string::npos);
      ASSERT_EQ(row.text.substr(0, cut), row.kind);
      const int i = std::stoi(row.text.substr(cut + 6));
      auto [it, fresh] = last.try_emplace(row.kind, i);
      if (!fresh) {
        ASSERT_GT(i, it->second) << row.kind;
        it->second = i;
      }
    }
    if (bound == static_cast<size_t>(total)) {
      for (int t = 0; t < kThreads; ++t) EXPECT_EQ(last["线程" + std::to_string(t)], kPerThread - 1);
    }
  }
}

TEST(RunLogTest, TimesFollowTheOrderOfTheRows) {
  TickingClock clock;
  RunLog log(clock);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&log] {
      for (int i = 0; i < 500; ++i) log.appendLog("k", "t");
    });
  }
  for (auto& thread : threads) thread.join();
  // Each reading of the ticking clock is one second on: rows must show 0, 1, 2, ... seconds.
  const auto rows = log.rows();
  ASSERT_EQ(rows.size(), 2000u);
  for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(rows[i].time, TickTime(static_cast<int>(i))) << i;
}

}  // namespace
}  // namespace morvane
