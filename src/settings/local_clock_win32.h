// The computer's local time, for the run log's time column (Win32 build only).
#pragma once

#include "settings/run_log.h"

namespace morvane {

class Win32LocalClock final : public LocalClock {
 public:
  LocalTime now() override;
};

}  // namespace morvane
