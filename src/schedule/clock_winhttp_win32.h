// The network clock over the WinHTTP request object (Win32 build only).
#pragma once

#include <optional>
#include <string>

#include "schedule/schedule.h"

namespace morvane {

// The response headers of one HEAD request to `address` made through
// "WinHttp.WinHttpRequest.5.1" on the calling thread; nullopt when the object
// cannot be made or the request gets no answer. Blocks for as long as the
// object's time-outs allow (enforced on Windows, not under Wine).
std::optional<std::string> RequestTimeHeaders(const std::string& address);

// The platform's HTTP-date parser (InternetTimeToSystemTimeA).
std::optional<CalendarFields> PlatformHttpDate(const std::string& text);

// networkTime: the request runs on a short-lived thread of its own, and the
// caller (the window's thread) waits for it at most kWindowWaitMs. A request
// still running then is abandoned: its answer is dropped, and until it ends
// no new one starts (each tick gives "unreadable" meanwhile), so at most one
// request is ever in flight. The thread holds a reference on the module, so
// unloading the plug-in under it is safe.
class WinHttpClock final : public NetworkClock {
 public:
  static constexpr unsigned long kWindowWaitMs = 20000;

  explicit WinHttpClock(std::string address, unsigned long waitMs = kWindowWaitMs);
  ~WinHttpClock() override;
  WinHttpClock(const WinHttpClock&) = delete;
  WinHttpClock& operator=(const WinHttpClock&) = delete;

  std::optional<NetworkTime> networkTime() override;

 private:
  std::string address_;
  unsigned long waitMs_;
  void* inFlight_ = nullptr;  // thread handle of an abandoned request
};

}  // namespace morvane
