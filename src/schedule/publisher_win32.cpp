#include "schedule/publisher_win32.h"

#include <vector>

#include "win32_support.h"

namespace morvane {

PublisherTexts LoadPublisherTexts(std::string_view appDirectory) {
  try {
    const std::string file = PublisherFilePath(appDirectory);
    return ReadPublisherTexts([&](std::string_view section, std::string_view key) {
      const std::string s(section), k(key);
      std::vector<char> buffer(10240, '\0');
      const DWORD n = ::GetPrivateProfileStringA(s.c_str(), k.c_str(), "", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), file.c_str());
      return std::string(buffer.data(), n);
    });
  } catch (...) {
    return PublisherTexts{};
  }
}

}  // namespace morvane
