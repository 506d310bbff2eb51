// The settings window "Morvane机器人" (Win32 build only).
// Created on the thread that calls create(), served by that thread's message
// loop; closing it only hides it.
#pragma once

#include <cstddef>
#include <functional>

#include "plugin/plugin.h"
#include "settings/run_log.h"

namespace morvane {

class Win32SettingsWindow final : public SettingsWindow {
 public:
  struct Handlers {
    std::function<void()> created;  // loads the settings
    std::function<void()> tick;     // once a minute
    std::function<void()> save;     // the "保存配置" button
    // The run log shown on the "日志" page, read row by row.
    std::function<size_t()> logRowCount;
    std::function<bool(size_t index, LogRow& row)> logRow;
  };

  explicit Win32SettingsWindow(Handlers handlers);
  ~Win32SettingsWindow() override;

  bool exists() override;
  void create() override;
  void show() override;

  // Any thread: the log list catches up with the run log on the window's thread.
  void runLogChanged();

  struct State;

 private:
  State* state_;
};

}  // namespace morvane
