#include "forward/forward_queue.h"

#include <algorithm>
// std::chrono comes through <condition_variable>: <chrono> itself does not
// compile with a GBK execution character set (GCC 12).
#include <condition_variable>
#include <limits>

namespace morvane {
namespace {

// Long waits are cut into pieces so that no clock arithmetic can overflow;
// the thread just looks at the queue again.
constexpr int64_t kLongestWaitMs = 3600 * 1000;

int64_t AddSaturated(int64_t a, int64_t b) {
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) return std::numeric_limits<int64_t>::max();
  return a + b;
}

}  // namespace

int64_t SteadyQueueClock::nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void ConditionWaiter::waitFor(int64_t milliseconds) {
  std::unique_lock lock(mutex_);
  if (milliseconds == kForever) {
    signal_.wait(lock, [this] { return woken_; });
  } else {
    const int64_t ms = std::clamp<int64_t>(milliseconds, 0, kLongestWaitMs);
    signal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return woken_; });
  }
  woken_ = false;
}

void ConditionWaiter::wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  signal_.notify_one();
}

ForwardQueue::~ForwardQueue() { stop(); }

void ForwardQueue::insertLocked(int64_t due, std::unique_ptr<QueuedTask> task) {
  tasks_.emplace(Key{due, nextOrder_++}, std::move(task));
}

void ForwardQueue::submit(std::unique_ptr<QueuedTask> task) {
  if (!task) return;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    insertLocked(clock_.nowMs(), std::move(task));
  }
  waiter_.wake();
}

std::optional<int64_t> ForwardQueue::runSafely(QueuedTask& task) {
  try {
    const std::optional<int64_t> pause = task.runStep();
    if (pause) return std::max<int64_t>(*pause, 0);
    return std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

void ForwardQueue::finishStep(std::unique_ptr<QueuedTask> task, std::optional<int64_t> pause) {
  if (!pause) return;  // the task is destroyed outside the lock
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    insertLocked(AddSaturated(clock_.nowMs(), *pause), std::move(task));
  }
  waiter_.wake();
}

size_t ForwardQueue::runDue(int64_t now) {
  size_t steps = 0;
  for (;;) {
    std::unique_ptr<QueuedTask> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty() || tasks_.begin()->first.due > now) return steps;
      task = std::move(tasks_.begin()->second);
      tasks_.erase(tasks_.begin());
    }
    const std::optional<int64_t> pause = runSafely(*task);
    ++steps;
    finishStep(std::move(task), pause);
  }
}

std::optional<int64_t> ForwardQueue::nextDue() const {
  std::lock_guard lock(mutex_);
  if (tasks_.empty()) return std::nullopt;
  return tasks_.begin()->first.due;
}

size_t ForwardQueue::queued() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

size_t ForwardQueue::threadCount() const {
  std::lock_guard lock(lifecycleMutex_);
  return threads_.size();
}

bool ForwardQueue::start(int threadCount) {
  std::lock_guard lifecycle(lifecycleMutex_);
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
  }
  if (!threads_.empty()) return true;
  for (int i = 0; i < std::max(threadCount, 1); ++i) {
    try {
      threads_.emplace_back([this] { threadMain(); });
    } catch (...) {
      break;  // run with the threads there are
    }
  }
  return !threads_.empty();
}

void ForwardQueue::stop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  std::map<Key, std::unique_ptr<QueuedTask>> dropped;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped.swap(tasks_);
  }
  waiter_.wake();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
}

void ForwardQueue::threadMain() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (tasks_.empty()) {
      lock.unlock();
      waiter_.waitFor(QueueWaiter::kForever);
      lock.lock();
      continue;
    }
    const int64_t now = clock_.nowMs();
    auto first = tasks_.begin();
    if (first->first.due > now) {
      const int64_t wait = std::min(first->first.due - now, kLongestWaitMs);
      lock.unlock();
      waiter_.waitFor(wait);
      lock.lock();
      continue;
    }
    std::unique_ptr<QueuedTask> task = std::move(first->second);
    tasks_.erase(first);
    const bool more = !tasks_.empty();
    lock.unlock();
    // Another thread takes over watching the rest while this one runs the step.
    if (more) waiter_.wake();
    const std::optional<int64_t> pause = runSafely(*task);
    finishStep(std::move(task), pause);
    lock.lock();
  }
  lock.unlock();
  // Pass the stop on to the next waiting thread.
  waiter_.wake();
}

}  // namespace morvane
