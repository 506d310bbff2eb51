// HostLibrary bound to KXOffer.dll (Win32 build only).
#pragma once

#include "host/host_library.h"

namespace morvane {

class KxOfferLibrary final : public HostLibrary {
 public:
  std::string getAppDirectory(int32_t authCode) override;
  std::string getLoginQQList(int32_t authCode) override;
  std::string getGroupList(int32_t authCode, int64_t robot) override;
  std::string getFriendList(int32_t authCode, int64_t robot) override;
  int32_t sendGroupMsg(int32_t authCode, int64_t robot, int64_t group, std::string_view text) override;
  int32_t sendFriendMsg(int32_t authCode, int64_t robot, int64_t qq, std::string_view text) override;
  int32_t setFatal(int32_t authCode, std::string_view text) override;
};

}  // namespace morvane
