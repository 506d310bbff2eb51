#include "plugin/plugin.h"

#include "plugin/manifest.h"

namespace morvane {

std::string FatalReport(int32_t code, std::string_view text) {
  return std::string(text) + " (ERROR" + std::to_string(code) + ")";
}

Plugin::Plugin(HostLibrary& library, SettingsWindow& window)
    : hostApi_(library), window_(window) {}

const char* Plugin::AppInfo() {
  std::lock_guard lock(mutex_);
  manifest_ = BuildManifest();
  return manifest_.c_str();
}

int32_t Plugin::Initialize(int32_t authCode, int32_t initExtra) {
  if (int32_t code = hostApi_.setAuthCode(authCode); code != 0) return code;
  if (int32_t code = hostApi_.setInitExtra(initExtra); code != 0) return code;
  initialized_.store(true);
  return 0;
}

int32_t Plugin::eventStartup() {
  std::string directory = hostApi_.appDirectory();
  std::lock_guard lock(mutex_);
  appDirectory_ = std::move(directory);
  return 0;
}

std::string Plugin::appDirectory() const {
  std::lock_guard lock(mutex_);
  return appDirectory_;
}

int32_t Plugin::eventEnable() {
  if (!window_.exists()) window_.create();
  pluginActive_.store(1);
  return 0;
}

int32_t Plugin::eventDisable() {
  pluginActive_.store(0);
  return 0;
}

int32_t Plugin::menuA() {
  // The menu entry is the user asking for the window: a window created here is shown too.
  if (!window_.exists()) window_.create();
  window_.show();
  return 0;
}

int32_t Plugin::eventGroupMsg(int64_t fromGroup, int64_t fromQQ, const std::string& msg) {
  if (pluginActive_.load() != 1) return 0;
  if (handleOwnerCommand_ && handleOwnerCommand_(fromGroup, fromQQ, msg) == 1) return 0;
  if (admitMessage_) admitMessage_(fromGroup, fromQQ, msg);
  return 0;
}

void Plugin::reportFatal(int32_t code, std::string_view text) {
  if (!initialized_.load()) return;
  hostApi_.reportFatal(FatalReport(code, text));
}

}  // namespace morvane
