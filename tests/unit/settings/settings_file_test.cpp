// saveSettings and loadSettings over the fake profile store: the file's exact
// content, loading files as stored, round trips, interrupted and concurrent saves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fakes/profile_store_fake.h"
#include "profile_store_contract.h"
#include "settings/settings_file.h"

namespace morvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr char kDir[] = "C:\\fake\\";
const std::string kPath = SettingsFilePath(kDir);
const std::string kTemp = kPath + ".new";
const std::string kPicturePath = std::string(kDir) + "水印.png";

void ExpectSameSettings(const Settings& a, const Settings& b) {
  for (int i = 0; i < kTextFieldCount; ++i) {
    EXPECT_EQ(a.text(TextField(i)), b.text(TextField(i))) << ControlName(TextField(i));
  }
  for (int i = 0; i < kSwitchFieldCount; ++i) {
    EXPECT_EQ(a.isOn(SwitchField(i)), b.isOn(SwitchField(i))) << ControlName(SwitchField(i));
  }
  for (int i = 0; i < kChoiceFieldCount; ++i) {
    EXPECT_EQ(a.combo(ChoiceField(i)), b.combo(ChoiceField(i))) << ControlName(ChoiceField(i));
  }
  EXPECT_EQ(a.watermarkPicture().path, b.watermarkPicture().path);
  EXPECT_EQ(a.watermarkPicture().bytes, b.watermarkPicture().bytes);
}

// Every field away from its default, the texts full of what the file format has to carry.
void FillEverything(Settings& s, std::string_view tag) {
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  const std::vector<std::string> texts = {
      "111\r\n222\r\n",  "1\r2\n3",       "'#'",         " 头尾空格 ",   "0",          "abc",   "23",
      "\"引号\"",        "><br><#引号",   bytes,         "'单引号'",     "a=b=c#d=e",  "123456",
  };
  for (int i = 0; i < kTextFieldCount; ++i) s.setText(TextField(i), texts[static_cast<size_t>(i)] + std::string(tag));
  for (int i = 0; i < kSwitchFieldCount; ++i) s.setOn(SwitchField(i), i % 3 != 0);
  s.setChoice(ChoiceField::forwardType, 2);
  s.setChoice(ChoiceField::watermarkTextPos, 5);
  s.setCombo(ChoiceField::watermarkPicturePos, {{{"甲|乙", 3}, {"\r\n", -1}}, 1});
  s.setWatermarkPicture({"not loaded from here", kPicturePath});
}

class SettingsFileTest : public ::testing::Test {
 protected:
  SettingsFileTest() { store.putFile(kPicturePath, std::string("\x89PNG\r\n\x1a\n\0\x01", 10)); }

  std::vector<std::string> fileLines() { return FileLines(store.fileBytes(kPath).value_or("")); }
  // A fresh window: defaults, then the file.
  void loadInto(Settings& fresh) {
    SettingsFile file(fresh, store, [] { return kPath; });
    file.loadSettings();
  }

  FakeProfileStore store;
  Settings settings;
  SettingsFile file{settings, store, [] { return kPath; }};
};

TEST_F(SettingsFileTest, NoFileLeavesTheDefaults) {
  settings.setWatermarkPicture({"old", "old path"});
  file.loadSettings();
  Settings defaults;
  ExpectSameSettings(settings, defaults);
  EXPECT_TRUE(settings.isOn(SwitchField::forwardOn));
  EXPECT_EQ(settings.text(TextField::pauseMin), "5");
  EXPECT_EQ(settings.text(TextField::pauseMax), "10");
  EXPECT_EQ(settings.text(TextField::startHour), "8");
  EXPECT_EQ(settings.text(TextField::stopHour), "22");
  EXPECT_EQ(settings.choice(ChoiceField::forwardType), 0);
  EXPECT_EQ(settings.watermarkPicture().path, "");
  EXPECT_EQ(settings.watermarkPicture().bytes, "");
}

