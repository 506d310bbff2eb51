// The settings file through the Win32 profile-string functions (Win32 build only).
#pragma once

#include "settings/settings_file.h"

namespace morvane {

// Names, paths and values are GBK (code page 936) whatever the machine's ANSI
// code page. The file is an INI file without a byte-order mark, which Windows
// writes and reads in the ANSI code page: GBK on the Chinese systems the host
// runs on.
class Win32ProfileStore final : public ProfileStore {
 public:
  std::string readValue(std::string_view file, std::string_view section, std::string_view key) override;
  bool writeValue(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value) override;
  bool flush(std::string_view file) override;
  bool replaceFile(std::string_view from, std::string_view to) override;
  bool deleteFile(std::string_view file) override;
  std::optional<std::string> readFile(std::string_view path) override;
};

}  // namespace morvane
