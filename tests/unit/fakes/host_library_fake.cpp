#include "fakes/host_library_fake.h"

#include "host/lists.h"

namespace morvane {

void FakeHostLibrary::setAppDirectory(std::string text) {
  std::lock_guard lock(mutex_);
  appDirectory_ = std::move(text);
}
void FakeHostLibrary::setLoginList(std::string text) {
  std::lock_guard lock(mutex_);
  loginList_ = std::move(text);
}
void FakeHostLibrary::setGroupList(std::string text) {
  std::lock_guard lock(mutex_);
  groupList_ = std::move(text);
}
void FakeHostLibrary::setFriendList(std::string text) {
  std::lock_guard lock(mutex_);
  friendList_ = std::move(text);
}
void FakeHostLibrary::setSendResult(int32_t result) {
  std::lock_guard lock(mutex_);
  sendResult_ = result;
}
void FakeHostLibrary::setSendHook(std::function<void(const HostCall&)> hook) {
  std::lock_guard lock(mutex_);
  sendHook_ = std::move(hook);
}

std::vector<HostCall> FakeHostLibrary::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<HostCall> FakeHostLibrary::sends() const {
  std::lock_guard lock(mutex_);
  std::vector<HostCall> sends;
  for (const HostCall& call : calls_) {
    if (call.kind == HostCall::Kind::sendGroupMsg || call.kind == HostCall::Kind::sendFriendMsg) sends.push_back(call);
  }
  return sends;
}

size_t FakeHostLibrary::countOf(HostCall::Kind kind) const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const HostCall& call : calls_) n += call.kind == kind ? 1 : 0;
  return n;
}

void FakeHostLibrary::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::string FakeHostLibrary::record(HostCall call, const std::string& answer) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
  return answer;
}

int32_t FakeHostLibrary::send(HostCall call) {
  std::function<void(const HostCall&)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = sendHook_;
  }
  if (hook) hook(call);
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
  return sendResult_;
}

std::string FakeHostLibrary::getAppDirectory(int32_t authCode) {
  return record({HostCall::Kind::getAppDirectory, authCode, 0, 0, {}}, appDirectory_);
}
std::string FakeHostLibrary::getLoginQQList(int32_t authCode) {
  return record({HostCall::Kind::getLoginQQList, authCode, 0, 0, {}}, loginList_);
}
std::string FakeHostLibrary::getGroupList(int32_t authCode, int64_t robot) {
  return record({HostCall::Kind::getGroupList, authCode, robot, 0, {}}, groupList_);
}
std::string FakeHostLibrary::getFriendList(int32_t authCode, int64_t robot) {
  return record({HostCall::Kind::getFriendList, authCode, robot, 0, {}}, friendList_);
}
int32_t FakeHostLibrary::sendGroupMsg(int32_t authCode, int64_t robot, int64_t group, std::string_view text) {
  return send({HostCall::Kind::sendGroupMsg, authCode, robot, group, std::string(text)});
}
int32_t FakeHostLibrary::sendFriendMsg(int32_t authCode, int64_t robot, int64_t qq, std::string_view text) {
  return send({HostCall::Kind::sendFriendMsg, authCode, robot, qq, std::string(text)});
}
int32_t FakeHostLibrary::setFatal(int32_t authCode, std::string_view text) {
  record({HostCall::Kind::setFatal, authCode, 0, 0, std::string(text)}, {});
  return 0;
}

void AppendBigEndian(std::string& block, int64_t value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    block += static_cast<char>((static_cast<uint64_t>(value) >> shift) & 0xFF);
  }
}

void AppendLengthText(std::string& block, std::string_view text) {
  AppendBigEndian(block, static_cast<int64_t>(text.size()), 2);
  block.append(text);
}

std::string PackAccounts(const std::vector<int64_t>& accounts) {
  std::string block;
  AppendBigEndian(block, static_cast<int64_t>(accounts.size()), 4);
  for (const int64_t account : accounts) AppendBigEndian(block, account, 8);
  return EncodeBase64(block);
}

std::string PackGroups(const std::vector<int64_t>& groupNumbers) {
  std::string block;
  AppendBigEndian(block, static_cast<int64_t>(groupNumbers.size()), 4);
  for (const int64_t group : groupNumbers) {
    AppendBigEndian(block, group + 1000000, 8);
    AppendBigEndian(block, group, 8);
    AppendLengthText(block, "group");
  }
  return EncodeBase64(block);
}

std::string PackFriends(const std::vector<int64_t>& qqs) {
  std::string block;
  AppendBigEndian(block, static_cast<int64_t>(qqs.size()), 4);
  for (const int64_t qq : qqs) {
    AppendBigEndian(block, qq, 8);
    AppendLengthText(block, "friend");
  }
  return EncodeBase64(block);
}

}  // namespace morvane
