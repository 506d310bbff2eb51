// The one place that includes <windows.h>, for the *_win32.cpp adapters only.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // Windows 7
#endif
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace morvane::win32 {

// Owns a handle released by Traits::close; moves, never copies.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;
  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, Traits::invalid())) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Traits::invalid()));
    return *this;
  }
  ~ScopedHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::invalid(); }
  void reset(Handle handle = Traits::invalid()) {
    if (handle_ != Traits::invalid()) Traits::close(handle_);
    handle_ = handle;
  }
  Handle release() { return std::exchange(handle_, Traits::invalid()); }

 private:
  Handle handle_ = Traits::invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { ::CloseHandle(h); }
};
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;

// GBK (code page 936) <-> UTF-16, whatever the machine's ANSI code page is.
inline constexpr UINT kGbkCodePage = 936;

inline std::wstring WideFromGbk(std::string_view text) {
  if (text.empty()) return {};
  int n = ::MultiByteToWideChar(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

inline std::string GbkFromWide(std::wstring_view text) {
  if (text.empty()) return {};
  int n = ::WideCharToMultiByte(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

}  // namespace morvane::win32
