// A stand-in for the host's API library KXOffer.dll, for the Wine tests and
// the demo. It exports every KX_ function the host declares, as stdcall with
// the authorisation code first; it records each call and answers the queries
// from what the test program set through the Sim_ functions (kxoffer_sim.h).
// Nothing here is the host's real behaviour beyond the shape of the calls.
#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "kxoffer_sim.h"

namespace {

struct Record {
  int32_t sequence = 0;
  uint32_t threadId = 0;
  int64_t timeMs = 0;
  const char* function = "";
  int32_t authCode = 0;
  int64_t robot = 0;
  int64_t target = 0;
  std::string text;
  bool textWasNull = false;
  std::string extra;
};

struct Config {
  std::optional<std::string> appDirectory = std::string();
  std::optional<std::string> loginList = std::string();
  std::optional<std::string> groupList = std::string();
  std::optional<std::string> friendList = std::string();
  int32_t sendDelayMs = 0;
  int32_t sendResult = 0;
};

std::mutex gMutex;
std::deque<Record> gCalls;  // a deque keeps references stable as it grows
int32_t gSequence = 0;
Config gConfig;
LARGE_INTEGER gStart, gFrequency;

int64_t NowMs() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return (now.QuadPart - gStart.QuadPart) * 1000 / gFrequency.QuadPart;
}

// Builds one record; Done() files it.
class Call {
 public:
  Call(const char* function, int32_t authCode) {
    record_.function = function;
    record_.authCode = authCode;
    record_.threadId = ::GetCurrentThreadId();
    record_.timeMs = NowMs();
  }
  Call& robot(int64_t value) { record_.robot = value; return *this; }
  Call& target(int64_t value) { record_.target = value; return *this; }
  Call& text(const char* value) {
    record_.textWasNull = value == nullptr;
    record_.text = value ? value : "";
    return *this;
  }
  Call& extra(const char* name, int64_t value) { return extra(name, std::to_string(value)); }
  Call& extra(const char* name, const char* value) { return extra(name, std::string(value ? value : "(null)")); }
  Call& extra(const char* name, const std::string& value) {
    if (!record_.extra.empty()) record_.extra += ' ';
    record_.extra += name;
    record_.extra += '=';
    record_.extra += value;
    return *this;
  }
  void done() {
    std::lock_guard lock(gMutex);
    record_.sequence = ++gSequence;
    gCalls.push_back(std::move(record_));
  }

 private:
  Record record_;
};

// A text handed back stays valid until the same thread asks the same
// function again, as a host that keeps one buffer per thread would give.
template <int Slot>
const char* Answer(const std::optional<std::string>& value) {
  thread_local std::string buffer;
  if (!value) return nullptr;
  buffer = *value;
  return buffer.c_str();
}

template <int Slot>
const char* AnswerConfigured(std::optional<std::string> Config::*member) {
  std::optional<std::string> value;
  {
    std::lock_guard lock(gMutex);
    value = gConfig.*member;
  }
  return Answer<Slot>(value);
}

int32_t Send(Call& call) {
  call.done();
  int32_t delay, result;
  {
    std::lock_guard lock(gMutex);
    delay = gConfig.sendDelayMs;
    result = gConfig.sendResult;
  }
  if (delay > 0) ::Sleep(static_cast<DWORD>(delay));
  return result;
}

int32_t Done(Call& call) {
  call.done();
  return 0;
}

