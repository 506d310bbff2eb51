// pauseFor and the queue threads' waiter on the real waitable timers.
#include "forward/pause_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "forward/forward_queue.h"
#include "win32_support.h"

namespace morvane {
namespace {

ULONGLONG Elapsed(ULONGLONG since) { return ::GetTickCount64() - since; }

TEST(PauseFor, UnitOf250MillisecondsFourTimesIsOneSecond) {
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(pauseFor(4, 250), 1);
  const ULONGLONG ms = Elapsed(start);
  EXPECT_GE(ms, 990u);
  EXPECT_LT(ms, 1500u);
}

TEST(PauseFor, ZeroAndPastTimesReturnAtOnce) {
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(pauseFor(0, 1), 1);
  EXPECT_EQ(pauseFor(std::nullopt, 1), 1);
  EXPECT_EQ(pauseFor(-5, 1), 1);
  EXPECT_LT(Elapsed(start), 200u);
}

TEST(PauseFor, SecondsAndMilliseconds) {
  ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(pauseFor(1, 1), 1);
  EXPECT_GE(Elapsed(start), 990u);
  start = ::GetTickCount64();
  EXPECT_EQ(pauseFor(300, 0), 1);
  const ULONGLONG ms = Elapsed(start);
  EXPECT_GE(ms, 290u);
  EXPECT_LT(ms, 800u);
}

// Counts the WM_TIMER and posted messages a window receives.
std::atomic<int> g_delivered{0};
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1 || message == WM_TIMER) {
    ++g_delivered;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeCountingWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"MorvanePauseTest";
  ::RegisterClassW(&windowClass);
  return ::CreateWindowW(L"MorvanePauseTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                         nullptr);
}

TEST(PauseFor, MessagesFlowWhileItWaits) {
  HWND window = MakeCountingWindow();
  ASSERT_NE(window, nullptr);
  g_delivered = 0;
  // Messages posted from elsewhere during the wait, and a timer of the window itself.
  std::thread poster([window] {
    for (int i = 0; i < 5; ++i) {
      ::Sleep(50);
      ::PostMessageW(window, WM_APP + 1, 0, 0);
    }
  });
  ::SetTimer(window, 1, 100, nullptr);
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(pauseFor(4, 250), 1);
  EXPECT_GE(Elapsed(start), 990u);
  poster.join();
  ::KillTimer(window, 1);
  // The five posts and several timer ticks were dispatched inside the wait.
  EXPECT_GE(g_delivered.load(), 5 + 5);
  ::DestroyWindow(window);
}

TEST(Win32QueueWaiter, TimesOutWakesAndKeepsAnEarlyWake) {
  Win32QueueWaiter waiter;
  ULONGLONG start = ::GetTickCount64();
  waiter.waitFor(300);
  ULONGLONG ms = Elapsed(start);
  EXPECT_GE(ms, 290u);
  EXPECT_LT(ms, 800u);

  // A wake before the wait is kept for it.
  waiter.wake();
  start = ::GetTickCount64();
  waiter.waitFor(QueueWaiter::kForever);
  EXPECT_LT(Elapsed(start), 200u);

  // A wake from another thread ends an endless wait.
  std::thread waker([&waiter] {
    ::Sleep(200);
    waiter.wake();
  });
  start = ::GetTickCount64();
  waiter.waitFor(QueueWaiter::kForever);
  ms = Elapsed(start);
  waker.join();
  EXPECT_GE(ms, 150u);
  EXPECT_LT(ms, 1500u);
}

// The queue on real threads with the Win32 waiter: steps 200 ms apart.
class StepTask final : public QueuedTask {
 public:
  explicit StepTask(std::vector<ULONGLONG>& times) : times_(times) {}
  std::optional<int64_t> runStep() override {
    times_.push_back(::GetTickCount64());
    if (times_.size() == 3) return std::nullopt;
    return 200;
  }

 private:
  std::vector<ULONGLONG>& times_;
};

TEST(Win32QueueWaiter, DrivesTheForwardQueue) {
  SteadyQueueClock clock;
  Win32QueueWaiter waiter;
  ForwardQueue queue(clock, waiter);
  ASSERT_TRUE(queue.start(4));
  std::vector<ULONGLONG> times;
  times.reserve(3);
  queue.submit(std::make_unique<StepTask>(times));
  for (int i = 0; i < 300 && queue.queued() + (times.size() < 3 ? 1 : 0) > 0; ++i) ::Sleep(10);
  queue.stop();
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[1] - times[0], 190u);
  EXPECT_GE(times[2] - times[1], 190u);
  EXPECT_LT(times[2] - times[0], 1500u);
}

}  // namespace
}  // namespace morvane
