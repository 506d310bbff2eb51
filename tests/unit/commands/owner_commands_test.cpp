#include "commands/owner_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "fakes/host_library_fake.h"
#include "host/host_api.h"
#include "settings/settings.h"
#include "text/text.h"

namespace morvane {
namespace {

constexpr int64_t kRobot = 10001;
constexpr int64_t kGroup = 5550001;
constexpr int64_t kOwner = 111;
const std::string kMention = "[@111] ";

// Every text and switch value, to compare a whole Settings at once.
struct Snapshot {
  std::map<TextField, std::string> texts;
  std::map<SwitchField, bool> switches;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const Settings& settings) {
  Snapshot s;
  for (int i = 0; i < kTextFieldCount; ++i) s.texts[TextField(i)] = settings.text(TextField(i));
  for (int i = 0; i < kSwitchFieldCount; ++i) s.switches[SwitchField(i)] = settings.isOn(SwitchField(i));
  return s;
}

std::string Describe(const Snapshot& s) {
  std::string out;
  for (const auto& [field, value] : s.texts) out += std::string(ControlName(field)) + "=[" + value + "] ";
  for (const auto& [field, on] : s.switches) out += std::string(ControlName(field)) + (on ? "=1 " : "=0 ");
  return out;
}

using Texts = std::vector<std::pair<TextField, std::string>>;
using Switches = std::vector<std::pair<SwitchField, bool>>;

struct OwnerCommandsTest : ::testing::Test {
  std::vector<std::string> events;  // settings writes, posts and saves, in order
  FakeHostLibrary library;
  HostApi host{library};
  Settings settings;
  int saves = 0;
  OwnerCommands commands{settings, host, [this] {
                           ++saves;
                           events.push_back("save");
                         }};

  void SetUp() override {
    library.setLoginList(PackAccounts({kRobot, 20002}));
    library.setSendHook([this](const HostCall&) { events.push_back("post"); });
    settings.setText(TextField::owner, std::to_string(kOwner));
    settings.setObserver([this](const Settings::Change&) { events.push_back("write"); });
  }

  void Apply(const Texts& texts, const Switches& switches = {}) {
    for (const auto& [field, value] : texts) settings.setText(field, value);
    for (const auto& [field, on] : switches) settings.setOn(field, on);
  }

  // Every host send made; an owner command only ever posts to groups.
  std::vector<HostCall> Posts() const {
    std::vector<HostCall> posts = library.sends();
    for (const HostCall& post : posts) EXPECT_EQ(post.kind, HostCall::Kind::sendGroupMsg);
    return posts;
  }

  int32_t Run(const std::string& msg, int64_t from = kOwner) {
    events.clear();
    library.clear();
    saves = 0;
    return commands.HandleOwnerCommand(kGroup, from, msg);
  }

