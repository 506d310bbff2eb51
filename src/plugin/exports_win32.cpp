// The functions the host calls. Each copies its text arguments (null as ""),
// calls into the plug-in and catches everything: no exception crosses into the
// host's frames, and every event export answers 0.
#include <cstdint>
#include <exception>
#include <new>
#include <string>

#include "plugin/app_win32.h"
#include "win32_support.h"

namespace {

using morvane::TheApp;

std::string Copy(const char* text) { return text ? std::string(text) : std::string(); }

template <typename Fn>
int32_t Guarded(Fn&& fn) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    morvane::ReportFatal(-2, "内存分配失败");
  } catch (const std::exception& e) {
    morvane::ReportFatal(-1, e.what());
  } catch (...) {
    morvane::ReportFatal(-1, "未知异常");
  }
  return 0;
}

}  // namespace

extern "C" {

const char* __stdcall AppInfo() {
  const char* manifest = nullptr;
  Guarded([&] {
    manifest = TheApp().plugin.AppInfo();
    return 0;
  });
  return manifest ? manifest : "";
}

int32_t __stdcall Initialize(int32_t authCode, int32_t initExtra) {
  return Guarded([&] {
    int32_t result = TheApp().plugin.Initialize(authCode, initExtra);
    if (result == 0) morvane::InstallFatalReporter();
    return result;
  });
}

int32_t __stdcall _eventStartup() {
  return Guarded([] { return TheApp().plugin.eventStartup(); });
}

int32_t __stdcall _eventExit() { return 0; }

int32_t __stdcall _eventEnable() {
  return Guarded([] { return TheApp().plugin.eventEnable(); });
}

int32_t __stdcall _eventDisable() {
  return Guarded([] { return TheApp().plugin.eventDisable(); });
}

int32_t __stdcall _menuA() {
  return Guarded([] { return TheApp().plugin.menuA(); });
}

int32_t __stdcall _eventGroupMsg(int32_t, int32_t, int32_t, int32_t, int32_t, int64_t fromGroup, int64_t fromQQ,
                                 const char*, const char* msg, const char*, int32_t) {
  return Guarded([&] {
    const std::string message = Copy(msg);
    TheApp().plugin.eventGroupMsg(fromGroup, fromQQ, message);
    return 0;
  });
}

// Events the plug-in declares but does not act on: the words are host event
// data it never reads, declared only so that each export removes the right
// number of bytes from the stack.
int32_t __stdcall _eventPrivateMsg(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                   const char*, const char*, const char*, int32_t) {
  return 0;
}

int32_t __stdcall _eventDiscussMsg(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                   const char*, const char*, const char*, int32_t) {
  return 0;
}

int32_t __stdcall _eventPushMsgEvent(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                     int32_t, int32_t, const char*, const char*, int32_t) {
  return 0;
}

int32_t __stdcall _eventSystem_GroupAdmin(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                          int32_t) {
  return 0;
}

int32_t __stdcall _eventSystem_GroupMemberDecrease(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                   int32_t, int32_t, int32_t, int32_t) {
  return 0;
}

int32_t __stdcall _eventSystem_GroupMemberIncrease(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                   int32_t, int32_t, int32_t, int32_t) {
  return 0;
}

int32_t __stdcall _eventFriendEvent(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*) {
  return 0;
}

int32_t __stdcall _eventRequest_AddFriend(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                                          const char*, const char*) {
  return 0;
}

int32_t __stdcall _eventRequest_AddGroup(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                         int32_t, const char*, const char*, const char*) {
  return 0;
}

}  // extern "C"
