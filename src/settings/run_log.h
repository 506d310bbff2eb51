// RunLog: the rows of the window's log list ("时间", "类型", "事件").
// Any thread appends; each row is complete when it becomes visible and rows
// keep the order of their appends. Only the newest kMaxRows rows are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The computer's local date and time.
class LocalClock {
 public:
  virtual ~LocalClock() = default;
  virtual LocalTime now() = 0;
};

// "2024年5月6日9时3分7秒", with the time of day in its shortest lossless form.
std::string FormatLogTime(const LocalTime& time);

struct LogRow {
  std::string time;
  std::string kind;
  std::string text;
  bool operator==(const LogRow&) const = default;
};

class RunLog {
 public:
  static constexpr size_t kMaxRows = 100000;

  // Told of each appended row and of rows dropped from the front, in order,
  // on the appending thread; the window mirrors the list with them.
  // Both are called while the log's lock is held, which is what keeps the
  // window's rows in append order: they must be quick (hand the row to the
  // window's thread, e.g. by posting it) and must not call back into this RunLog.
  struct Observer {
    std::function<void(const LogRow&)> appended;
    std::function<void(size_t count)> droppedFront;
  };

  explicit RunLog(LocalClock& clock, size_t maxRows = kMaxRows) : clock_(clock), maxRows_(maxRows) {}

  // Appends a row: the local time, kind, and text with each "\r\n" shown as "[换行]".
  void appendLog(std::string_view kind, std::string_view text);

  std::vector<LogRow> rows() const;
  size_t size() const;
  // Row `index` (0 = oldest kept); false when there is no such row.
  bool rowAt(size_t index, LogRow& row) const;
  void setObserver(Observer observer);

 private:
  LocalClock& clock_;
  const size_t maxRows_;
  mutable std::mutex mutex_;
  std::deque<LogRow> rows_;
  Observer observer_;
};

}  // namespace morvane
