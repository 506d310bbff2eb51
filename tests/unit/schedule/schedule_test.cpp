#include "schedule/schedule.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace morvane {
namespace {

// --- The calendar value ----------------------------------------------------------

TEST(NetworkTime, ClampsEveryFieldThenAddsEightHours) {
  struct Row {
    CalendarFields utc;
    NetworkTime expected;
  };
  const std::vector<Row> rows = {
      {{2024, 12, 10, 3, 0, 0}, {2024, 12, 10, 11, 0, 0, 3}},     // a Tuesday
      {{2024, 12, 10, 16, 0, 0}, {2024, 12, 11, 0, 0, 0, 4}},     // midnight UTC+8
      {{2024, 12, 31, 20, 5, 9}, {2025, 1, 1, 4, 5, 9, 4}},       // into the next year
      {{2024, 2, 28, 23, 59, 59}, {2024, 2, 29, 7, 59, 59, 5}},   // leap day
      {{2023, 2, 28, 23, 0, 0}, {2023, 3, 1, 7, 0, 0, 4}},
      // All zero, as a failed parse would leave them: 1 January 100, 08:00, a Friday.
      {{0, 0, 0, 0, 0, 0}, {100, 1, 1, 8, 0, 0, 6}},
      // Clamped: day to the month's length, hour, minute and second into range.
      {{2023, 2, 31, 0, 0, 0}, {2023, 2, 28, 8, 0, 0, 3}},
      {{2024, 2, 31, 0, 0, 0}, {2024, 2, 29, 8, 0, 0, 5}},
      {{1900, 2, 29, 0, 0, 0}, {1900, 2, 28, 8, 0, 0, 4}},
      {{2024, 13, 40, 99, 75, -3}, {2025, 1, 1, 7, 59, 0, 4}},
      {{-5, -1, -1, -1, -1, -1}, {100, 1, 1, 8, 0, 0, 6}},
      {{20000, 12, 31, 23, 0, 0}, {10000, 1, 1, 7, 0, 0, 7}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.utc.year * 10000 + row.utc.month * 100 + row.utc.day);
    EXPECT_EQ(NetworkTimeFromUtc(row.utc), row.expected);
  }
}

TEST(NetworkTime, DayNumbers) {
  EXPECT_EQ(DayNumber(2024, 12, 8), 1);  // Sunday
  EXPECT_EQ(DayNumber(2024, 12, 9), 2);  // Monday
  EXPECT_EQ(DayNumber(2024, 12, 14), 7);  // Saturday
  EXPECT_EQ(DayNumber(2000, 1, 1), 7);
  EXPECT_EQ(DayNumber(1970, 1, 1), 5);
  EXPECT_EQ(DayNumber(2000, 2, 29), 3);
}

// --- The "Date:" text --------------------------------------------------------------

TEST(NetworkTime, DateHeaderValue) {
  EXPECT_EQ(DateHeaderValue("HTTP/1.1 200 OK\r\nServer: x\r\nDate: Tue, 10 Dec 2024 03:00:00 GMT\r\n\r\n"),
            " Tue, 10 Dec 2024 03:00:00 GMT");
  EXPECT_EQ(DateHeaderValue("date: x\r\n"), " x");
  EXPECT_EQ(DateHeaderValue("Date:x"), "x");
  EXPECT_EQ(DateHeaderValue("X-Date: a\r\nLast-Modified: Tue, 10 Dec 2024 03:00:00 GMT\r\n"), std::nullopt);
  EXPECT_EQ(DateHeaderValue("Server: Date: a\r\n"), std::nullopt);
  EXPECT_EQ(DateHeaderValue(""), std::nullopt);
}

TEST(NetworkTime, HttpDateShape) {
  const std::vector<std::pair<std::string, std::optional<CalendarFields>>> rows = {
      {" Tue, 10 Dec 2024 03:00:00 GMT", CalendarFields{2024, 12, 10, 3, 0, 0}},
      {"Sun, 06 Nov 1994 08:49:37 GMT", CalendarFields{1994, 11, 6, 8, 49, 37}},
      {"Thu, 29 Feb 2024 23:59:60 GMT \t", CalendarFields{2024, 2, 29, 23, 59, 60}},
      {"Wed, 1 Jan 2025 00:00:00 GMT", CalendarFields{2025, 1, 1, 0, 0, 0}},
      // Other forms and broken texts: not a date.
      {"Sunday, 06-Nov-94 08:49:37 GMT", std::nullopt},
      {"Sun Nov  6 08:49:37 1994", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"garbage", std::nullopt},
      {"Tue, 10 Dec 2024 03:00:00", std::nullopt},
      {"Tue, 10 Dec 2024 03:00:00 UTC", std::nullopt},
      {"Tue, 10 Dec 2024 03:00:00 GMT x", std::nullopt},
      {"Tue, 10 dec 2024 03:00:00 GMT", std::nullopt},
      {"Xyz, 10 Dec 2024 03:00:00 GMT", std::nullopt},
      {"Tue, 10 Dec 24 03:00:00 GMT", std::nullopt},
      {"Tue, 32 Dec 2024 03:00:00 GMT", std::nullopt},
      {"Tue, 00 Dec 2024 03:00:00 GMT", std::nullopt},
      {"Tue, 30 Feb 2024 03:00:00 GMT", std::nullopt},
      {"Tue, 10 Dec 2024 24:00:00 GMT", std::nullopt},
      {"Tue, 10 Dec 2024 03:60:00 GMT", std::nullopt},
      {"Tue, 10 Dec 2024 3:00:00 GMT", std::nullopt},
      {"Tue, 10 Dec 0100 03:00:00 GMT", std::nullopt},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseHttpDate(text), expected) << "[" << text << "]";
}

TEST(NetworkTime, FromHeadersChecksTheShapeBeforeTheParser) {
  std::vector<std::string> parsed;
  // Like the platform's parser: accepts anything.
  const HttpDateParser lenient = [&](const std::string& text) -> std::optional<CalendarFields> {
    parsed.push_back(text);
    return CalendarFields{2024, 12, 10, 3, 0, 0};
  };
  EXPECT_EQ(NetworkTimeFromHeaders("HTTP/1.1 200 OK\r\nDate: Tue, 10 Dec 2024 03:00:00 GMT\r\n", lenient),
            (NetworkTime{2024, 12, 10, 11, 0, 0, 3}));
  EXPECT_EQ(parsed, std::vector<std::string>{" Tue, 10 Dec 2024 03:00:00 GMT"});

  parsed.clear();
  EXPECT_EQ(NetworkTimeFromHeaders("HTTP/1.1 200 OK\r\nServer: x\r\n", lenient), std::nullopt);
  EXPECT_EQ(NetworkTimeFromHeaders("Date: soon\r\n", lenient), std::nullopt);
  EXPECT_EQ(NetworkTimeFromHeaders("", lenient), std::nullopt);
  EXPECT_TRUE(parsed.empty());

  const HttpDateParser refusing = [](const std::string&) -> std::optional<CalendarFields> { return std::nullopt; };
  EXPECT_EQ(NetworkTimeFromHeaders("Date: Tue, 10 Dec 2024 03:00:00 GMT\r\n", refusing), std::nullopt);
}

// --- The gate ------------------------------------------------------------------------

class ScriptedClock final : public NetworkClock {
 public:
  std::deque<std::optional<NetworkTime>> answers;
  int asked = 0;
  std::optional<NetworkTime> networkTime() override {
    ++asked;
    if (answers.empty()) return std::nullopt;
    std::optional<NetworkTime> t = answers.front();
    answers.pop_front();
    return t;
  }
};

// 2024-12-08 is a Sunday (day 1); the week runs to Saturday 2024-12-14 (day 7).
NetworkTime At(int dayNumber, int hour, int minute = 0) {
  return NetworkTime{2024, 12, 7 + dayNumber, hour, minute, 0, dayNumber};
}

// Settings with the schedule on, the given boxes (digits "1".."7") and hours.
void Configure(Settings& settings, const std::string& digits, const std::string& start, const std::string& stop,
               bool on = true) {
  settings.setOn(SwitchField::scheduleOn, on);
  for (int digit = 1; digit <= 7; ++digit) {
    const auto box = static_cast<SwitchField>(static_cast<int>(SwitchField::weekday1) + digit - 1);
    settings.setOn(box, digits.find(static_cast<char>('0' + digit)) != std::string::npos);
  }
  settings.setText(TextField::startHour, start);
  settings.setText(TextField::stopHour, stop);
}

TEST(ScheduleGateRules, OneTickTable) {
  const std::string open = kGateOpen, closed = kGateClosed;
  struct Row {
    const char* what;
    bool on;
    std::string digits;
    std::string start, stop;
    NetworkTime time;
    std::string before, after;
  };
  const std::vector<Row> rows = {
      {"start hour on a chosen day opens", true, "23456", "8", "22", At(4, 8, 1), "", open},
      {"stop hour closes", true, "23456", "8", "22", At(4, 22, 59), open, closed},
      {"between the hours nothing changes", true, "23456", "8", "22", At(4, 12), closed, closed},
      {"a day that is not chosen", true, "23456", "8", "22", At(1, 8), closed, closed},
      {"schedule off", false, "1234567", "8", "22", At(4, 8), closed, closed},
      {"equal hours end closed", true, "4", "9", "9", At(4, 9), open, closed},
      {"equal hours from empty", true, "4", "9", "9", At(4, 9), "", closed},
      {"box 1 stands for Sunday", true, "1", "8", "22", At(1, 8), "", open},
      {"box 1 does not stand for Monday", true, "1", "8", "22", At(2, 8), "", ""},
      {"box 2 stands for Monday", true, "2", "8", "22", At(2, 22), open, closed},
      {"box 7 stands for Saturday", true, "7", "8", "22", At(7, 8), closed, open},
      {"empty start hour reads 0", true, "4", "", "22", At(4, 0, 30), closed, open},
      {"hours read as numbers", true, "4", " 08点", "\xA3\xB2\xA3\xB2", At(4, 22), open, closed},
      {"full-width start hour", true, "4", "\xA3\xB8", "22", At(4, 8), closed, open},
      {"no box checked", true, "", "8", "22", At(4, 8), "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Settings settings;
    Configure(settings, row.digits, row.start, row.stop, row.on);
    ScheduleGate gate;
    gate.set(row.before);
    ApplyNetworkTime(row.time, settings, gate);
    EXPECT_EQ(gate.get(), row.after);
  }
}

TEST(ScheduleGateRules, UnreadableTimeChangesNothing) {
  const std::string closed = kGateClosed;
  Settings settings;
  // The made-up time of a failed parse is a Friday at 08:00: it must not open.
  Configure(settings, "6", "8", "22");
  ScriptedClock clock;
  clock.answers = {std::nullopt, std::nullopt};
  ScheduleGate gate;
  gate.set(closed);
  scheduleTick(clock, settings, gate);
  EXPECT_EQ(gate.get(), closed);
  gate.set("");
  scheduleTick(clock, settings, gate);
  EXPECT_EQ(gate.get(), "");
  EXPECT_EQ(clock.asked, 2);
}

TEST(ScheduleGateRules, TheClockIsAskedOnEveryTickEvenWhenOff) {
  Settings settings;
  Configure(settings, "1234567", "8", "22", false);
  ScriptedClock clock;
  ScheduleGate gate;
  for (int i = 0; i < 3; ++i) scheduleTick(clock, settings, gate);
  EXPECT_EQ(clock.asked, 3);
  EXPECT_EQ(gate.get(), "");
}

TEST(ScheduleGateRules, MondayOnlyFromTwentyTwoToEightStaysOpenThroughTuesday) {
  const std::string open = kGateOpen;
  Settings settings;
  Configure(settings, "2", "22", "8");
  ScheduleGate gate;
  const std::vector<std::pair<NetworkTime, std::string>> ticks = {
      {At(2, 7), ""},    {At(2, 8), kGateClosed}, {At(2, 21, 59), kGateClosed},
      {At(2, 22), open}, {At(3, 0), open},        {At(3, 8), open},  // Tuesday is not chosen
      {At(3, 22), open}, {At(4, 8), open},
  };
  for (const auto& [time, expected] : ticks) {
    ApplyNetworkTime(time, settings, gate);
    EXPECT_EQ(gate.get(), expected) << time.dayNumber << " " << time.hour;
  }
}

TEST(ScheduleGateRules, GateIsKeptAcrossSwitchingTheScheduleOffAndOn) {
  const std::string closed = kGateClosed;
  Settings settings;
  Configure(settings, "1234567", "8", "22");
  ScheduleGate gate;
  ApplyNetworkTime(At(4, 22), settings, gate);
  EXPECT_EQ(gate.get(), closed);
  settings.setOn(SwitchField::scheduleOn, false);
  ApplyNetworkTime(At(5, 8), settings, gate);
  EXPECT_EQ(gate.get(), closed);
  settings.setOn(SwitchField::scheduleOn, true);
  ApplyNetworkTime(At(5, 9), settings, gate);
  EXPECT_EQ(gate.get(), closed);
  ApplyNetworkTime(At(6, 8), settings, gate);
  EXPECT_EQ(gate.get(), kGateOpen);
}

TEST(ScheduleGateRules, SettingsAreReadAtEachTick) {
  Settings settings;
  Configure(settings, "4", "8", "22");
  ScriptedClock clock;
  clock.answers = {At(4, 9), At(4, 9)};
  ScheduleGate gate;
  scheduleTick(clock, settings, gate);
  EXPECT_EQ(gate.get(), "");
  settings.setText(TextField::startHour, "9");
  scheduleTick(clock, settings, gate);
  EXPECT_EQ(gate.get(), kGateOpen);
}

}  // namespace
}  // namespace morvane
