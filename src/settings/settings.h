// Settings: the live values of the settings window's controls.
//
// The model is the store the window mirrors: every reader gets the current
// value, every write is shown by the window at once (through the observer) and
// the window's edits write through at once. Nothing is saved by a write.
// Each read or write of one field is whole; readers on any thread take a short
// lock and never wait for the window's thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// Edit boxes, in the order the settings file writes them.
enum class TextField {
  watchGroups,     // 编辑框_监控群
  watchMembers,    // 编辑框_监控群成员
  targetGroups,    // 编辑框_转发群
  targetFriends,   // 编辑框_转发好友
  pauseMin,        // 编辑框_间隔
  pauseMax,        // 编辑框_间隔1
  startHour,       // 编辑框_开始
  stopHour,        // 编辑框_停止
  watermarkText,   // 编辑框_水印
  tailAdvert,      // 编辑框_广告
  sensitiveWords,  // 编辑框_敏感
  replacements,    // 编辑框_替换
  owner,           // 编辑框_主人
};
inline constexpr int kTextFieldCount = 13;

// Check boxes, in the order the settings file writes them. The weekday boxes
// carry the day numbers 1 (Sunday) to 7 (Saturday): 选择框_星期一 is day 1.
enum class SwitchField {
  forwardOn,   // 选择框_转图开关
  anonymous,   // 选择框_群匿名
  scheduleOn,  // 选择框_时间开关
  weekday1,    // 选择框_星期一 (Sunday)
  weekday2,
  weekday3,
  weekday4,
  weekday5,
  weekday6,
  weekday7,  // 选择框_星期七 (Saturday)
};
inline constexpr int kSwitchFieldCount = 10;

// List-only combo boxes.
enum class ChoiceField {
  forwardType,          // 组合框_类型: 原文, 图片, 文字
  watermarkTextPos,     // 组合框_文字: 无, 左上, 左下, 中间, 右上, 右下
  watermarkPicturePos,  // 组合框_图片: the same six
};
inline constexpr int kChoiceFieldCount = 3;

struct ComboItem {
  std::string text;
  int32_t value = 0;
  bool operator==(const ComboItem&) const = default;
};

struct ComboState {
  std::vector<ComboItem> items;
  int selected = -1;  // -1: nothing selected
  bool operator==(const ComboState&) const = default;
  // The selected item's text, or "" when nothing is selected.
  std::string currentText() const;
};

struct WatermarkPicture {
  std::string bytes;  // the file's content as loaded; empty when none
  std::string path;   // watermarkPicturePath
};

// Control names, which the settings file uses as keys.
std::string_view ControlName(TextField field);
std::string_view ControlName(SwitchField field);
std::string_view ControlName(ChoiceField field);

class Settings {
 public:
  // Which field changed; the window refreshes that control.
  struct Change {
    enum class Kind { text, switchBox, choice, picture } kind;
    int index;  // the field's enum value
  };
  using Observer = std::function<void(const Change&)>;

  Settings();  // every field at its design default

  std::string text(TextField field) const;
  void setText(TextField field, std::string value);

  bool isOn(SwitchField field) const;
  void setOn(SwitchField field, bool on);

  int choice(ChoiceField field) const;  // selected index, -1 for none
  ComboState combo(ChoiceField field) const;
  void setCombo(ChoiceField field, ComboState state);
  void setChoice(ChoiceField field, int selected);  // clamped as a list-only combo box does

  WatermarkPicture watermarkPicture() const;
  void setWatermarkPicture(WatermarkPicture picture);
  // The picture counts as set when its bytes are not empty and the first is not zero.
  bool hasWatermarkPicture() const;

  // Called after each write, on the writer's thread, outside the lock.
  void setObserver(Observer observer);

  static ComboState DefaultCombo(ChoiceField field);

 private:
  void notify(const Change& change) const;

  mutable std::mutex mutex_;
  std::array<std::string, kTextFieldCount> texts_;
  std::array<bool, kSwitchFieldCount> switches_{};
  std::array<ComboState, kChoiceFieldCount> combos_;
  WatermarkPicture picture_;
  Observer observer_;
};

}  // namespace morvane