std::string Convert(const char* text, UINT from, UINT to) {
  if (!text || !*text) return {};
  int wide = ::MultiByteToWideChar(from, 0, text, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(from, 0, text, -1, w.data(), wide);
  int bytes = ::WideCharToMultiByte(to, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(to, 0, w.c_str(), -1, out.data(), bytes, nullptr, nullptr);
  out.resize(out.size() - 1);  // the terminator
  return out;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::QueryPerformanceFrequency(&gFrequency);
    ::QueryPerformanceCounter(&gStart);
  }
  return TRUE;
}

extern "C" {

// ---- Simulator control -------------------------------------------------

void __stdcall Sim_reset() {
  std::lock_guard lock(gMutex);
  gCalls.clear();
  gSequence = 0;
  gConfig = Config();
}

void __stdcall Sim_clearCalls() {
  std::lock_guard lock(gMutex);
  gCalls.clear();
  gSequence = 0;
}

static void SetText(std::optional<std::string> Config::*member, const char* value) {
  std::lock_guard lock(gMutex);
  if (value) {
    gConfig.*member = std::string(value);
  } else {
    gConfig.*member = std::nullopt;
  }
}

void __stdcall Sim_setAppDirectory(const char* text) { SetText(&Config::appDirectory, text); }
void __stdcall Sim_setLoginList(const char* text) { SetText(&Config::loginList, text); }
void __stdcall Sim_setGroupList(const char* text) { SetText(&Config::groupList, text); }
void __stdcall Sim_setFriendList(const char* text) { SetText(&Config::friendList, text); }

void __stdcall Sim_setSendDelayMs(int32_t ms) {
  std::lock_guard lock(gMutex);
  gConfig.sendDelayMs = ms;
}

void __stdcall Sim_setSendResult(int32_t result) {
  std::lock_guard lock(gMutex);
  gConfig.sendResult = result;
}

int32_t __stdcall Sim_callCount() {
  std::lock_guard lock(gMutex);
  return static_cast<int32_t>(gCalls.size());
}

int32_t __stdcall Sim_getCall(int32_t index, SimCall* out) {
  std::lock_guard lock(gMutex);
  if (!out || index < 0 || static_cast<size_t>(index) >= gCalls.size()) return 0;
  const Record& r = gCalls[static_cast<size_t>(index)];
  out->sequence = r.sequence;
  out->threadId = r.threadId;
  out->timeMs = r.timeMs;
  out->function = r.function;
  out->authCode = r.authCode;
  out->robot = r.robot;
  out->target = r.target;
  out->text = r.text.c_str();
  out->textLength = static_cast<int32_t>(r.text.size());
  out->textWasNull = r.textWasNull ? 1 : 0;
  out->extra = r.extra.c_str();
  return 1;
}

// ---- What the plug-in calls ------------------------------------------

const char* __stdcall KX_getAppDirectory(int32_t authCode) {
  Call("KX_getAppDirectory", authCode).done();
  return AnswerConfigured<1>(&Config::appDirectory);
}

const char* __stdcall KX_getLoginQQList(int32_t authCode) {
  Call("KX_getLoginQQList", authCode).done();
  return AnswerConfigured<2>(&Config::loginList);
}

const char* __stdcall KX_getGroupList(int32_t authCode, int64_t robot) {
  Call("KX_getGroupList", authCode).robot(robot).done();
  return AnswerConfigured<3>(&Config::groupList);
}

const char* __stdcall KX_getFriendList(int32_t authCode, int64_t robot) {
  Call("KX_getFriendList", authCode).robot(robot).done();
  return AnswerConfigured<4>(&Config::friendList);
}

int32_t __stdcall KX_sendGroupMsg(int32_t authCode, int64_t robot, int64_t group, const char* text) {
  Call call("KX_sendGroupMsg", authCode);
  return Send(call.robot(robot).target(group).text(text));
}

int32_t __stdcall KX_sendFriendMsg(int32_t authCode, int64_t robot, int64_t qq, const char* text) {
  Call call("KX_sendFriendMsg", authCode);
  return Send(call.robot(robot).target(qq).text(text));
}

int32_t __stdcall KX_setFatal(int32_t authCode, const char* text) {
  Call call("KX_setFatal", authCode);
  return Done(call.text(text));
}

// ---- The rest of the host's library: recorded, answered with 0 or "" ----

int32_t __stdcall KX_addLog(int32_t authCode, int32_t priority, const char* type, const char* content) {
  Call call("KX_addLog", authCode);
  return Done(call.text(content).extra("priority", priority).extra("type", type));
}

const char* __stdcall KX_getCookies(int32_t authCode, int64_t robot) {
  Call("KX_getCookies", authCode).robot(robot).done();
  return Answer<5>(std::string());
}

const char* __stdcall KX_getCsrfToken(int32_t authCode, int64_t robot) {
  Call("KX_getCsrfToken", authCode).robot(robot).done();
  return Answer<6>(std::string());
}

const char* __stdcall KX_getDiscussList(int32_t authCode, int64_t robot) {
  Call("KX_getDiscussList", authCode).robot(robot).done();
  return Answer<7>(std::string());
}

const char* __stdcall KX_getDomainCookie(int32_t authCode, int64_t robot, const char* domain) {
  Call("KX_getDomainCookie", authCode).robot(robot).text(domain).done();
  return Answer<8>(std::string());
}

int32_t __stdcall KX_getFrameAccountState(int32_t authCode, int64_t robot) {
  Call call("KX_getFrameAccountState", authCode);
  return Done(call.robot(robot));
}

const char* __stdcall KX_getFrameName(int32_t authCode) {
  Call("KX_getFrameName", authCode).done();
  return Answer<9>(std::string("KX"));
}

const char* __stdcall KX_getGroupAdminList(int32_t authCode, int64_t robot, int64_t group) {
  Call("KX_getGroupAdminList", authCode).robot(robot).target(group).done();
  return Answer<10>(std::string());
}

const char* __stdcall KX_getGroupInfo(int32_t authCode, int64_t robot, int64_t group) {
  Call("KX_getGroupInfo", authCode).robot(robot).target(group).done();
  return Answer<11>(std::string());
}

const char* __stdcall KX_getGroupMemberCard(int32_t authCode, int64_t robot, int64_t group, int64_t qq) {
  Call("KX_getGroupMemberCard", authCode).robot(robot).target(group).extra("qq", qq).done();
  return Answer<12>(std::string());
}

const char* __stdcall KX_getGroupMemberList(int32_t authCode, int64_t robot, int64_t group) {
  Call("KX_getGroupMemberList", authCode).robot(robot).target(group).done();
  return Answer<13>(std::string());
}

const char* __stdcall KX_getLoginNick(int32_t authCode, int64_t robot) {
  Call("KX_getLoginNick", authCode).robot(robot).done();
  return Answer<14>(std::string());
}

const char* __stdcall KX_getSummaryInfo(int32_t authCode, int64_t robot, int64_t qq) {
  Call("KX_getSummaryInfo", authCode).robot(robot).target(qq).done();
  return Answer<15>(std::string());
}

int32_t __stdcall KX_sendDiscussMsg(int32_t authCode, int64_t robot, int64_t discuss, const char* text) {
  Call call("KX_sendDiscussMsg", authCode);
  return Send(call.robot(robot).target(discuss).text(text));
}

int32_t __stdcall KX_sendDiscussTmpMsg(int32_t authCode, int64_t robot, int64_t discuss, int64_t qq,
                                       const char* text) {
  Call call("KX_sendDiscussTmpMsg", authCode);
  return Send(call.robot(robot).target(discuss).text(text).extra("qq", qq));
}

int32_t __stdcall KX_sendGroupTmpMsg(int32_t authCode, int64_t robot, int64_t group, int64_t qq, const char* text) {
  Call call("KX_sendGroupTmpMsg", authCode);
  return Send(call.robot(robot).target(group).text(text).extra("qq", qq));
}

int32_t __stdcall KX_sendLikeFavorite(int32_t authCode, int64_t robot, int64_t qq, int32_t times) {
  Call call("KX_sendLikeFavorite", authCode);
  return Done(call.robot(robot).target(qq).extra("times", times));
}

int32_t __stdcall KX_sendOfflineFile(int32_t authCode, int64_t robot, int64_t qq, const char* path) {
  Call call("KX_sendOfflineFile", authCode);
  return Done(call.robot(robot).target(qq).text(path));
}

int32_t __stdcall KX_setAddGroup(int32_t authCode, int64_t robot, int64_t group, const char* reason) {
  Call call("KX_setAddGroup", authCode);
  return Done(call.robot(robot).target(group).text(reason));
}

int32_t __stdcall KX_setAppSelfDiscontinue(int32_t authCode) {
  Call call("KX_setAppSelfDiscontinue", authCode);
  return Done(call);
}

int32_t __stdcall KX_setAppSelfUninstall(int32_t authCode) {
  Call call("KX_setAppSelfUninstall", authCode);
  return Done(call);
}

int32_t __stdcall KX_setDelFriend(int32_t authCode, int64_t robot, int64_t qq) {
  Call call("KX_setDelFriend", authCode);
  return Done(call.robot(robot).target(qq));
}

int32_t __stdcall KX_setDelGroupFile(int32_t authCode, int64_t robot, int64_t group, const char* fileId) {
  Call call("KX_setDelGroupFile", authCode);
  return Done(call.robot(robot).target(group).text(fileId));
}

int32_t __stdcall KX_setDiscussMembersKick(int32_t authCode, int64_t robot, int64_t discuss, int64_t qq) {
  Call call("KX_setDiscussMembersKick", authCode);
  return Done(call.robot(robot).target(discuss).extra("qq", qq));
}

const char* __stdcall KX_setEncodeAnsiToUtf8(int32_t authCode, const char* text) {
  Call("KX_setEncodeAnsiToUtf8", authCode).text(text).done();
  return Answer<16>(Convert(text, 936, CP_UTF8));
}

const char* __stdcall KX_setEncodeUtf8ToAnsi(int32_t authCode, const char* text) {
  Call("KX_setEncodeUtf8ToAnsi", authCode).text(text).done();
  return Answer<17>(Convert(text, CP_UTF8, 936));
}

int32_t __stdcall KX_setExitDiscussChat(int32_t authCode, int64_t robot, int64_t discuss) {
  Call call("KX_setExitDiscussChat", authCode);
  return Done(call.robot(robot).target(discuss));
}

int32_t __stdcall KX_setExitGroupChat(int32_t authCode, int64_t robot, int64_t group) {
  Call call("KX_setExitGroupChat", authCode);
  return Done(call.robot(robot).target(group));
}

int32_t __stdcall KX_setFriendAddRequest(int32_t authCode, int64_t robot, const char* seq, int32_t response,
                                         const char* remark) {
  Call call("KX_setFriendAddRequest", authCode);
  return Done(call.robot(robot).text(seq).extra("response", response).extra("remark", remark));
}

int32_t __stdcall KX_setGroupAddRequest(int32_t authCode, int64_t robot, const char* seq, int32_t type,
                                        int32_t response, const char* reason) {
  Call call("KX_setGroupAddRequest", authCode);
  return Done(call.robot(robot).text(seq).extra("type", type).extra("response", response).extra("reason", reason));
}

int32_t __stdcall KX_setGroupAdmini(int32_t authCode, int64_t robot, int64_t group, int64_t qq, int32_t set) {
  Call call("KX_setGroupAdmini", authCode);
  return Done(call.robot(robot).target(group).extra("qq", qq).extra("set", set));
}

int32_t __stdcall KX_setGroupAnonymousBan(int32_t authCode, int64_t robot, int64_t group, int32_t enable) {
  Call call("KX_setGroupAnonymousBan", authCode);
  return Done(call.robot(robot).target(group).extra("enable", enable));
}

int32_t __stdcall KX_setGroupAnonymousBanSpeak(int32_t authCode, int64_t robot, int64_t group,
                                               const char* anonymous, int32_t seconds) {
  Call call("KX_setGroupAnonymousBanSpeak", authCode);
  return Done(call.robot(robot).target(group).text(anonymous).extra("seconds", seconds));
}

int32_t __stdcall KX_setGroupFileUpload(int32_t authCode, int64_t robot, int64_t group, const char* path) {
  Call call("KX_setGroupFileUpload", authCode);
  return Done(call.robot(robot).target(group).text(path));
}

int32_t __stdcall KX_setGroupManyPeopleChat(int32_t authCode, int64_t robot, int64_t group, int32_t enable) {
  Call call("KX_setGroupManyPeopleChat", authCode);
  return Done(call.robot(robot).target(group).extra("enable", enable));
}

int32_t __stdcall KX_setGroupMembersBanSpeak(int32_t authCode, int64_t robot, int64_t group, int64_t qq,
                                             int32_t seconds) {
  Call call("KX_setGroupMembersBanSpeak", authCode);
  return Done(call.robot(robot).target(group).extra("qq", qq).extra("seconds", seconds));
}

int32_t __stdcall KX_setGroupMembersKick(int32_t authCode, int64_t robot, int64_t group, int64_t qq,
                                         int32_t refuseRejoin) {
  Call call("KX_setGroupMembersKick", authCode);
  return Done(call.robot(robot).target(group).extra("qq", qq).extra("refuseRejoin", refuseRejoin));
}

int32_t __stdcall KX_setGroupPrivateSession(int32_t authCode, int64_t robot, int64_t group, int32_t enable) {
  Call call("KX_setGroupPrivateSession", authCode);
  return Done(call.robot(robot).target(group).extra("enable", enable));
}

int32_t __stdcall KX_setGroupSpecialTitle(int32_t authCode, int64_t robot, int64_t group, int64_t qq,
                                          const char* title, int32_t seconds) {
  Call call("KX_setGroupSpecialTitle", authCode);
  return Done(call.robot(robot).target(group).text(title).extra("qq", qq).extra("seconds", seconds));
}

int32_t __stdcall KX_setGroupWholeBanSpeak(int32_t authCode, int64_t robot, int64_t group, int32_t enable) {
  Call call("KX_setGroupWholeBanSpeak", authCode);
  return Done(call.robot(robot).target(group).extra("enable", enable));
}

int32_t __stdcall KX_setMessageSvcMsgWithDraw(int32_t authCode, int64_t robot, const char* message) {
  Call call("KX_setMessageSvcMsgWithDraw", authCode);
  return Done(call.robot(robot).text(message));
}

int32_t __stdcall KX_setModifyGroupMemberCard(int32_t authCode, int64_t robot, int64_t group, int64_t qq,
                                              const char* card) {
  Call call("KX_setModifyGroupMemberCard", authCode);
  return Done(call.robot(robot).target(group).text(card).extra("qq", qq));
}

}  // extern "C"
