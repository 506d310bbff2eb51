#include "forward/forward_queue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <stdexcept>

#include "forward_fakes.h"

namespace morvane {
namespace {

// A task that notes each step in a shared journal and then waits the given pauses.
class ScriptTask final : public QueuedTask {
 public:
  ScriptTask(std::string name, std::vector<int64_t> pauses, std::vector<std::string>& journal,
             std::mutex& journalMutex)
      : name_(std::move(name)), pauses_(std::move(pauses)), journal_(journal), journalMutex_(journalMutex) {}
  std::optional<int64_t> runStep() override {
    {
      std::lock_guard lock(journalMutex_);
      journal_.push_back(name_ + std::to_string(step_));
    }
    if (step_ >= pauses_.size()) return std::nullopt;
    return pauses_[step_++];
  }

 private:
  std::string name_;
  std::vector<int64_t> pauses_;
  size_t step_ = 0;
  std::vector<std::string>& journal_;
  std::mutex& journalMutex_;
};

class QueueTest : public ::testing::Test {
 protected:
  void add(const std::string& name, std::vector<int64_t> pauses) {
    queue.submit(std::make_unique<ScriptTask>(name, std::move(pauses), journal, journalMutex));
  }
  std::vector<std::string> take() {
    std::lock_guard lock(journalMutex);
    return std::exchange(journal, {});
  }

  ManualQueueClock clock;
  ConditionWaiter waiter;
  ForwardQueue queue{clock, waiter};
  std::mutex journalMutex;
  std::vector<std::string> journal;
};

using Journal = std::vector<std::string>;

TEST_F(QueueTest, DueOrderThenArrivalOrder) {
  add("a", {10, 10});
  add("b", {5});
  add("c", {0, 0});
  EXPECT_EQ(queue.runDue(0), 5u);  // a0 b0 c0, then c1 and c2 through their pauses of 0
  EXPECT_EQ(take(), (Journal{"a0", "b0", "c0", "c1", "c2"}));
  EXPECT_EQ(queue.nextDue(), std::optional<int64_t>(5));
  clock.set(10);
  queue.runDue(10);
  EXPECT_EQ(take(), (Journal{"b1", "a1"}));
  clock.set(20);
  queue.runDue(20);
  EXPECT_EQ(take(), (Journal{"a2"}));
  EXPECT_EQ(queue.queued(), 0u);
  EXPECT_EQ(queue.nextDue(), std::nullopt);
}

TEST_F(QueueTest, NothingRunsBeforeItsTime) {
  clock.set(100);
  add("a", {50});
  queue.runDue(100);
  EXPECT_EQ(queue.runDue(149), 0u);
  EXPECT_EQ(queue.runDue(150), 1u);
}

TEST_F(QueueTest, HugeAndNegativePausesAreSafe) {
  add("a", {INT64_MAX, 1});
  add("b", {-5});
  queue.runDue(0);
  EXPECT_EQ(take(), (Journal{"a0", "b0", "b1"}));
  EXPECT_EQ(queue.nextDue(), std::optional<int64_t>(INT64_MAX));
}

TEST_F(QueueTest, ThrowingStepEndsOnlyItsTask) {
  struct Thrower final : QueuedTask {
    std::optional<int64_t> runStep() override { throw std::runtime_error("boom"); }
  };
  queue.submit(std::make_unique<Thrower>());
  add("a", {});
  EXPECT_EQ(queue.runDue(0), 2u);
  EXPECT_EQ(take(), (Journal{"a0"}));
  EXPECT_EQ(queue.queued(), 0u);
}

TEST_F(QueueTest, StopDropsQueuedTasksAndRefusesNewOnes) {
  add("a", {10, 10});
  queue.runDue(0);
  queue.stop();
  EXPECT_EQ(queue.queued(), 0u);
  add("b", {});
  EXPECT_EQ(queue.queued(), 0u);
  EXPECT_FALSE(queue.start());
  queue.stop();  // again: nothing happens
}

// ---- With threads ----

TEST(ForwardQueueThreads, RunsEveryStepOnAFixedNumberOfThreads) {
  SteadyQueueClock clock;
  ConditionWaiter waiter;
  ForwardQueue queue(clock, waiter);
  ASSERT_TRUE(queue.start(4));
  EXPECT_TRUE(queue.start(8));  // already running
  EXPECT_EQ(queue.threadCount(), 4u);

  std::mutex mutex;
  std::vector<std::string> journal;
  constexpr int kTasks = 200;
  for (int i = 0; i < kTasks; ++i) {
    queue.submit(std::make_unique<ScriptTask>("t" + std::to_string(i) + ".", std::vector<int64_t>{0, 1, 0}, journal,
                                              mutex));
  }
  // Wait (bounded) until every step has run.
  for (int spins = 0; spins < 20000; ++spins) {
    {
      std::lock_guard lock(mutex);
      if (journal.size() == kTasks * 4u) break;
    }
    std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  queue.stop();
  EXPECT_EQ(queue.threadCount(), 0u);
  ASSERT_EQ(journal.size(), kTasks * 4u);
  // Each task's steps in order.
  for (int i = 0; i < kTasks; ++i) {
    const std::string name = "t" + std::to_string(i) + ".";
    int expected = 0;
    for (const std::string& entry : journal) {
      if (entry.rfind(name, 0) == 0 && entry.size() == name.size() + 1) {
        EXPECT_EQ(entry, name + std::to_string(expected)) << name;
        ++expected;
      }
    }
    EXPECT_EQ(expected, 4) << name;
  }
}

TEST(ForwardQueueThreads, ABlockedStepHoldsOnlyItsOwnThread) {
  SteadyQueueClock clock;
  ConditionWaiter waiter;
  ForwardQueue queue(clock, waiter);
  ASSERT_TRUE(queue.start(2));

  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> otherDone;

  struct Blocking final : QueuedTask {
    std::shared_future<void> until;
    std::optional<int64_t> runStep() override {
      until.wait_for(std::chrono::seconds(30));
      return std::nullopt;
    }
  };
  struct Counting final : QueuedTask {
    int steps = 0;
    std::promise<void>* done;
    std::optional<int64_t> runStep() override {
      if (++steps == 5) {
        done->set_value();
        return std::nullopt;
      }
      return 0;
    }
  };
  auto blocking = std::make_unique<Blocking>();
  blocking->until = released;
  queue.submit(std::move(blocking));
  auto counting = std::make_unique<Counting>();
  counting->done = &otherDone;
  queue.submit(std::move(counting));

  const bool finished =
      otherDone.get_future().wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  release.set_value();
  queue.stop();
  EXPECT_TRUE(finished);
}

TEST(ForwardQueueThreads, StopWakesIdleAndWaitingThreads) {
  SteadyQueueClock clock;
  ConditionWaiter waiter;
  ForwardQueue queue(clock, waiter);
  ASSERT_TRUE(queue.start(4));
  std::mutex mutex;
  std::vector<std::string> journal;
  // One task waits an hour; stop must not wait for it.
  queue.submit(std::make_unique<ScriptTask>("long", std::vector<int64_t>{3600 * 1000}, journal, mutex));
  for (int spins = 0; spins < 5000; ++spins) {
    {
      std::lock_guard lock(mutex);
      if (!journal.empty()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  queue.stop();
  EXPECT_EQ(queue.queued(), 0u);
  EXPECT_EQ(journal, (std::vector<std::string>{"long0"}));
}

}  // namespace
}  // namespace morvane
