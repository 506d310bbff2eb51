// ForwardQueue: a timer queue that runs forward jobs step by step on a small,
// fixed set of threads.
//
// A task runs one step (a post, its row) and says how long to wait before its
// next step; while it waits it holds no thread, only its place in the queue.
// Steps due at the same time run in the order they became due (first come,
// first served), so the jobs of different messages interleave while each job
// keeps its own order. A step that blocks (a slow host call) holds one thread;
// the others go on.
//
// Time and waiting go through QueueClock and QueueWaiter. Tests drive the queue
// with runDue() and a clock of their own; the plug-in calls start() and stop().
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace morvane {

// Monotonic milliseconds.
class QueueClock {
 public:
  virtual ~QueueClock() = default;
  virtual int64_t nowMs() = 0;
};

class SteadyQueueClock final : public QueueClock {
 public:
  int64_t nowMs() override;
};

// Blocks a queue thread. Several threads may wait at once. A wake() that finds
// no waiter is kept for the next wait (like an auto-reset event), so a wake
// between deciding to wait and waiting is never lost. Waits may end early.
class QueueWaiter {
 public:
  static constexpr int64_t kForever = -1;
  virtual ~QueueWaiter() = default;
  virtual void waitFor(int64_t milliseconds) = 0;
  virtual void wake() = 0;
};

// Mutex and condition variable; the portable waiter.
class ConditionWaiter final : public QueueWaiter {
 public:
  void waitFor(int64_t milliseconds) override;
  void wake() override;

 private:
  std::mutex mutex_;
  std::condition_variable signal_;
  bool woken_ = false;
};

class QueuedTask {
 public:
  virtual ~QueuedTask() = default;
  // Runs the next step. Gives the milliseconds to wait before the step after
  // it, or nothing when the task is finished. An exception ends the task.
  virtual std::optional<int64_t> runStep() = 0;
};

class ForwardQueue {
 public:
  static constexpr int kDefaultThreads = 4;

  ForwardQueue(QueueClock& clock, QueueWaiter& waiter) : clock_(clock), waiter_(waiter) {}
  ~ForwardQueue();  // stop()
  ForwardQueue(const ForwardQueue&) = delete;
  ForwardQueue& operator=(const ForwardQueue&) = delete;

  // The task's first step is due now. Dropped after stop().
  void submit(std::unique_ptr<QueuedTask> task);

  // Starts the worker threads (once; later calls do nothing). Returns false
  // when no thread could be started.
  bool start(int threadCount = kDefaultThreads);
  // Wakes and joins the threads. A step that is running is finished first;
  // tasks still queued are dropped: their remaining posts are never made.
  // Idempotent; the queue accepts nothing afterwards.
  void stop();

  // For tests without threads: runs, on the calling thread, every step due at
  // or before `now` (reading the clock for each re-queue), oldest due first,
  // including steps that become due at `now` through a pause of 0. Returns the
  // number of steps run.
  size_t runDue(int64_t now);
  // Due time of the earliest queued step.
  std::optional<int64_t> nextDue() const;
  size_t queued() const;
  size_t threadCount() const;

 private:
  struct Key {
    int64_t due;
    uint64_t order;
    bool operator<(const Key& other) const {
      return due != other.due ? due < other.due : order < other.order;
    }
  };

  void threadMain();
  // Caller holds mutex_.
  void insertLocked(int64_t due, std::unique_ptr<QueuedTask> task);
  static std::optional<int64_t> runSafely(QueuedTask& task);
  void finishStep(std::unique_ptr<QueuedTask> task, std::optional<int64_t> pause);

  QueueClock& clock_;
  QueueWaiter& waiter_;
  mutable std::mutex mutex_;
  std::map<Key, std::unique_ptr<QueuedTask>> tasks_;
  uint64_t nextOrder_ = 0;
  bool stopping_ = false;
  mutable std::mutex lifecycleMutex_;  // start/stop
  std::vector<std::thread> threads_;
};

}  // namespace morvane
