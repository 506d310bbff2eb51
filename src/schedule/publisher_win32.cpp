#include "schedule/publisher_win32.h"

#include <vector>

#include "win32_support.h"

namespace morvane {

PublisherTexts LoadPublisherTexts(std::string_view appDirectory) {
  try {
    // Wide calls with GBK converted explicitly, as for the settings file: the
    // names are Chinese whatever the machine's ANSI code page is.
    const std::wstring file = win32::WideFromGbk(PublisherFilePath(appDirectory));
    return ReadPublisherTexts([&](std::string_view section, std::string_view key) {
      const std::wstring s = win32::WideFromGbk(section), k = win32::WideFromGbk(key);
      std::vector<wchar_t> buffer(10240, L'\0');
      const DWORD n = ::GetPrivateProfileStringW(s.c_str(), k.c_str(), L"", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), file.c_str());
      return win32::GbkFromWide(std::wstring_view(buffer.data(), n));
    });
  } catch (...) {
    return PublisherTexts{};
  }
}

}  // namespace morvane
