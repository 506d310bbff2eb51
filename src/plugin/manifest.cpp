#include "plugin/manifest.h"

#include <string_view>

namespace morvane {
namespace {

constexpr std::string_view kAuthor = "Tavrel";

struct EventRow {
  int id;
  int type;
  std::string_view name;
  std::string_view function;
};

constexpr EventRow kEvents[] = {
    {1001, 1001, "KX启动事件", "_eventStartup"},
    {1002, 1002, "KX关闭事件", "_eventExit"},
    {1003, 1003, "应用已被启用", "_eventEnable"},
    {1004, 1004, "应用将被停用", "_eventDisable"},
    {1, 166, "私聊消息处理", "_eventPrivateMsg"},
    {2, 82, "群消息处理", "_eventGroupMsg"},
    {3, 83, "讨论组消息处理", "_eventDiscussMsg"},
    {4, 101, "推送消息事件", "_eventPushMsgEvent"},
    {5, 102, "群管理变动事件处理", "_eventSystem_GroupAdmin"},
    {6, 103, "群成员减少事件处理", "_eventSystem_GroupMemberDecrease"},
    {7, 104, "群成员增加事件处理", "_eventSystem_GroupMemberIncrease"},
    {8, 201, "好友事件处理", "_eventFriendEvent"},
    {9, 301, "好友添加请求处理", "_eventRequest_AddFriend"},
    {10, 302, "群添加请求处理", "_eventRequest_AddGroup"},
};

constexpr int kAuth[] = {101, 102, 103, 104, 105, 110, 111, 112, 113, 114, 115};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::string BuildManifest() {
  std::string json = "{\"ret\":1,\"apiver\":2018,\"appid\":\"com.tavrel\",\"name\":\"Morvane\","
                     "\"version\":\"1.0.5\",\"version_id\":1,\"author\":" +
                     Quoted(kAuthor) + ",\"description\":\"多功能Morvane机器人\",\"event\":[";
  bool first = true;
  for (const EventRow& row : kEvents) {
    if (!first) json += ',';
    first = false;
    json += "{\"id\":" + std::to_string(row.id) + ",\"type\":" + std::to_string(row.type) +
            ",\"name\":" + Quoted(row.name) + ",\"function\":" + Quoted(row.function) + ",\"priority\":30000}";
  }
  json += "],\"menu\":[{\"name\":\"设置中心\",\"function\":\"_menuA\"}],\"auth\":[";
  first = true;
  for (int auth : kAuth) {
    if (!first) json += ',';
    first = false;
    json += std::to_string(auth);
  }
  json += "]}";
  return json;
}

}  // namespace morvane
