// Reading the publisher file with the platform's profile functions (Win32 build only).
#pragma once

#include <string_view>

#include "schedule/publisher.h"

namespace morvane {

// The texts of appDirectory + "发布者.ini"; the defaults when it is absent.
PublisherTexts LoadPublisherTexts(std::string_view appDirectory);

}  // namespace morvane
