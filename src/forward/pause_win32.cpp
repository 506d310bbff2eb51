#include "forward/pause_win32.h"

#include <algorithm>

#include "forward/pause.h"
#include "win32_support.h"

namespace morvane {
namespace {

using win32::ScopedKernelHandle;

void DispatchPendingMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Waits for any of `handles` (none: only messages) while dispatching messages.
// Returns the index of the handle that ended the wait, or -1 on a failed wait.
int WaitPumping(const HANDLE* handles, DWORD count, DWORD timeoutMs) {
  for (;;) {
    const DWORD result = ::MsgWaitForMultipleObjects(count, handles, FALSE, timeoutMs, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + count) {
      DispatchPendingMessages();
      continue;
    }
    if (result < WAIT_OBJECT_0 + count) return static_cast<int>(result - WAIT_OBJECT_0);
    return -1;  // time-out or failure
  }
}

// Starts an unnamed auto-reset timer due at `due` (100-ns units, negative: from now).
ScopedKernelHandle StartTimer(int64_t due) {
  ScopedKernelHandle timer(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
  if (!timer) return timer;
  LARGE_INTEGER dueTime;
  dueTime.QuadPart = due;
  if (!::SetWaitableTimer(timer.get(), &dueTime, 0, nullptr, nullptr, FALSE)) timer.reset();
  return timer;
}

// Without a timer: wait out a relative due time in slices, messages flowing.
void WaitWithoutTimer(int64_t due) {
  if (due >= 0) return;  // absolute or zero: already passed
  const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(-(due / 10000));
  for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
    const ULONGLONG left = std::min<ULONGLONG>(end - now, 0x7FFFFFFF);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    DispatchPendingMessages();
  }
}

}  // namespace

int32_t pauseFor(std::optional<int32_t> count, std::optional<int64_t> unit) {
  const int64_t due = PauseDueTime(count, unit);
  ScopedKernelHandle timer = StartTimer(due);
  if (!timer) {
    WaitWithoutTimer(due);
    return 1;
  }
  const HANDLE handle = timer.get();
  WaitPumping(&handle, 1, INFINITE);
  return 1;
}

Win32QueueWaiter::Win32QueueWaiter() : wakeEvent_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

Win32QueueWaiter::~Win32QueueWaiter() {
  if (wakeEvent_) ::CloseHandle(static_cast<HANDLE>(wakeEvent_));
}

void Win32QueueWaiter::wake() {
  if (wakeEvent_) ::SetEvent(static_cast<HANDLE>(wakeEvent_));
}

void Win32QueueWaiter::waitFor(int64_t milliseconds) {
  if (milliseconds != kForever && milliseconds <= 0) return;
  HANDLE handles[2] = {static_cast<HANDLE>(wakeEvent_), nullptr};
  if (!handles[0]) {
    // No event to be woken by: a bounded nap keeps the queue moving.
    WaitWithoutTimer(-std::clamp<int64_t>(milliseconds == kForever ? 50 : milliseconds, 1, 50) * 10000);
    return;
  }
  if (milliseconds == kForever) {
    WaitPumping(handles, 1, INFINITE);
    return;
  }
  ScopedKernelHandle timer = StartTimer(-milliseconds * 10000);
  if (!timer) {
    WaitPumping(handles, 1, static_cast<DWORD>(std::min<int64_t>(milliseconds, 0x7FFFFFFF)));
    return;
  }
  handles[1] = timer.get();
  WaitPumping(handles, 2, INFINITE);
}

}  // namespace morvane
