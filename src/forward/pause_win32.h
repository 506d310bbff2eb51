// Waiting that keeps the calling thread's window messages flowing (Win32 only;
// no <windows.h> here so that the plug-in's wiring can include it).
#pragma once

#include <cstdint>
#include <optional>

#include "forward/forward_queue.h"

namespace morvane {

// Waits count units (see PauseDueTime) on an unnamed auto-reset waitable
// timer, dispatching the thread's window messages whenever they arrive, and
// returns 1 when the time has passed. A count of 0 returns at once.
int32_t pauseFor(std::optional<int32_t> count = std::nullopt, std::optional<int64_t> unit = std::nullopt);

// The queue threads' waiter: a waitable timer per wait and one auto-reset wake
// event, with the thread's messages dispatched while it waits.
class Win32QueueWaiter final : public QueueWaiter {
 public:
  Win32QueueWaiter();
  ~Win32QueueWaiter() override;
  Win32QueueWaiter(const Win32QueueWaiter&) = delete;
  Win32QueueWaiter& operator=(const Win32QueueWaiter&) = delete;

  void waitFor(int64_t milliseconds) override;
  void wake() override;

 private:
  void* wakeEvent_;  // HANDLE
};

}  // namespace morvane
