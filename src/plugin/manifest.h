#pragma once

#include <string>

namespace morvane {

// The manifest the host reads from AppInfo: compact JSON, GBK.
std::string BuildManifest();

}  // namespace morvane