  // Not consumed: no post, no save, no settings change.
  void ExpectIgnored(const std::string& msg, int64_t from = kOwner) {
    const Snapshot before = Take(settings);
    EXPECT_EQ(Run(msg, from), 0) << msg;
    EXPECT_TRUE(Posts().empty()) << msg;
    EXPECT_EQ(saves, 0) << msg;
    EXPECT_EQ(Take(settings), before) << msg;
  }
};

// ---- Claiming and the owner check ----------------------------------------

TEST_F(OwnerCommandsTest, FirstClaimantBecomesOwnerAndASecondClaimIsNotConsumed) {
  settings.setText(TextField::owner, "");

  EXPECT_EQ(Run("获取权限", 222), 1);
  EXPECT_EQ(settings.text(TextField::owner), "222");
  ASSERT_EQ(Posts().size(), 1u);
  EXPECT_EQ(Posts()[0].robot, kRobot);
  EXPECT_EQ(Posts()[0].target, kGroup);
  EXPECT_EQ(Posts()[0].text, "[@222] 恭喜您,获取权限成功");
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(events, (std::vector<std::string>{"write", "post", "save"}));

  ExpectIgnored("获取权限", 333);
  EXPECT_EQ(settings.text(TextField::owner), "222");
  // The owner's own repeated claim is no command either.
  ExpectIgnored("获取权限", 222);
}

TEST_F(OwnerCommandsTest, ClaimNeedsTheExactWordAndAnEmptyOwner) {
  settings.setText(TextField::owner, "");
  for (const char* msg : {"获取权限 ", " 获取权限", "请获取权限", "获取权限+1", "授权监控+123", "菜单", "开启直播"})
    ExpectIgnored(msg, 222);
  EXPECT_EQ(settings.text(TextField::owner), "");

  // A negative number is claimed as its decimal text.
  EXPECT_EQ(Run("获取权限", -5), 1);
  EXPECT_EQ(settings.text(TextField::owner), "-5");
  EXPECT_EQ(Posts().at(0).text, "[@-5] 恭喜您,获取权限成功");
}

TEST_F(OwnerCommandsTest, OwnerIsComparedByteForByte) {
  struct Row {
    std::string owner;
    int32_t expected;
  };
  const std::vector<Row> rows = {
      {"111", 1},  {"111 ", 0}, {" 111", 0}, {"111\r\n", 0}, {"0111", 0},
      {"+111", 0}, {"11", 0},   {"1111", 0}, {"１１１", 0},
  };
  for (const Row& row : rows) {
    settings.setText(TextField::owner, row.owner);
    settings.setText(TextField::watchGroups, "");
    if (row.expected == 0) {
      ExpectIgnored("授权监控+123");
    } else {
      EXPECT_EQ(Run("授权监控+123"), 1) << row.owner;
      EXPECT_EQ(settings.text(TextField::watchGroups), "123");
    }
  }
}

TEST_F(OwnerCommandsTest, NonOwnerCommandsChangeNothing) {
  Apply({{TextField::watchGroups, "1"}, {TextField::sensitiveWords, "a"}});
  for (const char* msg : {"授权监控+123", "取消监控+1", "清空直播", "关闭直播", "设置延迟1-2", "菜单", "查看直播",
                          "清空监控", "取消关键词+a=b"})
    ExpectIgnored(msg, 222);
}

// ---- Menu --------------------------------------------------------------

TEST_F(OwnerCommandsTest, MenuPostsTheHelpTextWithoutMentionOrSave) {
  const std::string help =
      "首次使用发送:获取权限\r\n"
      "授权直播/取消直播+QQ号\r\n"
      "授权转发/取消转发+群号\r\n"
      "授权监控/取消监控+群号\r\n"
      "授权敏感词/取消敏感词+敏感词(多个请用\"#\"隔开)\r\n"
      "授权小尾巴+小尾巴\r\n"
      "授权关键词替换/取消关键词+关键词=替换词(多个请用\"#\"隔开)\r\n"
      "授权文字水印+文字水印\r\n"
      "开启匿名转发/关闭匿名转发\r\n"
      "设置延迟XX-XX(秒)\r\n"
      "开启直播/关闭直播\r\n"
      "查看直播/清空直播\r\n"
      "清空监控/清空转发\r\n"
      "清空水印/清空尾巴\r\n"
      "私聊转图:发送[授权监控-QQ号]\r\n"
      "私聊必须和机器人是好友！\r\n"
      "PS：只有被监控的群里被监控的QQ\r\n"
      "发的图片会被转发到授权转发的群\r\n";
  EXPECT_EQ(OwnerHelpText(), help);

  const Snapshot before = Take(settings);
  EXPECT_EQ(Run("菜单"), 1);
  ASSERT_EQ(Posts().size(), 1u);
  EXPECT_EQ(Posts()[0].robot, kRobot);
  EXPECT_EQ(Posts()[0].target, kGroup);
  EXPECT_EQ(Posts()[0].text, help);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(Take(settings), before);

  for (const char* msg : {"菜单 ", " 菜单", "菜单\r\n", "看菜单"}) ExpectIgnored(msg);
}

// ---- Each command: settings change and reply ---------------------------

struct CommandRow {
  const char* name;
  Texts textsBefore;
  std::string msg;
  Texts textsAfter;  // fields expected to differ afterwards; every other field stays
  std::string reply;  // after the mention
  Switches switchesBefore = {};
  Switches switchesAfter = {};
};

TEST_F(OwnerCommandsTest, CommandsChangeSettingsReplyAndSave) {
  const TextField wg = TextField::watchGroups, wm = TextField::watchMembers, tg = TextField::targetGroups,
                  tf = TextField::targetFriends, sw = TextField::sensitiveWords, rp = TextField::replacements,
                  tail = TextField::tailAdvert, wmt = TextField::watermarkText;
  const std::vector<CommandRow> rows = {
      // Lists: add and remove whole lines.
      {"add to empty", {}, "授权监控+123", {{wg, "123"}}, "授权监控123,授权监控成功"},
      {"add second", {{wg, "123"}}, "授权监控+456", {{wg, "123\r\n456"}}, "授权监控456,授权监控成功"},
      {"word anywhere", {}, "请授权监控+123", {{wg, "123"}}, "授权监控123,授权监控成功"},
      {"last plus", {}, "授权监控+1+2", {{wg, "2"}}, "授权监控2,授权监控成功"},
      {"add tidies", {{wg, "1\r\n\r\n2\r\n"}}, "授权监控+3", {{wg, "1\r\n2\r\n3"}}, "授权监控3,授权监控成功"},
      {"remove whole line", {{wg, "111\r\n2111"}}, "取消监控+111", {{wg, "2111"}}, "取消监控111,取消监控成功"},
      {"remove keeps neighbours", {{wg, "2111\r\n111\r\n1112"}}, "取消监控+111", {{wg, "2111\r\n1112"}},
       "取消监控111,取消监控成功"},
      {"remove every equal line", {{wg, "111\r\n5\r\n111"}}, "取消监控+111", {{wg, "5"}}, "取消监控111,取消监控成功"},
      {"remove last line", {{wg, "111"}}, "取消监控+111", {{wg, ""}}, "取消监控111,取消监控成功"},
      {"remove absent", {{wg, "1111"}}, "取消监控+111", {}, "取消监控111,取消监控成功"},
      {"remove with #", {{wg, "#\r\n#5"}}, "取消监控+#", {{wg, "#5"}}, "取消监控#,取消监控成功"},
      {"members add", {{wm, "9"}}, "授权直播+5", {{wm, "9\r\n5"}}, "授权直播5,授权直播成功"},
      {"members remove", {{wm, "5\r\n55"}}, "取消直播+5", {{wm, "55"}}, "取消直播5,取消直播成功"},
      {"targets add", {}, "授权转发+7", {{tg, "7"}}, "授权转发7,授权转发成功"},
      {"targets remove", {{tg, "77\r\n7"}}, "取消转发+7", {{tg, "77"}}, "取消转发7,取消转发成功"},
      {"friends add", {{tf, "1"}}, "私聊转图+999", {{tf, "1\r\n999"}}, "私聊转图999,私聊转图成功"},

      // Sensitive words: "*" between words, "#" in the argument read as "*".
      {"word to empty", {}, "授权敏感词+广告", {{sw, "广告"}}, "授权敏感词广告,授权敏感词成功"},
      {"word appended", {{sw, "a"}}, "授权敏感词+b", {{sw, "a*b"}}, "授权敏感词b,授权敏感词成功"},
      {"word after separator", {{sw, "a*"}}, "授权敏感词+b", {{sw, "a*b"}}, "授权敏感词b,授权敏感词成功"},
      {"words with #", {{sw, "a"}}, "授权敏感词+x#y", {{sw, "a*x*y"}}, "授权敏感词x#y,授权敏感词成功"},
      {"no empty words", {{sw, "a"}}, "授权敏感词+#x##y#*", {{sw, "a*x*y"}}, "授权敏感词#x##y#*,授权敏感词成功"},
      {"only separators", {{sw, "a"}}, "授权敏感词+#", {}, "授权敏感词#,授权敏感词成功"},
      {"word removed", {{sw, "a*b*c"}}, "取消敏感词+b", {{sw, "a*c"}}, "取消敏感词b,取消敏感词成功"},
      {"whole words only", {{sw, "ab*b*bc"}}, "取消敏感词+b", {{sw, "ab*bc"}}, "取消敏感词b,取消敏感词成功"},
      {"several removed", {{sw, "a*b*c"}}, "取消敏感词+a#c", {{sw, "b"}}, "取消敏感词a#c,取消敏感词成功"},
      {"trailing separator kept", {{sw, "a*b*"}}, "取消敏感词+b", {{sw, "a*"}}, "取消敏感词b,取消敏感词成功"},
      {"combined word by its name", {{sw, "a#b*c"}}, "取消敏感词+a#b", {{sw, "c"}}, "取消敏感词a#b,取消敏感词成功"},
      {"last word", {{sw, "a"}}, "取消敏感词+a", {{sw, ""}}, "取消敏感词a,取消敏感词成功"},

      // Single texts.
      {"tail", {{tail, "old"}}, "授权小尾巴+新尾巴", {{tail, "新尾巴"}}, "授权小尾巴新尾巴,授权小尾巴成功"},
      {"watermark", {}, "授权文字水印+水印", {{wmt, "水印"}}, "授权文字水印水印,授权文字水印成功"},

      // Replacements: "#" between pieces.
      {"piece to empty", {}, "授权关键词替换+a=b", {{rp, "a=b"}}, "授权关键词替换a=b,授权关键词替换成功"},
      {"piece appended", {{rp, "a=b"}}, "授权关键词替换+c=d", {{rp, "a=b#c=d"}}, "授权关键词替换c=d,授权关键词替换成功"},
      {"piece after #", {{rp, "a=b#"}}, "授权关键词替换+c=d", {{rp, "a=b#c=d"}}, "授权关键词替换c=d,授权关键词替换成功"},
      {"piece removed", {{rp, "a=b#aa=bb#a=b2"}}, "取消关键词替换+a=b", {{rp, "aa=bb#a=b2"}},
       "取消关键词替换a=b,取消关键词替换成功"},
      {"pieces removed", {{rp, "a=b#x=y#c=d"}}, "取消关键词替换+a=b#c=d", {{rp, "x=y"}},
       "取消关键词替换a=b#c=d,取消关键词替换成功"},
      {"key alone removes nothing", {{rp, "a=b"}}, "取消关键词替换+a", {}, "取消关键词替换a,取消关键词替换成功"},

      // Switches.
      {"anonymous on", {}, "开启匿名转发", {}, "开启匿名转发成功", {{SwitchField::anonymous, false}},
       {{SwitchField::anonymous, true}}},
      {"anonymous off", {}, "关闭匿名转发", {}, "关闭匿名转发成功", {{SwitchField::anonymous, true}},
       {{SwitchField::anonymous, false}}},
      {"forwarding on", {}, "开启直播", {}, "开启直播成功", {{SwitchField::forwardOn, false}},
       {{SwitchField::forwardOn, true}}},
      {"forwarding off", {}, "关闭直播", {}, "关闭直播成功", {{SwitchField::forwardOn, true}},
       {{SwitchField::forwardOn, false}}},

      // Pauses, stored as written.
      {"pause", {}, "设置延迟5-10", {{TextField::pauseMin, "5"}, {TextField::pauseMax, "10"}}, "设置延迟5-10,设置延迟成功"},
      {"pause with unit", {}, "设置延迟5-10秒", {{TextField::pauseMin, "5"}, {TextField::pauseMax, "10秒"}},
       "设置延迟5-10秒,设置延迟成功"},
      {"pause bounds", {}, "设置延迟 3-7-9", {{TextField::pauseMin, " 3"}, {TextField::pauseMax, "9"}},
       "设置延迟 3-9,设置延迟成功"},

      // Show and clear.
      {"show", {{wg, "1\r\n2"}, {wm, "3"}, {tg, ""}, {tf, "#"}}, "查看直播", {},
       "监控群:1\r\n2\r\n监控成员:3\r\n转发群:\r\n转发好友:#"},
      {"clear lists", {{wg, "1"}, {wm, "2"}, {tg, "3"}, {tf, "4"}, {sw, "s"}, {tail, "t"}}, "清空直播",
       {{wg, ""}, {wm, ""}, {tg, ""}, {tf, ""}}, "清空直播成功"},
      {"clear watermark", {{wmt, "w"}}, "清空水印", {{wmt, ""}}, "清空水印成功"},
      {"clear tail", {{tail, "t"}}, "清空尾巴", {{tail, ""}}, "清空尾巴成功"},

      // The commands the help text announces.
      {"clear watched", {{wg, "1"}, {tg, "3"}}, "清空监控", {{wg, ""}}, "清空监控成功"},
      {"clear targets", {{wg, "1"}, {tg, "3"}}, "清空转发", {{tg, ""}}, "清空转发成功"},
      {"remove by short word", {{rp, "a=b#c=d"}}, "取消关键词+a=b", {{rp, "c=d"}}, "取消关键词a=b,取消关键词成功"},
      {"long word first", {{rp, "a=b#c=d"}}, "取消关键词替换+c=d", {{rp, "a=b"}},
       "取消关键词替换c=d,取消关键词替换成功"},

      // Table order: the first row that passes.
      {"row 16 before 17", {}, "关闭直播开启直播", {}, "开启直播成功", {{SwitchField::forwardOn, false}},
       {{SwitchField::forwardOn, true}}},
      {"row 1 before 2", {{wg, "5"}}, "取消监控授权监控+5", {{wg, "5\r\n5"}}, "授权监控5,授权监控成功"},
      {"no argument, next row", {}, "授权监控开启直播", {}, "开启直播成功", {{SwitchField::forwardOn, false}},
       {{SwitchField::forwardOn, true}}},
      {"no bounds, next row", {}, "设置延迟5开启直播", {}, "开启直播成功", {{SwitchField::forwardOn, false}},
       {{SwitchField::forwardOn, true}}},
      {"row 15 before the added rows", {{rp, ""}}, "设置延迟1-2清空监控", {{TextField::pauseMin, "1"},
       {TextField::pauseMax, "2清空监控"}}, "设置延迟1-2清空监控,设置延迟成功"},
  };

  for (const CommandRow& row : rows) {
    SCOPED_TRACE(row.name);
    Settings fresh;
    for (int i = 0; i < kTextFieldCount; ++i) settings.setText(TextField(i), fresh.text(TextField(i)));
    for (int i = 0; i < kSwitchFieldCount; ++i) settings.setOn(SwitchField(i), fresh.isOn(SwitchField(i)));
    settings.setText(TextField::owner, std::to_string(kOwner));
    Apply(row.textsBefore, row.switchesBefore);

    Snapshot expected = Take(settings);
    for (const auto& [field, value] : row.textsAfter) expected.texts[field] = value;
    for (const auto& [field, on] : row.switchesAfter) expected.switches[field] = on;

    EXPECT_EQ(Run(row.msg), 1);
    EXPECT_EQ(Take(settings), expected) << Describe(Take(settings));
    ASSERT_EQ(Posts().size(), 1u);
    EXPECT_EQ(Posts()[0].robot, kRobot);
    EXPECT_EQ(Posts()[0].target, kGroup);
    EXPECT_EQ(Posts()[0].text, kMention + row.reply);
    EXPECT_EQ(saves, 1);
    // Change first, then the reply, then the save.
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "save");
    EXPECT_EQ(events[events.size() - 2], "post");
  }
}

TEST_F(OwnerCommandsTest, MessagesThatAreNoCommandAreNotConsumed) {
  Apply({{TextField::watchGroups, "1"}, {TextField::replacements, "a=b"}});
  for (const char* msg : {"", "hello", "授权监控", "授权监控+", "授权监控+1+", "设置延迟5", "设置延迟-10", "设置延迟5-",
                          "设置延迟", "5-10", "取消关键词替换", "取消关键词", "清空", "私聊转图", "获取权限",
                          "菜单 ", "授权 监控+1", "授权监控\x81+123"})
    ExpectIgnored(msg);
}

// ---- Robot account and undoing -----------------------------------------

TEST_F(OwnerCommandsTest, ReplyUsesTheRobotAccountAskedAnew) {
  EXPECT_EQ(Run("开启直播"), 1);
  EXPECT_EQ(Posts().at(0).robot, kRobot);

  library.setLoginList(PackAccounts({30003}));
  EXPECT_EQ(Run("开启直播"), 1);
  EXPECT_EQ(Posts().at(0).robot, 30003);

  // No login list: robot 0, the command is still carried out and saved.
  library.setLoginList("");
  EXPECT_EQ(Run("关闭直播"), 1);
  EXPECT_EQ(Posts().at(0).robot, 0);
  EXPECT_FALSE(settings.isOn(SwitchField::forwardOn));
  EXPECT_EQ(saves, 1);
}

TEST_F(OwnerCommandsTest, WorksWithoutASaveFunction) {
  OwnerCommands unsaved(settings, host, {});
  EXPECT_EQ(unsaved.HandleOwnerCommand(kGroup, kOwner, "授权监控+1"), 1);
  EXPECT_EQ(settings.text(TextField::watchGroups), "1");
}

// Adding an argument and removing the same argument gives the field back.
TEST_F(OwnerCommandsTest, RemovingWhatWasAddedRestoresTheField) {
  struct Row {
    TextField field;
    std::string before, add, remove, argument;
  };
  const std::vector<Row> rows = {
      {TextField::watchGroups, "111\r\n2111", "授权监控+", "取消监控+", "11"},
      {TextField::watchGroups, "111\r\n2111", "授权监控+", "取消监控+", "3\r\n4"},
      {TextField::sensitiveWords, "a*b", "授权敏感词+", "取消敏感词+", "c#d"},
      {TextField::sensitiveWords, "敏感*词", "授权敏感词+", "取消敏感词+", "广告"},
      {TextField::replacements, "a=b", "授权关键词替换+", "取消关键词替换+", "c=d#e=f"},
      {TextField::replacements, "a=b", "授权关键词替换+", "取消关键词+", "a=c"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.add + row.argument);
    settings.setText(row.field, row.before);
    ASSERT_EQ(Run(row.add + row.argument), 1);
    EXPECT_NE(settings.text(row.field), row.before);
    ASSERT_EQ(Run(row.remove + row.argument), 1);
    EXPECT_EQ(settings.text(row.field), row.before);
  }
}

// ---- Bad input -----------------------------------------------------------

TEST_F(OwnerCommandsTest, LongArgumentsWithSpecialCharactersAreStoredAsWritten) {
  // 100 KiB of lines holding the characters that codes, entities and the
  // separators use, GBK text and lone bytes; no empty lines, so tidying keeps it.
  const std::string line = "x[ZR:image,urls=a&amp;]&#91;=#*\r\xD6\xD0\x81z\nq\r\n";
  std::string big;
  while (big.size() < 100 * 1024) big += line;
  big += "end";

  EXPECT_EQ(Run("授权小尾巴+" + big), 1);
  EXPECT_EQ(settings.text(TextField::tailAdvert), big);
  EXPECT_EQ(Posts().at(0).text, kMention + "授权小尾巴" + big + ",授权小尾巴成功");

  settings.setText(TextField::watchGroups, "1");
  EXPECT_EQ(Run("授权监控+" + big), 1);
  EXPECT_EQ(settings.text(TextField::watchGroups), "1\r\n" + big);
  // The argument went in as several lines; naming it again takes them all out.
  EXPECT_EQ(Run("取消监控+" + big), 1);
  EXPECT_EQ(settings.text(TextField::watchGroups), "1");

  settings.setText(TextField::replacements, "k=v");
  EXPECT_EQ(Run("授权关键词替换+" + big), 1);
  EXPECT_EQ(settings.text(TextField::replacements), "k=v#" + big);
  EXPECT_EQ(Run("取消关键词替换+" + big), 1);
  EXPECT_EQ(settings.text(TextField::replacements), "k=v");

  settings.setText(TextField::sensitiveWords, "w");
  EXPECT_EQ(Run("授权敏感词+" + big), 1);
  EXPECT_EQ(Run("取消敏感词+" + big), 1);
  EXPECT_EQ(settings.text(TextField::sensitiveWords), "w");

  // Cut between two lines, so that the "-" is not read as part of a character.
  const size_t cut = line.size() * 1000;
  EXPECT_EQ(Run("设置延迟" + big.substr(0, cut) + "-" + big.substr(cut)), 1);
  EXPECT_EQ(settings.text(TextField::pauseMin), big.substr(0, cut));
  EXPECT_EQ(settings.text(TextField::pauseMax), big.substr(cut));
}

TEST_F(OwnerCommandsTest, SplitCharactersAndLineBreaks) {
  struct Row {
    const char* name;
    Texts before;
    std::string msg;
    Texts after;
  };
  const TextField wg = TextField::watchGroups, sw = TextField::sensitiveWords, tail = TextField::tailAdvert;
  const std::vector<Row> rows = {
      {"lone lead byte at the end", {}, "授权小尾巴+abc\x81", {{tail, "abc\x81"}}},
      {"half a character removes only its equal", {{wg, "\xD6\xD0\r\n\xD6"}}, "取消监控+\xD6", {{wg, "\xD6\xD0"}}},
      {"separator hidden in a character", {{sw, "\x81*b"}}, "取消敏感词+b", {}},
      {"line break argument adds lines", {{wg, "1"}}, "授权监控+2\r\n3", {{wg, "1\r\n2\r\n3"}}},
      {"empty lines vanish", {{wg, "1"}}, "授权监控+\r\n\r\n2\r\n", {{wg, "1\r\n2"}}},
      // The tidying rule leaves the CR of a line break that ends the text.
      {"only a line break", {{wg, "1"}}, "授权监控+\r\n", {{wg, "1\r"}}},
      {"lone CR and LF stay", {{wg, ""}}, "授权监控+a\rb\nc", {{wg, "a\rb\nc"}}},
      {"removal of only line breaks", {{wg, "1\r\n2"}}, "取消监控+\r\n", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [field, value] : row.before) settings.setText(field, value);
    Snapshot expected = Take(settings);
    for (const auto& [field, value] : row.after) expected.texts[field] = value;
    EXPECT_EQ(Run(row.msg), 1);
    EXPECT_EQ(Take(settings), expected) << Describe(Take(settings));
  }
}

}  // namespace
}  // namespace morvane

