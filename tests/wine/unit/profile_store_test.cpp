// The settings file on the real profile functions: the store's contract, the
// file as Windows writes it, long values, and saves that are cut short by a
// failing call or by killing the process that saves.
#include "settings/profile_store_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "../../unit/settings/profile_store_contract.h"
#include "settings/settings_file.h"
#include "win32_support.h"

namespace morvane {
namespace {

using win32::GbkFromWide;
using win32::WideFromGbk;

// A fresh directory with a Chinese name under the temporary folder, removed with its files.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    path_ = GbkFromWide(temp) + "莫尔文设置" + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(counter++) + "\\";
    ::CreateDirectoryW(WideFromGbk(path_).c_str(), nullptr);
  }
  ~ScratchDirectory() {
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW(WideFromGbk(path_ + "*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        ::DeleteFileW((WideFromGbk(path_) + found.cFileName).c_str());
      } while (::FindNextFileW(h, &found));
      ::FindClose(h);
    }
    ::RemoveDirectoryW(WideFromGbk(path_).c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteRaw(const std::string& path, std::string_view bytes) {
  HANDLE h = ::CreateFileW(WideFromGbk(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(h);
  ASSERT_EQ(written, bytes.size());
}

struct Win32Env {
  ScratchDirectory dir;
  Win32ProfileStore win32;
  ProfileStore& store() { return win32; }
  std::string path(std::string_view name) { return dir.path() + std::string(name); }
  std::string missingDirectoryPath() { return dir.path() + "无此目录\\配置.ini"; }
  void writeRaw(const std::string& path, std::string_view bytes) { WriteRaw(path, bytes); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ProfileStoreContract, Win32Env);

TEST(Win32ProfileStoreTest, ValuesAroundTheReadBufferSizesComeBackWhole) {
  ScratchDirectory dir;
  Win32ProfileStore store;
  const std::string file = dir.path() + "长.ini";
  for (size_t length : {4094u, 4095u, 4096u, 4097u, 8190u, 8191u, 8192u, 65535u, 65536u, 300000u}) {
    const std::string ascii(length, 'q');
    // Two-byte characters too, so that byte and character counts differ.
    std::string mixed;
    while (mixed.size() + 3 <= length) mixed += "中a";
    mixed.resize(length, 'z');
    for (const std::string& value : {ascii, mixed}) {
      ASSERT_TRUE(store.writeValue(file, "节", "键", value)) << length;
      EXPECT_TRUE(store.readValue(file, "节", "键") == value) << length;
    }
  }
}

// ---- saveSettings and loadSettings on the real file -----------------------

void ExpectSameSettings(const Settings& a, const Settings& b) {
  for (int i = 0; i < kTextFieldCount; ++i) {
    EXPECT_TRUE(a.text(TextField(i)) == b.text(TextField(i))) << ControlName(TextField(i));
  }
  for (int i = 0; i < kSwitchFieldCount; ++i) EXPECT_EQ(a.isOn(SwitchField(i)), b.isOn(SwitchField(i))) << i;
  for (int i = 0; i < kChoiceFieldCount; ++i) EXPECT_EQ(a.combo(ChoiceField(i)), b.combo(ChoiceField(i))) << i;
  EXPECT_EQ(a.watermarkPicture().path, b.watermarkPicture().path);
  EXPECT_TRUE(a.watermarkPicture().bytes == b.watermarkPicture().bytes);
}

class SettingsFileOnWine : public ::testing::Test {
 protected:
  SettingsFileOnWine() {
    picturePath = dir.path() + "水印图.png";
    pictureBytes = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + std::string(1000, '\xEE');
    WriteRaw(picturePath, pictureBytes);
  }
  std::string settingsPath() const { return SettingsFilePath(dir.path()); }
  SettingsFile fileFor(Settings& s, ProfileStore& on) {
    return SettingsFile(s, on, [this] { return settingsPath(); });
  }
  // A fresh window: defaults, then the file.
  void loadInto(Settings& fresh) { fileFor(fresh, store).loadSettings(); }
  std::string rawFile() { return store.readFile(settingsPath()).value_or(""); }

  // Every field away from its default; the texts carry what the format has to.
  void fillEverything(Settings& s, std::string_view tag) {
    std::string bytes;
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
    const std::vector<std::string> texts = {
        "111\r\n222\r\n", "1\r2\n3",   "'#'",  " 头尾空格 ",  "0",         "abc",    "23",
        "\"引号\"",       "><br><#引号", bytes, "'单引号'",    "a=b=c#d=e", "123456",
    };
    for (int i = 0; i < kTextFieldCount; ++i) s.setText(TextField(i), texts[static_cast<size_t>(i)] + std::string(tag));
    for (int i = 0; i < kSwitchFieldCount; ++i) s.setOn(SwitchField(i), i % 3 != 0);
    s.setChoice(ChoiceField::forwardType, 2);
    s.setChoice(ChoiceField::watermarkTextPos, 5);
    s.setCombo(ChoiceField::watermarkPicturePos, {{{"甲|乙", 3}, {"\r\n", -1}}, 1});
    s.setWatermarkPicture({pictureBytes, picturePath});
  }

  ScratchDirectory dir;
  Win32ProfileStore store;
  std::string picturePath;
  std::string pictureBytes;
};

TEST_F(SettingsFileOnWine, NoFileGivesTheDefaults) {
  Settings back;
  loadInto(back);
  ExpectSameSettings(back, Settings());
}

TEST_F(SettingsFileOnWine, LoadAfterSaveRestoresEveryFieldAndThePicture) {
  Settings s;
  fillEverything(s, "");
  ASSERT_TRUE(fileFor(s, store).saveSettings());
  Settings back;
  loadInto(back);
  ExpectSameSettings(back, s);
  EXPECT_EQ(store.readFile(settingsPath() + ".new"), std::nullopt);

  // Two restarts with a save between keep the picture.
  Settings second;
  loadInto(second);
  ASSERT_TRUE(fileFor(second, store).saveSettings());
  Settings third;
  loadInto(third);
  EXPECT_TRUE(third.watermarkPicture().bytes == pictureBytes);
  EXPECT_TRUE(third.hasWatermarkPicture());
}

TEST_F(SettingsFileOnWine, FileHoldsTheSectionsKeysAndGbkValues) {
  Settings s;
  s.setText(TextField::watchGroups, "111\r\n222");
  s.setText(TextField::watermarkText, "say \"hi\"");
  s.setText(TextField::tailAdvert, "第一行\r\n第二行");
  s.setText(TextField::pauseMin, "");
  s.setOn(SwitchField::anonymous, true);
  s.setOn(SwitchField::weekday7, true);
  s.setChoice(ChoiceField::forwardType, 1);
  s.setChoice(ChoiceField::watermarkPicturePos, -1);
  s.setWatermarkPicture({pictureBytes, picturePath});
  ASSERT_TRUE(fileFor(s, store).saveSettings());

  const std::string raw = rawFile();
  // GBK as Windows writes a file without a byte-order mark: no BOM, no UTF-16.
  ASSERT_GE(raw.size(), 3u);
  EXPECT_NE(raw.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(raw.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(raw.find('\0'), std::string::npos);
  EXPECT_EQ(raw.substr(0, 8), "[\xD1\xA1\xD4\xF1\xBF\xF2]");  // [选择框] in GBK bytes

  const std::string six = "无<|>0<||>左上<|>0<||>左下<|>0<||>中间<|>0<||>右上<|>0<||>右下<|>0<||>";
  EXPECT_THAT(FileLines(raw), ::testing::ElementsAreArray(std::vector<std::string>{
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
                                  "编辑框_广告=第一行><br><第二行",
                                  "编辑框_敏感=",
                                  "编辑框_替换=",
                                  "编辑框_主人=",
                                  "[组合框]",
                                  "组合框_类型=原文<|>0<||>图片<|>0<||>文字<|>0<||>1<|>图片",
                                  "组合框_文字=" + six + "0<|>无",
                                  "组合框_图片=" + six + "-1<|>",
                                  "[图片水印]",
                                  "图片水印=" + picturePath,
                              }));
}

TEST_F(SettingsFileOnWine, LongValuesComeBackWhole) {
  Settings s;
  std::string members;
  while (members.size() < 50000) members += std::to_string(10000 + members.size()) + "\r\n";
  members.resize(50000);
  std::string advert;
  while (advert.size() < 50000) advert += "广告\r\n\"引\"";
  advert.resize(50000);
  s.setText(TextField::watchMembers, members);
  s.setText(TextField::tailAdvert, advert);
  ASSERT_TRUE(fileFor(s, store).saveSettings());
  Settings back;
  loadInto(back);
  EXPECT_EQ(back.text(TextField::watchMembers).size(), 50000u);
  EXPECT_TRUE(back.text(TextField::watchMembers) == members);
  EXPECT_TRUE(back.text(TextField::tailAdvert) == advert);
}

// Fails the n-th call that changes a file (and, with `crash`, every later
// one); a failing write leaves half of its value behind.
class FailingStore final : public ProfileStore {
 public:
  explicit FailingStore(ProfileStore& inner) : inner_(inner) {}
  void failAt(int call, bool crash) {
    calls_ = 0;
    failAt_ = call;
    crash_ = crash;
  }
  int calls() const { return calls_; }

  std::string readValue(std::string_view f, std::string_view s, std::string_view k) override {
    return inner_.readValue(f, s, k);
  }
  bool writeValue(std::string_view f, std::string_view s, std::string_view k, std::string_view v) override {
    if (failNow()) {
      inner_.writeValue(f, s, k, v.substr(0, v.size() / 2));
      return false;
    }
    return inner_.writeValue(f, s, k, v);
  }
  bool flush(std::string_view f) override { return !failNow() && inner_.flush(f); }
  bool replaceFile(std::string_view a, std::string_view b) override { return !failNow() && inner_.replaceFile(a, b); }
  bool deleteFile(std::string_view f) override { return !failNow() && inner_.deleteFile(f); }
  std::optional<std::string> readFile(std::string_view p) override { return inner_.readFile(p); }

 private:
  bool failNow() {
    ++calls_;
    return failAt_ > 0 && (crash_ ? calls_ >= failAt_ : calls_ == failAt_);
  }
  ProfileStore& inner_;
  int calls_ = 0;
  int failAt_ = 0;
  bool crash_ = false;
};

TEST_F(SettingsFileOnWine, SaveCutShortAtAnyStepLeavesThePreviousFile) {
  Settings s;
  fillEverything(s, "-旧");
  ASSERT_TRUE(fileFor(s, store).saveSettings());
  const std::string previous = rawFile();
  Settings expectedOld;
  loadInto(expectedOld);

  FailingStore failing(store);
  fillEverything(s, "-新");
  s.setOn(SwitchField::forwardOn, false);
  SettingsFile file = fileFor(s, failing);
  ASSERT_TRUE(file.saveSettings());
  const int steps = failing.calls();
  const std::string next = rawFile();
  WriteRaw(settingsPath(), previous);

  for (bool crash : {false, true}) {
    for (int step = 1; step <= steps; ++step) {
      SCOPED_TRACE(::testing::Message() << "step " << step << (crash ? " (crash)" : " (one failure)"));
      failing.failAt(step, crash);
      EXPECT_FALSE(file.saveSettings());
      failing.failAt(0, false);
      ASSERT_TRUE(rawFile() == previous);
      Settings back;
      loadInto(back);
      ExpectSameSettings(back, expectedOld);
      ASSERT_TRUE(file.saveSettings());
      EXPECT_TRUE(rawFile() == next);
      WriteRaw(settingsPath(), previous);
    }
  }
}

TEST_F(SettingsFileOnWine, HalfWrittenNewFileFromAKilledSaveIsIgnoredAndReplaced) {
  Settings s;
  fillEverything(s, "");
  ASSERT_TRUE(fileFor(s, store).saveSettings());
  WriteRaw(settingsPath() + ".new", "[编辑框]\r\n编辑框_主人=999\r\n[选择框]\r\n选择框_转图开");
  Settings back;
  loadInto(back);
  ExpectSameSettings(back, s);

  s.setText(TextField::owner, "12345");
  ASSERT_TRUE(fileFor(s, store).saveSettings());
  Settings again;
  loadInto(again);
  EXPECT_EQ(again.text(TextField::owner), "12345");
  EXPECT_EQ(FileLines(rawFile()).size(), 31u);
  EXPECT_EQ(store.readFile(settingsPath() + ".new"), std::nullopt);
}

// ---- A save killed from outside -------------------------------------------
// The child is this program again, running only the disabled test below with
// the directory in an environment variable: it saves generation after
// generation, every text field holding the generation's number, until killed.

constexpr wchar_t kChildVariable[] = L"MORVANE_SETTINGS_CHILD_DIR";

void FillGeneration(Settings& s, int generation) {
  for (int i = 0; i < kTextFieldCount; ++i) {
    s.setText(TextField(i), "第" + std::to_string(generation) + "代\r\n" + std::string(2000, 'x'));
  }
}

TEST(SettingsFileKilled, DISABLED_ChildSavesUntilKilled) {
  wchar_t dir[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(kChildVariable, dir, MAX_PATH) == 0) GTEST_SKIP();
  Win32ProfileStore store;
  Settings s;
  const std::string path = SettingsFilePath(GbkFromWide(dir));
  SettingsFile file(s, store, [&] { return path; });
  const ULONGLONG until = ::GetTickCount64() + 20000;  // never outlive a parent that died
  for (int generation = 1; ::GetTickCount64() < until; ++generation) {
    FillGeneration(s, generation);
    file.saveSettings();
  }
}

TEST(SettingsFileKilled, FileIsAWholeGenerationWheneverTheSaverDies) {
  ScratchDirectory dir;
  Win32ProfileStore store;
  const std::string path = SettingsFilePath(dir.path());
  {
    Settings s;
    FillGeneration(s, 0);
    ASSERT_TRUE(SettingsFile(s, store, [&] { return path; }).saveSettings());
  }
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = std::wstring(L"\"") + self +
                         L"\" --gtest_also_run_disabled_tests "
                         L"--gtest_filter=SettingsFileKilled.DISABLED_ChildSavesUntilKilled";
  ASSERT_TRUE(::SetEnvironmentVariableW(kChildVariable, WideFromGbk(dir.path()).c_str()));

  // The child's test output would mix with ours: it goes nowhere.
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  const win32::ScopedKernelHandle nowhere(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                        &inherit, OPEN_EXISTING, 0, nullptr));
  std::mt19937 random(3);
  int highest = 0;
  for (int round = 0; round < 8; ++round) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = nowhere.get();
    startup.hStdError = nowhere.get();
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &child));
    ::Sleep(300 + random() % 500);
    ::TerminateProcess(child.hProcess, 9);
    ::WaitForSingleObject(child.hProcess, 10000);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);

    Settings back;
    SettingsFile(back, store, [&] { return path; }).loadSettings();
    const std::string first = back.text(TextField(0));
    ASSERT_EQ(first.substr(0, 2), "第") << round;
    for (int i = 1; i < kTextFieldCount; ++i) ASSERT_TRUE(back.text(TextField(i)) == first) << round << " " << i;
    highest = std::max(highest, std::atoi(first.c_str() + 2));
  }
  ::SetEnvironmentVariableW(kChildVariable, nullptr);
  EXPECT_GT(highest, 0) << "the child never completed a save";
}

}  // namespace
}  // namespace morvane
