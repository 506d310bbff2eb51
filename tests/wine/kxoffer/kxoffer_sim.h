// The stand-in KXOffer.dll as the test programs steer it: besides the KX_
// functions it exports Sim_ functions that set what the KX_ queries answer
// and hand out the record of every KX_ call. Test programs bind them at run
// time (SimLibrary below), so a program can also run without the library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// One recorded KX_ call. The pointers stay valid until Sim_reset or
// Sim_clearCalls.
struct SimCall {
  int32_t sequence;      // 1, 2, ... in the order the calls arrived
  uint32_t threadId;     // the calling thread
  int64_t timeMs;        // arrival, in ms since the library was loaded
  const char* function;  // "KX_sendGroupMsg"
  int32_t authCode;
  int64_t robot;         // the first 64-bit argument, 0 if none
  int64_t target;        // the second 64-bit argument (group, friend), 0 if none
  const char* text;      // the first text argument, GBK; "" if none
  int32_t textLength;
  int32_t textWasNull;   // 1 when the caller passed a null text pointer
  const char* extra;     // any further arguments, written out ("qq=5 seconds=60")
};

// Every Sim_ text setter takes a zero-terminated GBK text; null makes the
// matching KX_ query return a null pointer.
using SimResetFn = void(__stdcall*)();
using SimSetTextFn = void(__stdcall*)(const char*);
using SimSetIntFn = void(__stdcall*)(int32_t);
using SimCallCountFn = int32_t(__stdcall*)();
using SimGetCallFn = int32_t(__stdcall*)(int32_t index, SimCall* out);

// The Sim_ functions of a loaded stand-in; ok() is false when the library or
// one of them is missing.
struct SimLibrary {
  HMODULE module = nullptr;
  SimResetFn reset = nullptr;          // forget calls and configuration
  SimResetFn clearCalls = nullptr;     // forget calls only
  SimSetTextFn setAppDirectory = nullptr;
  SimSetTextFn setLoginList = nullptr;   // base64 of the packed block
  SimSetTextFn setGroupList = nullptr;
  SimSetTextFn setFriendList = nullptr;
  SimSetIntFn setSendDelayMs = nullptr;  // every KX_send* call sleeps this long
  SimSetIntFn setSendResult = nullptr;   // what every KX_send* call returns
  SimCallCountFn callCount = nullptr;
  SimGetCallFn getCall = nullptr;          // index 0 .. callCount()-1

  bool ok() const {
    return module && reset && clearCalls && setAppDirectory && setLoginList && setGroupList && setFriendList &&
           setSendDelayMs && setSendResult && callCount && getCall;
  }

  // Loads "KXOffer.dll" by name (the loader's search order, as the plug-in does).
  bool load() {
    module = ::LoadLibraryA("KXOffer.dll");
    if (!module) return false;
    bind(reset, "Sim_reset");
    bind(clearCalls, "Sim_clearCalls");
    bind(setAppDirectory, "Sim_setAppDirectory");
    bind(setLoginList, "Sim_setLoginList");
    bind(setGroupList, "Sim_setGroupList");
    bind(setFriendList, "Sim_setFriendList");
    bind(setSendDelayMs, "Sim_setSendDelayMs");
    bind(setSendResult, "Sim_setSendResult");
    bind(callCount, "Sim_callCount");
    bind(getCall, "Sim_getCall");
    return ok();
  }

 private:
  template <typename Fn>
  void bind(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  }
};
