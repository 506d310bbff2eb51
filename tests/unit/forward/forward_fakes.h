// Small fakes shared by the forwarding tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "forward/forward_job.h"
#include "forward/forward_queue.h"
#include "forward/workers.h"
#include "picture/composer.h"
#include "settings/run_log.h"

namespace morvane {

class FixedLocalClock final : public LocalClock {
 public:
  LocalTime now() override { return {2024, 5, 6, 9, 3, 7}; }
};

// Time moves only when the test says so.
class ManualQueueClock final : public QueueClock {
 public:
  int64_t nowMs() override { return now_.load(); }
  void set(int64_t ms) { now_.store(ms); }

 private:
  std::atomic<int64_t> now_{0};
};

// Answers with the queued values (clamped by nobody), then with lo; records each request.
class ScriptedRandom final : public PauseRandom {
 public:
  explicit ScriptedRandom(std::deque<int32_t> values = {}) : values_(std::move(values)) {}
  int32_t between(int32_t lo, int32_t hi) override {
    std::lock_guard lock(mutex_);
    asked_.emplace_back(lo, hi);
    if (values_.empty()) return lo;
    const int32_t value = values_.front();
    values_.pop_front();
    return value;
  }
  std::vector<std::pair<int32_t, int32_t>> asked() {
    std::lock_guard lock(mutex_);
    return asked_;
  }

 private:
  std::mutex mutex_;
  std::deque<int32_t> values_;
  std::vector<std::pair<int32_t, int32_t>> asked_;
};

class RecordingSink final : public ForwardJobSink {
 public:
  void submit(ForwardJob job) override { jobs.push_back(std::move(job)); }
  std::vector<ForwardJob> jobs;
};

// Marks what it composed so a test sees whether and on what it ran.
class RecordingComposer final : public PictureComposer {
 public:
  std::string ComposeMessagePictures(const std::string& message) override {
    seen.push_back(message);
    if (hook) hook();
    return "W(" + message + ")";
  }
  std::vector<std::string> seen;
  std::function<void()> hook;
};

}  // namespace morvane
