// HostLibrary over the host's KXOffer.dll, bound by name at run time.
//
// The library is loaded on first use and each function is looked up on its
// first call; several threads may race to do so, which is harmless because
// LoadLibrary and GetProcAddress return the same values to all of them. When
// the library or a function is missing, a text query gives "" and every other
// call gives 0 without doing anything: a plug-in without its host library
// stays idle instead of bringing the host down.
#include "host/host_library_win32.h"

#include <atomic>

#include "win32_support.h"

namespace morvane {
namespace {

using TextQuery = const char*(__stdcall*)(int32_t);
using ListQuery = const char*(__stdcall*)(int32_t, int64_t);
using SendCall = int32_t(__stdcall*)(int32_t, int64_t, int64_t, const char*);
using FatalCall = int32_t(__stdcall*)(int32_t, const char*);

std::atomic<HMODULE> gLibrary{nullptr};

HMODULE Library() {
  HMODULE module = gLibrary.load();
  if (!module) {
    module = ::LoadLibraryA("KXOffer.dll");
    if (module) gLibrary.store(module);
  }
  return module;
}

// One cached entry point; a missing one is looked up again next time.
template <typename Fn>
class Entry {
 public:
  explicit constexpr Entry(const char* name) : name_(name) {}
  Fn get() {
    FARPROC proc = proc_.load();
    if (!proc) {
      HMODULE module = Library();
      if (!module) return nullptr;
      proc = ::GetProcAddress(module, name_);
      if (!proc) return nullptr;
      proc_.store(proc);
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
  }

 private:
  const char* name_;
  std::atomic<FARPROC> proc_{nullptr};
};

Entry<TextQuery> gGetAppDirectory{"KX_getAppDirectory"};
Entry<TextQuery> gGetLoginQQList{"KX_getLoginQQList"};
Entry<ListQuery> gGetGroupList{"KX_getGroupList"};
Entry<ListQuery> gGetFriendList{"KX_getFriendList"};
Entry<SendCall> gSendGroupMsg{"KX_sendGroupMsg"};
Entry<SendCall> gSendFriendMsg{"KX_sendFriendMsg"};
Entry<FatalCall> gSetFatal{"KX_setFatal"};

std::string Copy(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

std::string KxOfferLibrary::getAppDirectory(int32_t authCode) {
  auto fn = gGetAppDirectory.get();
  return fn ? Copy(fn(authCode)) : std::string();
}

std::string KxOfferLibrary::getLoginQQList(int32_t authCode) {
  auto fn = gGetLoginQQList.get();
  return fn ? Copy(fn(authCode)) : std::string();
}

std::string KxOfferLibrary::getGroupList(int32_t authCode, int64_t robot) {
  auto fn = gGetGroupList.get();
  return fn ? Copy(fn(authCode, robot)) : std::string();
}

std::string KxOfferLibrary::getFriendList(int32_t authCode, int64_t robot) {
  auto fn = gGetFriendList.get();
  return fn ? Copy(fn(authCode, robot)) : std::string();
}

int32_t KxOfferLibrary::sendGroupMsg(int32_t authCode, int64_t robot, int64_t group, std::string_view text) {
  auto fn = gSendGroupMsg.get();
  return fn ? fn(authCode, robot, group, std::string(text).c_str()) : 0;
}

int32_t KxOfferLibrary::sendFriendMsg(int32_t authCode, int64_t robot, int64_t qq, std::string_view text) {
  auto fn = gSendFriendMsg.get();
  return fn ? fn(authCode, robot, qq, std::string(text).c_str()) : 0;
}

int32_t KxOfferLibrary::setFatal(int32_t authCode, std::string_view text) {
  auto fn = gSetFatal.get();
  return fn ? fn(authCode, std::string(text).c_str()) : 0;
}

}  // namespace morvane