TEST_F(SettingsFileTest, SaveWritesSectionsKeysAndValuesAsStored) {
  settings.setText(TextField::watchGroups, "111\r\n222");
  settings.setText(TextField::watermarkText, "say \"hi\"");
  settings.setText(TextField::pauseMin, "");
  settings.setOn(SwitchField::anonymous, true);
  settings.setOn(SwitchField::weekday7, true);
  settings.setChoice(ChoiceField::forwardType, 1);
  settings.setChoice(ChoiceField::watermarkPicturePos, -1);
  settings.setWatermarkPicture({"bytes", kPicturePath});
  ASSERT_TRUE(file.saveSettings());

  const std::string six = "无<|>0<||>左上<|>0<||>左下<|>0<||>中间<|>0<||>右上<|>0<||>右下<|>0<||>";
  EXPECT_THAT(fileLines(), ElementsAreArray(std::vector<std::string>{
                               "[选择框]",
                               "选择框_转图开关=真",
                               "选择框_群匿名=真",
                               "选择框_时间开关=假",
                               "选择框_星期一=假",
                               "选择框_星期二=假",
                               "选择框_星期三=假",
                               "选择框_星期四=假",
                               "选择框_星期五=假",
                               "选择框_星期六=假",
                               "选择框_星期七=真",
                               "[编辑框]",
                               "编辑框_监控群=111><br><222",
                               "编辑框_监控群成员=",
                               "编辑框_转发群=",
                               "编辑框_转发好友=",
                               "编辑框_间隔=",
                               "编辑框_间隔1=10",
                               "编辑框_开始=8",
                               "编辑框_停止=22",
                               "编辑框_水印=say #引号hi#引号",
                               "编辑框_广告=",
                               "编辑框_敏感=",
                               "编辑框_替换=",
                               "编辑框_主人=",
                               "[组合框]",
                               "组合框_类型=原文<|>0<||>图片<|>0<||>文字<|>0<||>1<|>图片",
                               "组合框_文字=" + six + "0<|>无",
                               "组合框_图片=" + six + "-1<|>",
                               "[图片水印]",
                               "图片水印=" + kPicturePath,
                           }));
  EXPECT_EQ(store.fileBytes(kTemp), std::nullopt);
}

TEST_F(SettingsFileTest, LoadAfterSaveRestoresEveryField) {
  FillEverything(settings, "");
  ASSERT_TRUE(file.saveSettings());
  Settings loaded;
  loadInto(loaded);
  // The picture comes from its file, not from what the window held.
  settings.setWatermarkPicture({*store.fileBytes(kPicturePath), kPicturePath});
  ExpectSameSettings(loaded, settings);
}

TEST_F(SettingsFileTest, PictureSurvivesTwoRestartsWithASaveBetween) {
  settings.setWatermarkPicture({*store.fileBytes(kPicturePath), kPicturePath});
  ASSERT_TRUE(file.saveSettings());
  Settings second;
  loadInto(second);
  SettingsFile(second, store, [] { return kPath; }).saveSettings();
  Settings third;
  loadInto(third);
  EXPECT_EQ(third.watermarkPicture().bytes, *store.fileBytes(kPicturePath));
  EXPECT_EQ(third.watermarkPicture().path, kPicturePath);
  EXPECT_TRUE(third.hasWatermarkPicture());
}

TEST_F(SettingsFileTest, UnreadablePictureLeavesThePathAndNoPicture) {
  store.putFile(kPath, "[图片水印]\r\n图片水印=C:\\fake\\gone.png\r\n");
  settings.setWatermarkPicture({"old", "old"});
  file.loadSettings();
  EXPECT_EQ(settings.watermarkPicture().path, "C:\\fake\\gone.png");
  EXPECT_EQ(settings.watermarkPicture().bytes, "");
}

// A file as earlier versions and hand edits leave it.
TEST_F(SettingsFileTest, LoadAppliesStoredValuesAsSpecified) {
  store.putFile(kPath,
                "[选择框]\r\n"
                "选择框_转图开关=假\r\n"
                "选择框_群匿名=1\r\n"
                "选择框_时间开关=false\r\n"
                "选择框_星期一=真\r\n"
                "选择框_星期二=\r\n"
                "[编辑框]\r\n"
                "编辑框_监控群=111><br><222\r\n"
                "编辑框_水印=say #引号hi#引号\r\n"
                "编辑框_广告='括起来'\r\n"
                "编辑框_间隔=\r\n"
                "编辑框_主人=  42  \r\n"
                "[组合框]\r\n"
                "组合框_类型=原文<|>0<||>图片<|>0<||>文字<|>0<||>2<|>文字\r\n"
                "组合框_文字=一<|>0<||>二<|>0<||>7<|>二\r\n"
                "组合框_图片=无<|>0<||>左上<|>0<||>-5<|>\r\n");
  file.loadSettings();

  EXPECT_FALSE(settings.isOn(SwitchField::forwardOn));
  EXPECT_TRUE(settings.isOn(SwitchField::anonymous));   // anything but 假 checks
  EXPECT_TRUE(settings.isOn(SwitchField::scheduleOn));  // "false" included
  EXPECT_TRUE(settings.isOn(SwitchField::weekday1));
  EXPECT_FALSE(settings.isOn(SwitchField::weekday2));  // empty: the default stays

  EXPECT_EQ(settings.text(TextField::watchGroups), "111\r\n222");
  EXPECT_EQ(settings.text(TextField::watermarkText), "say \"hi\"");
  EXPECT_EQ(settings.text(TextField::tailAdvert), "括起来");  // the reader strips the quotes
  EXPECT_EQ(settings.text(TextField::pauseMin), "5");          // empty: the default stays
  EXPECT_EQ(settings.text(TextField::pauseMax), "10");         // missing: the default stays
  EXPECT_EQ(settings.text(TextField::owner), "42");

  EXPECT_EQ(settings.choice(ChoiceField::forwardType), 2);
  const ComboState textPos = settings.combo(ChoiceField::watermarkTextPos);
  EXPECT_THAT(textPos.items, ElementsAre(ComboItem{"一", 0}, ComboItem{"二", 0}));  // the stored list replaces the design items
  EXPECT_EQ(textPos.selected, 1);                                                  // beyond the last: the last
  EXPECT_EQ(settings.choice(ChoiceField::watermarkPicturePos), -1);                // below -1: nothing
}

