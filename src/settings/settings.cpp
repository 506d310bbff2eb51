#include "settings/settings.h"

#include <algorithm>
#include <utility>

namespace morvane {
namespace {

constexpr std::array<std::string_view, kTextFieldCount> kTextNames = {
    "编辑框_监控群", "编辑框_监控群成员", "编辑框_转发群", "编辑框_转发好友", "编辑框_间隔",
    "编辑框_间隔1",  "编辑框_开始",       "编辑框_停止",   "编辑框_水印",     "编辑框_广告",
    "编辑框_敏感",   "编辑框_替换",       "编辑框_主人",
};

constexpr std::array<std::string_view, kSwitchFieldCount> kSwitchNames = {
    "选择框_转图开关", "选择框_群匿名",  "选择框_时间开关", "选择框_星期一", "选择框_星期二",
    "选择框_星期三",   "选择框_星期四",  "选择框_星期五",   "选择框_星期六", "选择框_星期七",
};

constexpr std::array<std::string_view, kChoiceFieldCount> kChoiceNames = {
    "组合框_类型",
    "组合框_文字",
    "组合框_图片",
};

// A list-only combo box selects its last item for an index past the end and
// nothing for an index below -1.
void ClampSelection(ComboState& state) {
  const int count = static_cast<int>(state.items.size());
  if (state.selected >= count) state.selected = count - 1;
  if (state.selected < -1) state.selected = -1;
}

template <typename Names>
std::string_view NameAt(const Names& names, int index) {
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return {};
  return names[static_cast<size_t>(index)];
}

ComboState MakeCombo(std::initializer_list<const char*> texts) {
  ComboState state;
  for (const char* text : texts) state.items.push_back({text, 0});
  state.selected = 0;
  return state;
}

}  // namespace

std::string ComboState::currentText() const {
  if (selected < 0 || selected >= static_cast<int>(items.size())) return {};
  return items[static_cast<size_t>(selected)].text;
}

std::string_view ControlName(TextField field) { return NameAt(kTextNames, static_cast<int>(field)); }
std::string_view ControlName(SwitchField field) { return NameAt(kSwitchNames, static_cast<int>(field)); }
std::string_view ControlName(ChoiceField field) { return NameAt(kChoiceNames, static_cast<int>(field)); }

ComboState Settings::DefaultCombo(ChoiceField field) {
  if (field == ChoiceField::forwardType) return MakeCombo({"原文", "图片", "文字"});
  return MakeCombo({"无", "左上", "左下", "中间", "右上", "右下"});
}

Settings::Settings() {
  texts_[static_cast<size_t>(TextField::pauseMin)] = "5";
  texts_[static_cast<size_t>(TextField::pauseMax)] = "10";
  texts_[static_cast<size_t>(TextField::startHour)] = "8";
  texts_[static_cast<size_t>(TextField::stopHour)] = "22";
  switches_[static_cast<size_t>(SwitchField::forwardOn)] = true;
  for (int i = 0; i < kChoiceFieldCount; ++i) combos_[static_cast<size_t>(i)] = DefaultCombo(ChoiceField(i));
}

std::string Settings::text(TextField field) const {
  std::lock_guard lock(mutex_);
  return texts_[static_cast<size_t>(field)];
}

void Settings::setText(TextField field, std::string value) {
  {
    std::lock_guard lock(mutex_);
    texts_[static_cast<size_t>(field)] = std::move(value);
  }
  notify({Change::Kind::text, static_cast<int>(field)});
}

bool Settings::isOn(SwitchField field) const {
  std::lock_guard lock(mutex_);
  return switches_[static_cast<size_t>(field)];
}

void Settings::setOn(SwitchField field, bool on) {
  {
    std::lock_guard lock(mutex_);
    switches_[static_cast<size_t>(field)] = on;
  }
  notify({Change::Kind::switchBox, static_cast<int>(field)});
}

int Settings::choice(ChoiceField field) const {
  std::lock_guard lock(mutex_);
  return combos_[static_cast<size_t>(field)].selected;
}

ComboState Settings::combo(ChoiceField field) const {
  std::lock_guard lock(mutex_);
  return combos_[static_cast<size_t>(field)];
}

void Settings::setCombo(ChoiceField field, ComboState state) {
  ClampSelection(state);
  {
    std::lock_guard lock(mutex_);
    combos_[static_cast<size_t>(field)] = std::move(state);
  }
  notify({Change::Kind::choice, static_cast<int>(field)});
}

void Settings::setChoice(ChoiceField field, int selected) {
  // One locked step: a read-then-write would put back old items that a
  // concurrent setCombo had just replaced.
  {
    std::lock_guard lock(mutex_);
    ComboState& state = combos_[static_cast<size_t>(field)];
    state.selected = selected;
    ClampSelection(state);
  }
  notify({Change::Kind::choice, static_cast<int>(field)});
}

WatermarkPicture Settings::watermarkPicture() const {
  std::lock_guard lock(mutex_);
  return picture_;
}

void Settings::setWatermarkPicture(WatermarkPicture picture) {
  {
    std::lock_guard lock(mutex_);
    picture_ = std::move(picture);
  }
  notify({Change::Kind::picture, 0});
}

bool Settings::hasWatermarkPicture() const {
  std::lock_guard lock(mutex_);
  return !picture_.bytes.empty() && picture_.bytes.front() != '\0';
}

void Settings::setObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void Settings::notify(const Change& change) const {
  Observer observer;
  {
    std::lock_guard lock(mutex_);
    observer = observer_;
  }
  if (observer) observer(change);
}

}  // namespace morvane