namespace morvane {
namespace {

// Commands arrive on several host threads at once: one claim wins, and no
// added entry is lost to another command's read-modify-write.
TEST(OwnerCommandsConcurrency, OneClaimWinsAndNoChangeIsLost) {
  FakeHostLibrary library;
  library.setLoginList(PackAccounts({kRobot}));
  HostApi host{library};
  Settings settings;
  std::atomic<int> saves{0};
  OwnerCommands commands{settings, host, [&] { ++saves; }};

  constexpr int kThreads = 8;
  std::atomic<int> claimed{0};
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] { claimed += commands.HandleOwnerCommand(kGroup, 100 + t, "获取权限"); });
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(claimed.load(), 1);
  const int64_t owner = TextToInt(settings.text(TextField::owner));
  EXPECT_GE(owner, 100);
  EXPECT_LT(owner, 100 + kThreads);

  constexpr int kPerThread = 50;
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < kPerThread; ++i)
          commands.HandleOwnerCommand(kGroup, owner, "授权监控+" + std::to_string(t * 1000 + i));
      });
    for (std::thread& thread : threads) thread.join();
  }
  const std::vector<std::string> lines = SplitText(settings.text(TextField::watchGroups), "\r\n");
  EXPECT_EQ(lines.size(), static_cast<size_t>(kThreads * kPerThread));
  std::set<std::string> distinct(lines.begin(), lines.end());
  EXPECT_EQ(distinct.size(), lines.size());
  EXPECT_EQ(saves.load(), 1 + kThreads * kPerThread);
}

}  // namespace
}  // namespace morvane
