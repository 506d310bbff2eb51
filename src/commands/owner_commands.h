// OwnerCommands: the chat commands through which the robot's owner claims the
// robot and changes the settings.
//
// HandleOwnerCommand looks at every group message first. The first sender of
// "获取权限" while no owner is set becomes the owner; afterwards only a sender
// whose number as decimal text equals the owner field byte for byte can
// command. A command changes Settings, replies in the same group with a
// mention of the sender, then saves; the result is 1. Everything else gives 0
// and leaves the settings as they were, so the message goes on to forwarding.
//
// Removal commands take out whole entries only: whole lines of the list
// fields, whole "*" words of the sensitive words, whole "#" pieces of the
// replacements. Arguments are stored as written; nothing is validated.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "host/host_api.h"
#include "settings/settings.h"

namespace morvane {

// The reply to "菜单": eighteen lines, each ended by "\r\n".
std::string OwnerHelpText();

class OwnerCommands {
 public:
  using SaveSettings = std::function<void()>;

  // `saveSettings` is called after every command carried out (may be empty).
  OwnerCommands(Settings& settings, HostApi& host, SaveSettings saveSettings)
      : settings_(settings), host_(host), saveSettings_(std::move(saveSettings)) {}

  // 1 when the message was consumed as a command, 0 otherwise. Never throws.
  int32_t HandleOwnerCommand(int64_t fromGroup, int64_t fromQQ, const std::string& msg);

 private:
  void reply(int64_t fromGroup, int64_t fromQQ, std::string_view text);
  void save();

  Settings& settings_;
  HostApi& host_;
  SaveSettings saveSettings_;
  std::mutex changeMutex_;  // one settings change at a time
};

}  // namespace morvane
