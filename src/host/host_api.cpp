#include "host/host_api.h"

namespace morvane {

int32_t HostApi::setAuthCode(int32_t code) {
  authCode_.store(code);
  return 0;
}

int32_t HostApi::setInitExtra(int32_t value) {
  initExtra_.store(value);
  return 0;
}

std::string HostApi::appDirectory() {
  std::lock_guard lock(directoryMutex_);
  if (directory_.empty()) directory_ = library_.getAppDirectory(authCode());
  return directory_;
}

bool HostApi::loginAccounts(std::vector<int64_t>& list) {
  const std::string text = library_.getLoginQQList(authCode());
  return !text.empty() && DecodeAccounts(text, list);
}

bool HostApi::groupList(int64_t robot, std::vector<GroupEntry>& list) {
  const std::string text = library_.getGroupList(authCode(), robot);
  return !text.empty() && DecodeGroups(text, list);
}

bool HostApi::friendList(int64_t robot, std::vector<FriendEntry>& list) {
  const std::string text = library_.getFriendList(authCode(), robot);
  return !text.empty() && DecodeFriends(text, list);
}

int64_t HostApi::robotAccount() {
  std::vector<int64_t> accounts;
  loginAccounts(accounts);
  return accounts.empty() ? 0 : accounts.front();
}

int32_t HostApi::sendGroupMessage(int64_t robot, int64_t group, std::string_view text) {
  return library_.sendGroupMsg(authCode(), robot, group, text);
}

int32_t HostApi::sendFriendMessage(int64_t robot, int64_t qq, std::string_view text) {
  return library_.sendFriendMsg(authCode(), robot, qq, text);
}

int32_t HostApi::reportFatal(std::string_view text) { return library_.setFatal(authCode(), text); }

}  // namespace morvane
