// The plug-in's lifecycle and event dispatch, behind the exported functions.
// The exports copy their text arguments and call in here; nothing here throws.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "host/host_api.h"

namespace morvane {

// The settings window as the lifecycle sees it. create() runs on the calling
// thread (top-level, non-modal, no owner) and its creation handler loads the
// settings; the window then lives until the library is unloaded.
class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;
  virtual bool exists() = 0;
  virtual void create() = 0;
  virtual void show() = 0;
};

// "text (ERROR code)", the text the host's fatal-error call receives.
std::string FatalReport(int32_t code, std::string_view text);

class Plugin {
 public:
  using OwnerCommandHandler = std::function<int32_t(int64_t fromGroup, int64_t fromQQ, const std::string& msg)>;
  using MessageAdmitter = std::function<void(int64_t fromGroup, int64_t fromQQ, const std::string& msg)>;

  Plugin(HostLibrary& library, SettingsWindow& window);

  // The manifest text; valid until the next call.
  const char* AppInfo();
  int32_t Initialize(int32_t authCode, int32_t initExtra);
  int32_t eventStartup();
  int32_t eventEnable();
  int32_t eventDisable();
  int32_t menuA();
  int32_t eventGroupMsg(int64_t fromGroup, int64_t fromQQ, const std::string& msg);

  // Reports a fatal internal error to the host once Initialize has run.
  void reportFatal(int32_t code, std::string_view text);
  bool initialized() const { return initialized_.load(); }

  HostApi& hostApi() { return hostApi_; }
  bool pluginActive() const { return pluginActive_.load() == 1; }
  std::string appDirectory() const;

  // Filled by the start-up wiring; an empty handler passes the message on.
  void setOwnerCommandHandler(OwnerCommandHandler handler) { handleOwnerCommand_ = std::move(handler); }
  void setMessageAdmitter(MessageAdmitter admitter) { admitMessage_ = std::move(admitter); }

 private:
  HostApi hostApi_;
  SettingsWindow& window_;
  std::atomic<int32_t> pluginActive_{0};
  std::atomic<bool> initialized_{false};
  mutable std::mutex mutex_;  // guards appDirectory_, manifest_ and window creation
  std::string appDirectory_;
  std::string manifest_;
  OwnerCommandHandler handleOwnerCommand_;
  MessageAdmitter admitMessage_;
};

}  // namespace morvane
