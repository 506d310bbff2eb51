#include "plugin/plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_library.h"
#include "plugin/manifest.h"

namespace morvane {
namespace {

class CountingLibrary final : public HostLibrary {
 public:
  std::string getAppDirectory(int32_t) override {
    ++calls;
    return directory;
  }
  std::string getLoginQQList(int32_t) override { return ++calls, std::string(); }
  std::string getGroupList(int32_t, int64_t) override { return ++calls, std::string(); }
  std::string getFriendList(int32_t, int64_t) override { return ++calls, std::string(); }
  int32_t sendGroupMsg(int32_t, int64_t, int64_t, std::string_view) override { return ++calls, 0; }
  int32_t sendFriendMsg(int32_t, int64_t, int64_t, std::string_view) override { return ++calls, 0; }
  int32_t setFatal(int32_t auth, std::string_view text) override {
    ++calls;
    fatal.push_back(std::to_string(auth) + ":" + std::string(text));
    return 0;
  }
  int calls = 0;
  std::string directory;
  std::vector<std::string> fatal;
};

class FakeWindow final : public SettingsWindow {
 public:
  bool exists() override { return created > 0; }
  void create() override { ++created; }
  void show() override { ++shown; }
  int created = 0;
  int shown = 0;
};

struct PluginTest : ::testing::Test {
  CountingLibrary library;
  FakeWindow window;
  Plugin plugin{library, window};
  std::vector<std::string> commands, admitted;
  int commandResult = 0;

