#include "settings/profile_store_win32.h"

#include <vector>

#include "win32_support.h"

namespace morvane {
namespace {

using win32::GbkFromWide;
using win32::WideFromGbk;

// Beyond this a value is given back cut; no settings value comes near it.
constexpr size_t kMaxValueChars = size_t{1} << 26;

win32::ScopedKernelHandle OpenExisting(std::string_view path, DWORD access) {
  HANDLE h = ::CreateFileW(WideFromGbk(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return win32::ScopedKernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

}  // namespace

std::string Win32ProfileStore::readValue(std::string_view file, std::string_view section, std::string_view key) {
  try {
    const std::wstring wideFile = WideFromGbk(file);
    const std::wstring wideSection = WideFromGbk(section);
    const std::wstring wideKey = WideFromGbk(key);
    std::vector<wchar_t> buffer(4096);
    for (;;) {
      const DWORD n = ::GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), L"", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), wideFile.c_str());
      // A value that does not fit comes back cut to size - 1 characters: grow until it fits.
      if (n + 1 < buffer.size() || buffer.size() >= kMaxValueChars) {
        return GbkFromWide(std::wstring_view(buffer.data(), n));
      }
      buffer.resize(buffer.size() * 2);
    }
  } catch (...) {
    return {};
  }
}

bool Win32ProfileStore::writeValue(std::string_view file, std::string_view section, std::string_view key,
                                   std::string_view value) {
  try {
    // The wide function: the ANSI one goes through a Unicode string of 16-bit
    // length and fails (under Wine: reports success and stores garbage) for
    // values of 32,767 bytes or more.
    return ::WritePrivateProfileStringW(WideFromGbk(section).c_str(), WideFromGbk(key).c_str(),
                                        WideFromGbk(value).c_str(), WideFromGbk(file).c_str()) != 0;
  } catch (...) {
    return false;
  }
}

bool Win32ProfileStore::flush(std::string_view file) {
  try {
    // Writes out the profile cache where the system keeps one, then the file's own buffers.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, WideFromGbk(file).c_str());
    const win32::ScopedKernelHandle handle = OpenExisting(file, GENERIC_READ | GENERIC_WRITE);
    return handle && ::FlushFileBuffers(handle.get()) != 0;
  } catch (...) {
    return false;
  }
}

bool Win32ProfileStore::replaceFile(std::string_view from, std::string_view to) {
  try {
    return ::MoveFileExW(WideFromGbk(from).c_str(), WideFromGbk(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  } catch (...) {
    return false;
  }
}

bool Win32ProfileStore::deleteFile(std::string_view file) {
  try {
    if (::DeleteFileW(WideFromGbk(file).c_str()) != 0) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  } catch (...) {
    return false;
  }
}

std::optional<std::string> Win32ProfileStore::readFile(std::string_view path) {
  try {
    if (path.empty()) return std::nullopt;
    const win32::ScopedKernelHandle handle = OpenExisting(path, GENERIC_READ);
    if (!handle) return std::nullopt;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
      DWORD n = 0;
      if (!::ReadFile(handle.get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n, nullptr)) {
        return std::nullopt;
      }
      if (n == 0) break;  // the file shrank meanwhile
      got += n;
    }
    bytes.resize(got);
    return bytes;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace morvane
