#include "settings/local_clock_win32.h"

#include "win32_support.h"

namespace morvane {

LocalTime Win32LocalClock::now() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace morvane
