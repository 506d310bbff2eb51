// The network clock through the real WinHTTP request object against
// tests/wine/http_server.py, and the publisher file through the profile functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "http_test_server.h"
#include "picture/fetch.h"
#include "picture/fetch_wininet_win32.h"
#include "schedule/clock_winhttp_win32.h"
#include "schedule/publisher_win32.h"
#include "win32_support.h"

namespace morvane {
namespace {

using testing::TestServer;

std::string LastRequest() {
  WinInetApi api;
  return FetchPage(api, TestServer() + "/_last");
}

TEST(WinHttpClock, ReadsTheDateHeaderAsUtcPlusEight) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const std::string address = TestServer() + "/date";
  WinHttpClock clock(address);
  EXPECT_EQ(clock.networkTime(), (NetworkTime{2024, 12, 10, 11, 0, 0, 3}));

  const std::string raw = LastRequest();
  std::printf("request as received:\n%s\n", raw.c_str());
  EXPECT_EQ(raw.rfind("HEAD /date HTTP/1.1\r\n", 0), 0u) << raw;
  for (const std::string& line :
       {std::string("Accept: */*\r\n"), "Referer: " + address + "\r\n", std::string("Accept-Language: zh-cn\r\n"),
        std::string("User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n")}) {
    EXPECT_NE(raw.find(line), std::string::npos) << line;
  }
}

TEST(WinHttpClock, HeadersCarryTheDateLine) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const std::optional<std::string> headers = RequestTimeHeaders(TestServer() + "/date");
  ASSERT_TRUE(headers.has_value());
  EXPECT_NE(headers->find("Date: Tue, 10 Dec 2024 03:00:00 GMT\r\n"), std::string::npos) << *headers;
}

TEST(WinHttpClock, UnreadableTimesLeaveTheGateAlone) {
  MORVANE_REQUIRE_HTTP_SERVER();
  // The made-up time of a failed parse would be a Friday (box 6) at 08:00.
  Settings settings;
  settings.setOn(SwitchField::scheduleOn, true);
  for (int i = 0; i < 7; ++i) settings.setOn(static_cast<SwitchField>(static_cast<int>(SwitchField::weekday1) + i), true);
  settings.setText(TextField::startHour, "8");
  settings.setText(TextField::stopHour, "8");
  for (const std::string& address : {TestServer() + "/no-date", TestServer() + "/bad-date",
                                    testing::ClosedPortAddress() + "/"}) {
    SCOPED_TRACE(address);
    WinHttpClock clock(address);
    EXPECT_EQ(clock.networkTime(), std::nullopt);
    ScheduleGate gate;
    gate.set(kGateOpen);
    scheduleTick(clock, settings, gate);
    EXPECT_EQ(gate.get(), kGateOpen);
  }
}

TEST(WinHttpClock, PlatformParserAcceptsAnythingSoTheShapeIsCheckedFirst) {
  EXPECT_EQ(PlatformHttpDate(" Tue, 10 Dec 2024 03:00:00 GMT"), (CalendarFields{2024, 12, 10, 3, 0, 0}));
  const std::optional<CalendarFields> garbage = PlatformHttpDate("soon");
  std::printf("InternetTimeToSystemTimeA(\"soon\") %s\n", garbage ? "succeeds" : "fails");
  EXPECT_EQ(NetworkTimeFromHeaders("Date: soon\r\n", PlatformHttpDate), std::nullopt);
}

TEST(WinHttpClock, SilentServerDoesNotHoldTheCallerPastTheWait) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinHttpClock clock(TestServer() + "/silent", 2000);
  ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(clock.networkTime(), std::nullopt);
  const double first = (::GetTickCount64() - start) / 1000.0;
  start = ::GetTickCount64();
  EXPECT_EQ(clock.networkTime(), std::nullopt);  // the first request is still in flight
  const double second = (::GetTickCount64() - start) / 1000.0;
  std::printf("silent time source: %.2f s, then %.2f s while the first is in flight\n", first, second);
  EXPECT_LT(first, 10.0);
  EXPECT_LT(second, 1.0);
}

TEST(PublisherFile, ReadThroughTheProfileFunctions) {
  char temp[MAX_PATH];
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string directory = std::string(temp) + "morvane-publisher-test\\";
  ::CreateDirectoryA(directory.c_str(), nullptr);
  const std::string file = PublisherFilePath(directory);
  ::DeleteFileA(file.c_str());

  EXPECT_EQ(LoadPublisherTexts(directory), PublisherTexts{});

  ASSERT_TRUE(::WritePrivateProfileStringA("时间", "地址", "http://127.0.0.1:1/", file.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringA("发布者", "公告", "欢迎><br><使用", file.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringA("发布者", "客服qq", "10000", file.c_str()));
  const PublisherTexts texts = LoadPublisherTexts(directory);
  EXPECT_EQ(texts.timeSource, "http://127.0.0.1:1/");
  EXPECT_EQ(texts.announcementText, "欢迎\r\n使用");
  EXPECT_EQ(texts.supportContact, "10000");
  EXPECT_EQ(texts.updateLink, "");
  ::DeleteFileA(file.c_str());
  ::RemoveDirectoryA(directory.c_str());
}

}  // namespace
}  // namespace morvane
