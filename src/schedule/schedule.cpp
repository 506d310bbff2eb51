#include "schedule/schedule.h"

#include <algorithm>
#include <array>

#include "text/text.h"

namespace morvane {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads minWidth..maxWidth decimal digits.
bool ReadNumber(std::string_view& s, int minWidth, int maxWidth, int& value) {
  int n = 0;
  value = 0;
  while (n < maxWidth && n < static_cast<int>(s.size()) && IsDigit(s[static_cast<size_t>(n)])) {
    value = value * 10 + (s[static_cast<size_t>(n)] - '0');
    ++n;
  }
  if (n < minWidth) return false;
  s.remove_prefix(static_cast<size_t>(n));
  return true;
}

bool ReadLiteral(std::string_view& s, std::string_view literal) {
  if (s.substr(0, literal.size()) != literal) return false;
  s.remove_prefix(literal.size());
  return true;
}

template <size_t N>
int ReadName(std::string_view& s, const std::array<std::string_view, N>& names) {
  for (size_t i = 0; i < N; ++i) {
    if (ReadLiteral(s, names[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

int DayNumber(int year, int month, int day) {
  // Sakamoto's method, 0 = Sunday.
  static constexpr std::array<int, 12> kOffsets = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  const int weekday = (year + year / 4 - year / 100 + year / 400 + kOffsets[static_cast<size_t>(month - 1)] + day) % 7;
  return weekday + 1;
}

NetworkTime NetworkTimeFromUtc(const CalendarFields& utc) {
  NetworkTime t;
  t.year = std::clamp(utc.year, 100, 9999);
  t.month = std::clamp(utc.month, 1, 12);
  t.day = std::clamp(utc.day, 1, 31);
  t.day = std::min(t.day, DaysInMonth(t.year, t.month));
  t.hour = std::clamp(utc.hour, 0, 23);
  t.minute = std::clamp(utc.minute, 0, 59);
  t.second = std::clamp(utc.second, 0, 59);

  t.hour += 8;
  if (t.hour >= 24) {
    t.hour -= 24;
    if (++t.day > DaysInMonth(t.year, t.month)) {
      t.day = 1;
      if (++t.month > 12) {
        t.month = 1;
        ++t.year;
      }
    }
  }
  t.dayNumber = DayNumber(t.year, t.month, t.day);
  return t;
}

std::optional<std::string> DateHeaderValue(std::string_view headers) {
  for (const std::string& line : SplitText(headers, "\r\n")) {
    if (FindText(line, "Date:", 1, true) == 1) return line.substr(5);
  }
  return std::nullopt;
}

std::optional<CalendarFields> ParseHttpDate(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);

  CalendarFields f;
  if (ReadName(s, kWeekdays) < 0 || !ReadLiteral(s, ", ")) return std::nullopt;
  if (!ReadNumber(s, 1, 2, f.day) || !ReadLiteral(s, " ")) return std::nullopt;
  const int month = ReadName(s, kMonths);
  if (month < 0 || !ReadLiteral(s, " ")) return std::nullopt;
  f.month = month + 1;
  if (!ReadNumber(s, 4, 4, f.year) || !ReadLiteral(s, " ")) return std::nullopt;
  if (!ReadNumber(s, 2, 2, f.hour) || !ReadLiteral(s, ":")) return std::nullopt;
  if (!ReadNumber(s, 2, 2, f.minute) || !ReadLiteral(s, ":")) return std::nullopt;
  if (!ReadNumber(s, 2, 2, f.second) || !ReadLiteral(s, " GMT") || !s.empty()) return std::nullopt;

  if (f.year < 1601 || f.day < 1 || f.day > DaysInMonth(f.year, f.month)) return std::nullopt;
  if (f.hour > 23 || f.minute > 59 || f.second > 60) return std::nullopt;
  return f;
}

std::optional<NetworkTime> NetworkTimeFromHeaders(std::string_view headers, const HttpDateParser& parser) {
  const std::optional<std::string> text = DateHeaderValue(headers);
  if (!text || !ParseHttpDate(*text)) return std::nullopt;
  const std::optional<CalendarFields> parsed = parser ? parser(*text) : std::nullopt;
  if (!parsed) return std::nullopt;
  return NetworkTimeFromUtc(*parsed);
}

void ApplyNetworkTime(const std::optional<NetworkTime>& time, const Settings& settings, ScheduleGate& gate) {
  if (!time) return;
  if (!settings.isOn(SwitchField::scheduleOn)) return;
  bool chosen = false;
  for (int digit = 1; digit <= 7; ++digit) {
    const auto box = static_cast<SwitchField>(static_cast<int>(SwitchField::weekday1) + digit - 1);
    chosen = chosen || (settings.isOn(box) && digit == time->dayNumber);
  }
  if (!chosen) return;
  if (time->hour == TextToInt32(settings.text(TextField::startHour))) gate.set(kGateOpen);
  if (time->hour == TextToInt32(settings.text(TextField::stopHour))) gate.set(kGateClosed);
}

void scheduleTick(NetworkClock& clock, const Settings& settings, ScheduleGate& gate) {
  ApplyNetworkTime(clock.networkTime(), settings, gate);
}

}  // namespace morvane
