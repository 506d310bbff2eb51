// FetchPage through the real WinINet against tests/wine/http_server.py.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

#include "http_test_server.h"
#include "picture/fetch.h"
#include "picture/fetch_wininet_win32.h"
#include "win32_support.h"

namespace morvane {
namespace {

using testing::Pattern;
using testing::TestServer;

std::string LastRequest() {
  WinInetApi api;
  return FetchPage(api, TestServer() + "/_last");
}

struct Timed {
  std::string body;
  double seconds;
};

Timed TimedFetch(const std::string& url) {
  WinInetApi api;
  const ULONGLONG start = ::GetTickCount64();
  std::string body = FetchPage(api, url);
  return {std::move(body), (::GetTickCount64() - start) / 1000.0};
}

TEST(WinInetFetch, UrlOnlyGetSendsTheDefaultRequestAndReturnsTheBodyExactly) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinInetApi api;
  const std::string url = TestServer() + "/bytes/70000";
  EXPECT_EQ(FetchPage(api, url), Pattern(70000));

  // Exactly these lines, in the order WinINet chooses, and no body.
  const std::string raw = LastRequest();
  std::printf("request as received:\n%s\n", raw.c_str());
  ASSERT_TRUE(raw.ends_with("\r\n\r\n")) << raw;
  std::vector<std::string> lines;
  for (size_t at = 0; at < raw.size() - 4;) {
    const size_t end = raw.find("\r\n", at);
    lines.push_back(raw.substr(at, end - at));
    at = end + 2;
  }
  std::vector<std::string> expected = {
      "GET /bytes/70000 HTTP/1.1",
      "Host: " + TestServer().substr(7),
      "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
      "Accept: */*",
      "Referer: " + url,
      "Accept-Language: zh-cn",
  };
  EXPECT_EQ(lines.front(), expected.front());
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
}

TEST(WinInetFetch, ErrorBodiesComeBackLikeAnyOther) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinInetApi api;
  FetchRequest request;
  request.url = TestServer() + "/missing";
  FetchResponse response;
  EXPECT_EQ(FetchPage(api, request, response), std::string("not here\0!", 10));
  EXPECT_EQ(response.returnedHeaders.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << response.returnedHeaders;
  EXPECT_TRUE(response.returnedHeaders.ends_with("\r\n\r\n"));
}

TEST(WinInetFetch, SetCookieLinesAndCookiesPassed) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinInetApi api;
  {
    FetchRequest request;
    request.url = TestServer() + "/cookies";
    FetchResponse response;
    EXPECT_EQ(FetchPage(api, request, response), "ok");
    EXPECT_EQ(response.returnedCookies, "a=1; b=2");
  }
  {
    FetchRequest request;
    request.url = TestServer() + "/cookies";
    request.cookies = "a=0; k=3";
    FetchResponse response;
    EXPECT_EQ(FetchPage(api, request, response), "ok");
    EXPECT_EQ(response.returnedCookies, "a=1; b=2; k=3");
    EXPECT_EQ(request.cookies, "a=1; b=2; k=3");
    const std::string raw = LastRequest();
    EXPECT_NE(raw.find("\r\nCookie: a=0; k=3\r\n"), std::string::npos) << raw;
  }
}

TEST(WinInetFetch, PostSendsTheBodyAndContentType) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinInetApi api;
  FetchRequest request;
  request.url = TestServer() + "/form";
  request.method = 1;
  request.body = "q=1";
  request.headers = "x-test: yes";
  FetchResponse response;
  EXPECT_EQ(FetchPage(api, request, response), "hello");
  const std::string raw = LastRequest();
  EXPECT_EQ(raw.rfind("POST /form HTTP/1.1\r\n", 0), 0u) << raw;
  EXPECT_NE(raw.find("X-Test: yes\r\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << raw;
  EXPECT_TRUE(raw.ends_with("\r\n\r\nq=1")) << raw;
}

TEST(WinInetFetch, UnreachablePortGivesNothing) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinInetApi api;
  FetchRequest request;
  request.url = testing::ClosedPortAddress() + "/x";
  FetchResponse response{"", "unchanged"};
  EXPECT_EQ(FetchPage(api, request, response), "");
  EXPECT_EQ(response.returnedHeaders, "unchanged");
  EXPECT_EQ(response.returnedCookies, "");
}

TEST(WinInetFetch, TwentyMebibyteBody) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const size_t size = 20u << 20;
  const Timed t = TimedFetch(TestServer() + "/bytes/" + std::to_string(size));
  std::printf("20 MiB in %.2f s\n", t.seconds);
  EXPECT_EQ(t.body.size(), size);
  EXPECT_TRUE(t.body == Pattern(size));
}

TEST(WinInetFetch, HeaderBlockOverFiveThousandBytes) {
  MORVANE_REQUIRE_HTTP_SERVER();
  WinInetApi api;
  FetchRequest request;
  request.url = TestServer() + "/big-headers/6000";
  FetchResponse response{"old=1", "unchanged"};
  EXPECT_EQ(FetchPage(api, request, response), "ok");
  EXPECT_EQ(response.returnedHeaders, "unchanged");
  EXPECT_EQ(response.returnedCookies, "");

  request = FetchRequest{};
  request.url = TestServer() + "/big-headers/4000";
  EXPECT_EQ(FetchPage(api, request, response), "ok");
  EXPECT_EQ(response.returnedCookies, "big=1");
}

TEST(WinInetFetch, UrlOfTenThousandBytes) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const std::string url = TestServer() + "/bytes/10?" + std::string(10000, 'q');
  const Timed t = TimedFetch(url);
  std::printf("10,000-byte URL: %zu body bytes in %.2f s\n", t.body.size(), t.seconds);
  EXPECT_TRUE(t.body.empty() || t.body == Pattern(10)) << t.body.size();
}

TEST(WinInetFetch, ServerClosingMidBody) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const Timed t = TimedFetch(TestServer() + "/close-mid-body");
  std::printf("closed mid-body: %zu bytes in %.2f s\n", t.body.size(), t.seconds);
  EXPECT_EQ(t.body, std::string(t.body.size(), 'x'));
  EXPECT_LE(t.body.size(), 1000u);
}

TEST(WinInetFetch, SilentServerReleasesTheCallerWithinTheTimeouts) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const Timed t = TimedFetch(TestServer() + "/silent");
  std::printf("silent server: %zu bytes after %.2f s\n", t.body.size(), t.seconds);
  EXPECT_EQ(t.body, "");
  EXPECT_LT(t.seconds, 35.0);
}

TEST(WinInetFetch, DribblingServerIsCutAtTheDeadline) {
  MORVANE_REQUIRE_HTTP_SERVER();
  const Timed t = TimedFetch(TestServer() + "/dribble");
  std::printf("dribbling server: %zu bytes after %.2f s\n", t.body.size(), t.seconds);
  EXPECT_EQ(t.body, "");
  EXPECT_LT(t.seconds, 35.0);
}

}  // namespace
}  // namespace morvane