  void SetUp() override {
    plugin.setOwnerCommandHandler([this](int64_t g, int64_t q, const std::string& m) {
      commands.push_back(std::to_string(g) + "/" + std::to_string(q) + "/" + m);
      return commandResult;
    });
    plugin.setMessageAdmitter([this](int64_t g, int64_t q, const std::string& m) {
      admitted.push_back(std::to_string(g) + "/" + std::to_string(q) + "/" + m);
    });
  }
};

TEST(Manifest, IsTheCompactGbkJsonTheHostReads) {
  const std::string expected =
      "{\"ret\":1,\"apiver\":2018,\"appid\":\"com.tavrel\",\"name\":\"Morvane\",\"version\":\"1.0.5\","
      "\"version_id\":1,\"author\":\"Tavrel\",\"description\":\"多功能Morvane机器人\",\"event\":["
      "{\"id\":1001,\"type\":1001,\"name\":\"KX启动事件\",\"function\":\"_eventStartup\",\"priority\":30000},"
      "{\"id\":1002,\"type\":1002,\"name\":\"KX关闭事件\",\"function\":\"_eventExit\",\"priority\":30000},"
      "{\"id\":1003,\"type\":1003,\"name\":\"应用已被启用\",\"function\":\"_eventEnable\",\"priority\":30000},"
      "{\"id\":1004,\"type\":1004,\"name\":\"应用将被停用\",\"function\":\"_eventDisable\",\"priority\":30000},"
      "{\"id\":1,\"type\":166,\"name\":\"私聊消息处理\",\"function\":\"_eventPrivateMsg\",\"priority\":30000},"
      "{\"id\":2,\"type\":82,\"name\":\"群消息处理\",\"function\":\"_eventGroupMsg\",\"priority\":30000},"
      "{\"id\":3,\"type\":83,\"name\":\"讨论组消息处理\",\"function\":\"_eventDiscussMsg\",\"priority\":30000},"
      "{\"id\":4,\"type\":101,\"name\":\"推送消息事件\",\"function\":\"_eventPushMsgEvent\",\"priority\":30000},"
      "{\"id\":5,\"type\":102,\"name\":\"群管理变动事件处理\",\"function\":\"_eventSystem_GroupAdmin\","
      "\"priority\":30000},"
      "{\"id\":6,\"type\":103,\"name\":\"群成员减少事件处理\",\"function\":\"_eventSystem_GroupMemberDecrease\","
      "\"priority\":30000},"
      "{\"id\":7,\"type\":104,\"name\":\"群成员增加事件处理\",\"function\":\"_eventSystem_GroupMemberIncrease\","
      "\"priority\":30000},"
      "{\"id\":8,\"type\":201,\"name\":\"好友事件处理\",\"function\":\"_eventFriendEvent\",\"priority\":30000},"
      "{\"id\":9,\"type\":301,\"name\":\"好友添加请求处理\",\"function\":\"_eventRequest_AddFriend\","
      "\"priority\":30000},"
      "{\"id\":10,\"type\":302,\"name\":\"群添加请求处理\",\"function\":\"_eventRequest_AddGroup\","
      "\"priority\":30000}],"
      "\"menu\":[{\"name\":\"设置中心\",\"function\":\"_menuA\"}],"
      "\"auth\":[101,102,103,104,105,110,111,112,113,114,115]}";
  EXPECT_EQ(BuildManifest(), expected);
  // GBK, not UTF-8: "多" is the two bytes B6 E0.
  EXPECT_NE(BuildManifest().find("\xB6\xE0"), std::string::npos);
}

TEST_F(PluginTest, AppInfoHandsOutAFreshCopyWithTheSameContent) {
  const std::string first = plugin.AppInfo();
  const char* second = plugin.AppInfo();
  EXPECT_EQ(first, second);
  EXPECT_EQ(second, BuildManifest());
}

TEST_F(PluginTest, InitializeStoresTheCodesAndAnswersZero) {
  EXPECT_EQ(plugin.Initialize(-7, 99), 0);
  EXPECT_EQ(plugin.hostApi().authCode(), -7);
  EXPECT_EQ(plugin.hostApi().initExtra(), 99);
  EXPECT_EQ(plugin.Initialize(0, 0), 0);
}

TEST_F(PluginTest, GroupMessagesAreIgnoredUnlessActive) {
  plugin.eventGroupMsg(1, 2, "before enable");
  plugin.eventEnable();
  plugin.eventDisable();
  plugin.eventGroupMsg(1, 2, "after disable");
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(admitted.empty());
  EXPECT_EQ(library.calls, 0);
}

TEST_F(PluginTest, AConsumedCommandNeverReachesThePipeline) {
  plugin.eventEnable();
  for (int result : {1, 0, 2, -1}) {
    commands.clear();
    admitted.clear();
    commandResult = result;
    plugin.eventGroupMsg(111, 222, "m");
    EXPECT_EQ(commands, std::vector<std::string>{"111/222/m"});
    EXPECT_EQ(admitted.size(), result == 1 ? 0u : 1u) << "command result " << result;
  }
}

TEST_F(PluginTest, EnableCreatesTheWindowOnceAndTheMenuShowsIt) {
  plugin.eventEnable();
  plugin.eventEnable();
  EXPECT_EQ(window.created, 1);
  EXPECT_EQ(window.shown, 0);
  plugin.menuA();
  EXPECT_EQ(window.created, 1);
  EXPECT_EQ(window.shown, 1);
}

TEST_F(PluginTest, MenuBeforeEnableCreatesAndShowsTheWindow) {
  plugin.menuA();
  EXPECT_EQ(window.created, 1);
  EXPECT_EQ(window.shown, 1);
  EXPECT_FALSE(plugin.pluginActive());
}

TEST_F(PluginTest, StartupAsksForTheDirectoryUntilTheHostHasOne) {
  plugin.eventStartup();
  EXPECT_EQ(plugin.appDirectory(), "");
  library.directory = "C:\\host\\app\\";
  plugin.eventStartup();
  EXPECT_EQ(plugin.appDirectory(), "C:\\host\\app\\");
  library.directory = "elsewhere";
  plugin.eventStartup();  // cached once known
  EXPECT_EQ(plugin.appDirectory(), "C:\\host\\app\\");
}

TEST_F(PluginTest, FatalErrorsAreReportedOnlyAfterInitialize) {
  plugin.reportFatal(5, "early");
  EXPECT_TRUE(library.fatal.empty());
  plugin.Initialize(42, 0);
  plugin.reportFatal(-12, "坏了");
  plugin.reportFatal(0, "");
  EXPECT_EQ(library.fatal, (std::vector<std::string>{"42:坏了 (ERROR-12)", "42: (ERROR0)"}));
}

}  // namespace
}  // namespace morvane
