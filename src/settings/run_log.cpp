#include "settings/run_log.h"

#include <string>
#include <utility>

#include "text/text.h"

namespace morvane {

std::string FormatLogTime(const LocalTime& time) {
  std::string out = std::to_string(time.year) + "年" + std::to_string(time.month) + "月" +
                    std::to_string(time.day) + "日";
  if (time.second != 0) {
    out += std::to_string(time.hour) + "时" + std::to_string(time.minute) + "分" + std::to_string(time.second) + "秒";
  } else if (time.minute != 0) {
    out += std::to_string(time.hour) + "时" + std::to_string(time.minute) + "分";
  } else if (time.hour != 0) {
    out += std::to_string(time.hour) + "时";
  }
  return out;
}

void RunLog::appendLog(std::string_view kind, std::string_view text) {
  try {
    LogRow row;
    row.kind = std::string(kind);
    row.text = ReplaceText(text, "\r\n", "[换行]");
    std::lock_guard lock(mutex_);
    // The clock is read under the lock so that times never run backwards down the list.
    row.time = FormatLogTime(clock_.now());
    rows_.push_back(std::move(row));
    if (observer_.appended) observer_.appended(rows_.back());
    size_t dropped = 0;
    while (rows_.size() > maxRows_) {
      rows_.pop_front();
      ++dropped;
    }
    if (dropped != 0 && observer_.droppedFront) observer_.droppedFront(dropped);
  } catch (...) {
    // Out of memory or a throwing observer: the row is lost, the caller carries on.
  }
}

std::vector<LogRow> RunLog::rows() const {
  std::lock_guard lock(mutex_);
  return {rows_.begin(), rows_.end()};
}

size_t RunLog::size() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

bool RunLog::rowAt(size_t index, LogRow& row) const {
  std::lock_guard lock(mutex_);
  if (index >= rows_.size()) return false;
  row = rows_[index];
  return true;
}

void RunLog::setObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

}  // namespace morvane
