// The settings model: design defaults, control names, list-only combo boxes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings.h"

namespace morvane {
namespace {

TEST(SettingsTest, DesignDefaults) {
  const Settings s;
  const std::vector<std::pair<TextField, std::string>> texts = {
      {TextField::watchGroups, ""}, {TextField::watchMembers, ""},   {TextField::targetGroups, ""},
      {TextField::targetFriends, ""}, {TextField::pauseMin, "5"},    {TextField::pauseMax, "10"},
      {TextField::startHour, "8"},  {TextField::stopHour, "22"},     {TextField::watermarkText, ""},
      {TextField::tailAdvert, ""},  {TextField::sensitiveWords, ""}, {TextField::replacements, ""},
      {TextField::owner, ""},
  };
  ASSERT_EQ(texts.size(), static_cast<size_t>(kTextFieldCount));
  for (const auto& [field, value] : texts) EXPECT_EQ(s.text(field), value) << ControlName(field);
  for (int i = 0; i < kSwitchFieldCount; ++i) {
    EXPECT_EQ(s.isOn(SwitchField(i)), SwitchField(i) == SwitchField::forwardOn) << ControlName(SwitchField(i));
  }
  const ComboState type = s.combo(ChoiceField::forwardType);
  ASSERT_EQ(type.items.size(), 3u);
  EXPECT_EQ(type.items[2], (ComboItem{"文字", 0}));
  EXPECT_EQ(type.currentText(), "原文");
  for (ChoiceField field : {ChoiceField::watermarkTextPos, ChoiceField::watermarkPicturePos}) {
    const ComboState pos = s.combo(field);
    ASSERT_EQ(pos.items.size(), 6u);
    EXPECT_EQ(pos.items[0].text, "无");
    EXPECT_EQ(pos.items[5].text, "右下");
    EXPECT_EQ(pos.selected, 0);
  }
  EXPECT_FALSE(s.hasWatermarkPicture());
  EXPECT_EQ(s.watermarkPicture().path, "");
}

TEST(SettingsTest, ControlNames) {
  EXPECT_EQ(ControlName(TextField::watchMembers), "编辑框_监控群成员");
  EXPECT_EQ(ControlName(TextField::pauseMax), "编辑框_间隔1");
  EXPECT_EQ(ControlName(TextField::owner), "编辑框_主人");
  EXPECT_EQ(ControlName(SwitchField::forwardOn), "选择框_转图开关");
  EXPECT_EQ(ControlName(SwitchField::weekday1), "选择框_星期一");
  EXPECT_EQ(ControlName(SwitchField::weekday7), "选择框_星期七");
  EXPECT_EQ(ControlName(ChoiceField::watermarkPicturePos), "组合框_图片");
  EXPECT_EQ(ControlName(static_cast<TextField>(99)), "");
}

TEST(SettingsTest, ListOnlyComboClampsTheSelection) {
  Settings s;
  struct Row {
    int asked, selected;
  };
  for (const Row row : {Row{2, 2}, Row{3, 2}, Row{1000, 2}, Row{-1, -1}, Row{-2, -1}, Row{0, 0}}) {
    s.setChoice(ChoiceField::forwardType, row.asked);
    EXPECT_EQ(s.choice(ChoiceField::forwardType), row.selected) << row.asked;
  }
  s.setCombo(ChoiceField::forwardType, {{}, 0});
  EXPECT_EQ(s.choice(ChoiceField::forwardType), -1);
  EXPECT_EQ(s.combo(ChoiceField::forwardType).currentText(), "");
}

// A selection change racing a new item list never brings the old items back.
TEST(SettingsTest, SelectionChangeKeepsConcurrentlyReplacedItems) {
  Settings s;
  std::atomic<bool> stop{false};
  std::thread chooser([&] {
    for (int i = 0; !stop; ++i) s.setChoice(ChoiceField::watermarkTextPos, i % 2);
  });
  int reverted = 0;
  for (int k = 0; k < 20000; ++k) {
    const std::vector<ComboItem> items = {{std::to_string(k), 0}, {"乙", 0}};
    s.setCombo(ChoiceField::watermarkTextPos, {items, 0});
    for (int read = 0; read < 3; ++read) reverted += s.combo(ChoiceField::watermarkTextPos).items != items;
  }
  stop = true;
  chooser.join();
  EXPECT_EQ(reverted, 0);
}

TEST(SettingsTest, ObserverHearsEveryWrite) {
  Settings s;
  std::vector<std::pair<Settings::Change::Kind, int>> changes;
  s.setObserver([&](const Settings::Change& c) { changes.emplace_back(c.kind, c.index); });
  s.setText(TextField::owner, "1");
  s.setOn(SwitchField::weekday3, true);
  s.setChoice(ChoiceField::watermarkPicturePos, 2);
  s.setWatermarkPicture({"x", "p"});
  using K = Settings::Change::Kind;
  EXPECT_EQ(changes, (std::vector<std::pair<K, int>>{{K::text, static_cast<int>(TextField::owner)},
                                                     {K::switchBox, static_cast<int>(SwitchField::weekday3)},
                                                     {K::choice, static_cast<int>(ChoiceField::watermarkPicturePos)},
                                                     {K::picture, 0}}));
}

}  // namespace
}  // namespace morvane
