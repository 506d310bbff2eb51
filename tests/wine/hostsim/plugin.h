// The plug-in DLL as the host sees it: loaded by path, seventeen exports
// looked up by name, each called through a thunk that measures how many
// stack bytes the export removed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

// Argument layout, one letter per parameter: i int32, q int64, s text.
struct ExportInfo {
  const char* name;
  const char* layout;
  int32_t width;  // bytes the export must remove
};

inline constexpr ExportInfo kExports[] = {
    {"AppInfo", "", 0},
    {"Initialize", "ii", 8},
    {"_eventStartup", "", 0},
    {"_eventExit", "", 0},
    {"_eventEnable", "", 0},
    {"_eventDisable", "", 0},
    {"_eventPrivateMsg", "iiiiiiiiisssi", 52},
    {"_eventGroupMsg", "iiiiiqqsssi", 52},
    {"_eventDiscussMsg", "iiiiiiiiisssi", 52},
    {"_eventPushMsgEvent", "iiiiiiiiiiissi", 56},
    {"_eventSystem_GroupAdmin", "iiiiiiiii", 36},
    {"_eventSystem_GroupMemberDecrease", "iiiiiiiiiii", 44},
    {"_eventSystem_GroupMemberIncrease", "iiiiiiiiiii", 44},
    {"_eventFriendEvent", "iiiiiiis", 32},
    {"_eventRequest_AddFriend", "iiiiiiisss", 40},
    {"_eventRequest_AddGroup", "iiiiiiiiisss", 48},
    {"_menuA", "", 0},
};
inline constexpr int kExportCount = sizeof(kExports) / sizeof(kExports[0]);
int ExportIndex(std::string_view name);  // -1 when unknown

// The stack words of one call, first argument first; a 64-bit value takes
// two words, low word first.
class ArgWords {
 public:
  ArgWords& i(int32_t v) { words_.push_back(static_cast<uint32_t>(v)); return *this; }
  ArgWords& q(int64_t v) {
    words_.push_back(static_cast<uint32_t>(static_cast<uint64_t>(v)));
    words_.push_back(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
    return *this;
  }
  ArgWords& s(const char* text) { words_.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text))); return *this; }
  const std::vector<uint32_t>& words() const { return words_; }

 private:
  std::vector<uint32_t> words_;
};

struct CallOutcome {
  bool called = false;      // false: the export is missing or the plug-in is not loaded
  int32_t result = 0;
  int32_t removed = 0;      // stack bytes the export removed
  bool widthOk() const;     // set by Plugin::call
  int32_t expected = 0;
};

class Plugin {
 public:
  bool load(const std::string& path, std::string& error);
  void unload();
  bool loaded() const { return module_ != nullptr; }
  bool has(int index) const { return procs_[index] != nullptr; }
  CallOutcome call(int index, const ArgWords& args) const;

 private:
  HMODULE module_ = nullptr;
  FARPROC procs_[kExportCount] = {};
};

// Harmless arguments for an export: zeros and empty texts (or null texts).
ArgWords PlainArgs(int index, bool nullTexts);

}  // namespace hostsim
