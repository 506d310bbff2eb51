// The host's API library (KXOffer.dll) as the plug-in calls it: one virtual
// per library function it uses. The Win32 side binds to the real library by
// name; tests hand in a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

class HostLibrary {
 public:
  virtual ~HostLibrary() = default;
  // Texts come back copied; a missing library or function gives "" or 0.
  virtual std::string getAppDirectory(int32_t authCode) = 0;
  virtual std::string getLoginQQList(int32_t authCode) = 0;
  virtual std::string getGroupList(int32_t authCode, int64_t robot) = 0;
  virtual std::string getFriendList(int32_t authCode, int64_t robot) = 0;
  virtual int32_t sendGroupMsg(int32_t authCode, int64_t robot, int64_t group, std::string_view text) = 0;
  virtual int32_t sendFriendMsg(int32_t authCode, int64_t robot, int64_t qq, std::string_view text) = 0;
  virtual int32_t setFatal(int32_t authCode, std::string_view text) = 0;
};

}  // namespace morvane
