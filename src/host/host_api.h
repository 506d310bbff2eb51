// HostApi: the one process-wide way into the host. It keeps the authorisation
// code, caches the app directory, decodes the host's lists and posts messages.
// Safe to call from the host's event threads and the forward workers at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_library.h"
#include "host/lists.h"

namespace morvane {

class HostApi {
 public:
  explicit HostApi(HostLibrary& library) : library_(library) {}

  int32_t setAuthCode(int32_t code);
  int32_t setInitExtra(int32_t value);
  int32_t authCode() const { return authCode_.load(); }
  int32_t initExtra() const { return initExtra_.load(); }

  // The cached directory; asks the host while the cache is empty.
  std::string appDirectory();

  // Each list call asks the host anew. False (list untouched) when the host
  // gives no text or a text that does not decode.
  bool loginAccounts(std::vector<int64_t>& list);
  bool groupList(int64_t robot, std::vector<GroupEntry>& list);
  bool friendList(int64_t robot, std::vector<FriendEntry>& list);
  // First logged-in account, 0 when there is none; never cached.
  int64_t robotAccount();

  int32_t sendGroupMessage(int64_t robot, int64_t group, std::string_view text);
  int32_t sendFriendMessage(int64_t robot, int64_t qq, std::string_view text);
  int32_t reportFatal(std::string_view text);

 private:
  HostLibrary& library_;
  std::atomic<int32_t> initExtra_{0};
  std::atomic<int32_t> authCode_{0};
  std::mutex directoryMutex_;
  std::string directory_;
};

}  // namespace morvane
