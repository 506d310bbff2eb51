// The monitoring schedule: once a minute the time is read from a web server's
// "Date:" header, shifted to UTC+8, and on a chosen weekday the gate opens in
// the start hour and closes in the stop hour.
//
// scheduleTick runs on the settings window's thread (timer "时钟1"); the gate
// it writes is read by admission on the host's threads.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "schedule/schedule_gate.h"
#include "settings/settings.h"

namespace morvane {

// A calendar date and time as an HTTP-date parser fills it in (UTC).
struct CalendarFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const CalendarFields&) const = default;
};

// The network time: UTC+8, with the day number 1 (Sunday) .. 7 (Saturday).
struct NetworkTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int dayNumber = 0;
  bool operator==(const NetworkTime&) const = default;
};

// The source of the network time. nullopt: the time could not be read (no
// answer, no "Date:" line, a date of the wrong shape or one the parser rejects).
class NetworkClock {
 public:
  virtual ~NetworkClock() = default;
  virtual std::optional<NetworkTime> networkTime() = 0;
};

// Every field clamped into range (year 100-9999, month 1-12, day 1-31 and then
// the month's length, hour 0-23, minute and second 0-59), then 8 hours added;
// the day number is that of the resulting date (proleptic Gregorian).
NetworkTime NetworkTimeFromUtc(const CalendarFields& utc);

// 1 (Sunday) .. 7 (Saturday).
int DayNumber(int year, int month, int day);

// The value of the header block's "Date:" line (name matched in any case, at the
// start of a line), or nullopt when there is none.
std::optional<std::string> DateHeaderValue(std::string_view headers);

// The fields of an HTTP date in the RFC 1123 form that HTTP/1.1 servers send,
// "Tue, 10 Dec 2024 03:00:00 GMT", with blanks around it allowed. Every other
// text (RFC 850 and asctime forms included) gives nullopt. The platform's parser
// accepts anything, so this decides whether a text is a date at all.
std::optional<CalendarFields> ParseHttpDate(std::string_view text);

// The platform's HTTP-date parser; nullopt when it reports failure.
using HttpDateParser = std::function<std::optional<CalendarFields>(const std::string& text)>;

// networkTime's last steps over the response headers: the "Date:" value, the
// shape check, the platform's parser, then NetworkTimeFromUtc.
std::optional<NetworkTime> NetworkTimeFromHeaders(std::string_view headers, const HttpDateParser& parser);

// One tick over a time already read: nothing changes when the time is unknown
// or the schedule is off or the day is not chosen; otherwise the start hour
// opens the gate and then the stop hour closes it (equal hours end closed).
// The settings are read at each call.
void ApplyNetworkTime(const std::optional<NetworkTime>& time, const Settings& settings, ScheduleGate& gate);

// The timer handler: the clock is asked on every tick, whether the schedule is
// on or not, and then ApplyNetworkTime.
void scheduleTick(NetworkClock& clock, const Settings& settings, ScheduleGate& gate);

// The request the network clock makes.
inline constexpr long kClockTimeoutMs = 15000;  // resolve, connect, send, receive
inline constexpr long kClockCertificateFlags = 0x3300;
inline constexpr std::string_view kClockUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

}  // namespace morvane
