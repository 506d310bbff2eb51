// The settings window "Morvane机器人" (Win32 build only).
// Created on the thread that calls create(), served by that thread's message
// loop; closing it only hides it.
//
// The setting controls mirror the Settings model: edits write through at once,
// and every model write (from any thread) is posted to the window, which
// refreshes that control. Control IDs, stable for tests and tools:
//   2000 + TextField index    edit boxes        (编辑框_监控群 = 2000 ... 编辑框_主人 = 2012)
//   2100 + SwitchField index  check boxes       (选择框_转图开关 = 2100 ... 选择框_星期七 = 2109)
//   2200 + ChoiceField index  combo boxes       (组合框_类型 = 2200, 组合框_文字 = 2201, 组合框_图片 = 2202)
//   2300 图片框_图片, 2301 透明标签_公告, 2302 透明标签_客服qq
//   1001 保存配置, 1002 tab control, 1003 超级列表框_日志,
//   1010 加水印图, 1011 清空水印图, 1012 咨询, 1013 更新地址, 1014 视频教程
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "plugin/plugin.h"
#include "schedule/publisher.h"
#include "settings/run_log.h"
#include "settings/settings.h"

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
    // The model the setting controls show and edit.
    Settings* settings = nullptr;
    // Texts for the labels and the support buttons; read after `created`.
    std::function<PublisherTexts()> publisher;
    // A picked picture file's bytes (GBK path); nullopt when unreadable.
    std::function<std::optional<std::string>(const std::string& path)> readFile;
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
