// ScheduleGate: "" until the schedule first acts, then "开" or "关".
// Written by the schedule tick on the window's thread, read whole by admission
// on the host's event threads.
#pragma once

#include <mutex>
#include <string>

namespace morvane {

inline constexpr const char* kGateOpen = "开";
inline constexpr const char* kGateClosed = "关";

class ScheduleGate {
 public:
  std::string get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void set(std::string value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

 private:
  mutable std::mutex mutex_;
  std::string value_;
};

}  // namespace morvane
