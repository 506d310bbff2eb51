// FakeHostLibrary: a HostLibrary that records every call and answers the list
// queries with texts the test sets. Thread-safe, so threaded tests may use it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_library.h"

namespace morvane {

struct HostCall {
  enum class Kind { getAppDirectory, getLoginQQList, getGroupList, getFriendList, sendGroupMsg, sendFriendMsg, setFatal };
  Kind kind = Kind::getAppDirectory;
  int32_t authCode = 0;
  int64_t robot = 0;   // list and send calls
  int64_t target = 0;  // the group or friend a send goes to
  std::string text;    // what was sent or reported
  bool operator==(const HostCall&) const = default;
};

class FakeHostLibrary : public HostLibrary {
 public:
  // The texts the list queries return (base64 of a packed block, or anything).
  void setAppDirectory(std::string text);
  void setLoginList(std::string text);
  void setGroupList(std::string text);
  void setFriendList(std::string text);
  void setSendResult(int32_t result);
  // Runs inside each send call, before it returns (on the caller's thread);
  // a test can block a send here.
  void setSendHook(std::function<void(const HostCall&)> hook);

  std::vector<HostCall> calls() const;
  std::vector<HostCall> sends() const;  // sendGroupMsg and sendFriendMsg only
  size_t countOf(HostCall::Kind kind) const;
  void clear();

  std::string getAppDirectory(int32_t authCode) override;
  std::string getLoginQQList(int32_t authCode) override;
  std::string getGroupList(int32_t authCode, int64_t robot) override;
  std::string getFriendList(int32_t authCode, int64_t robot) override;
  int32_t sendGroupMsg(int32_t authCode, int64_t robot, int64_t group, std::string_view text) override;
  int32_t sendFriendMsg(int32_t authCode, int64_t robot, int64_t qq, std::string_view text) override;
  int32_t setFatal(int32_t authCode, std::string_view text) override;

 private:
  std::string record(HostCall call, const std::string& answer);
  int32_t send(HostCall call);

  mutable std::mutex mutex_;
  std::vector<HostCall> calls_;
  std::string appDirectory_, loginList_, groupList_, friendList_;
  int32_t sendResult_ = 0;
  std::function<void(const HostCall&)> sendHook_;
};

// Base64 texts in the host's packed list layout (big-endian, count first).
std::string PackAccounts(const std::vector<int64_t>& accounts);
// Each entry: a first number (group number + 1000000, never to be posted to),
// the group number and a short name.
std::string PackGroups(const std::vector<int64_t>& groupNumbers);
std::string PackFriends(const std::vector<int64_t>& qqs);
// The raw block helpers, for building odd blocks by hand.
void AppendBigEndian(std::string& block, int64_t value, int width);
void AppendLengthText(std::string& block, std::string_view text);

}  // namespace morvane