TEST_F(SettingsFileTest, ClearedFieldComesBackWithItsDefault) {
  settings.setText(TextField::pauseMin, "");
  settings.setText(TextField::owner, "");
  ASSERT_TRUE(file.saveSettings());
  Settings loaded;
  loadInto(loaded);
  EXPECT_EQ(loaded.text(TextField::pauseMin), "5");
}

TEST_F(SettingsFileTest, SaveIntoMissingDirectoryFailsAndChangesNothing) {
  SettingsFile lost(settings, store, [] { return SettingsFilePath("C:\\nowhere\\"); });
  EXPECT_FALSE(lost.saveSettings());
  EXPECT_EQ(store.fileBytes(SettingsFilePath("C:\\nowhere\\")), std::nullopt);
}

// A save that stops at any of its steps, by a failing call or by the process
// dying there, leaves the previous file byte for byte; the next save recovers.
TEST_F(SettingsFileTest, InterruptedSaveLeavesThePreviousFile) {
  FillEverything(settings, "-old");
  ASSERT_TRUE(file.saveSettings());
  const std::string previous = *store.fileBytes(kPath);

  store.failAt(0);
  FillEverything(settings, "-new");
  settings.setOn(SwitchField::forwardOn, false);
  ASSERT_TRUE(file.saveSettings());
  const std::string next = *store.fileBytes(kPath);
  const int steps = store.changingCalls();
  ASSERT_GE(steps, 30);  // delete, 27 writes, flush, replace
  store.putFile(kPath, previous);

  Settings expectedOld;
  FillEverything(expectedOld, "-old");
  expectedOld.setWatermarkPicture({*store.fileBytes(kPicturePath), kPicturePath});

  for (bool crash : {false, true}) {
    for (int step = 1; step <= steps; ++step) {
      SCOPED_TRACE(::testing::Message() << "step " << step << (crash ? " (crash)" : " (one failure)"));
      store.failAt(step, crash);
      EXPECT_FALSE(file.saveSettings());
      store.clearFaults();
      ASSERT_EQ(store.fileBytes(kPath), previous);
      Settings loaded;
      loadInto(loaded);
      ExpectSameSettings(loaded, expectedOld);

      ASSERT_TRUE(file.saveSettings());  // whatever the broken save left behind
      EXPECT_EQ(store.fileBytes(kPath), next);
      EXPECT_EQ(store.fileBytes(kTemp), std::nullopt);
      store.putFile(kPath, previous);
    }
  }
}

// The save button and an owner command at the same moment: one save after the
// other, never two writers in one file, and the file ends up whole.
TEST_F(SettingsFileTest, ConcurrentSavesRunOneAfterTheOther) {
  store.setCallDelayMicroseconds(20);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int n = 0; !stop; ++n) settings.setText(TextField::watchGroups, std::to_string(n) + "\r\n" + std::to_string(n));
  });
  std::vector<std::thread> savers;
  std::atomic<int> saved{0};
  for (int t = 0; t < 4; ++t) {
    savers.emplace_back([&] {
      for (int i = 0; i < 5; ++i) saved += file.saveSettings() ? 1 : 0;
    });
  }
  for (auto& t : savers) t.join();
  stop = true;
  writer.join();

  EXPECT_EQ(saved, 20);
  EXPECT_EQ(store.maxConcurrentCalls(), 1);
  EXPECT_EQ(fileLines().size(), 31u);
  Settings loaded;
  loadInto(loaded);
  const std::string groups = loaded.text(TextField::watchGroups);
  const size_t cut = groups.find("\r\n");
  ASSERT_NE(cut, std::string::npos);
  EXPECT_EQ(groups.substr(0, cut), groups.substr(cut + 2));
}

}  // namespace
}  // namespace morvane
