#include "picture/fetch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace morvane {
namespace {

// --- Request shaping -----------------------------------------------------------

struct UrlRow {
  std::string url;
  std::string host;
  std::string hostWithPort;
  int port;
  std::string path;
  bool https;
};

TEST(FetchUrl, HostPortPathTable) {
  const std::vector<UrlRow> rows = {
      {"http://h", "h", "h", 80, "/", false},
      {"http://h/", "h", "h", 80, "/", false},
      {"HTTPS://Ex.COM:8443/A/b?Q=1", "ex.com", "ex.com:8443", 8443, "/A/b?Q=1", true},
      {"https://Pic.Example.com/x.PNG", "pic.example.com", "pic.example.com", 443, "/x.PNG", true},
      {"https://h", "h", "h", 443, "/", true},
      {"http://h:8080", "h", "h:8080", 8080, "/", false},
      // No scheme: HTTP, path from the first "/" after the host.
      {"www.X.com/Path/To?q", "www.x.com", "www.x.com", 80, "/Path/To?q", false},
      {"www.x.com", "www.x.com", "www.x.com", 80, "/", false},
      {"127.0.0.1:81/a", "127.0.0.1", "127.0.0.1:81", 81, "/a", false},
      // A scheme-less address whose query carries another address keeps its host.
      {"www.a.com/go?u=http://b.com/x", "www.a.com", "www.a.com", 80, "/go?u=http://b.com/x", false},
      // A host that begins with "https" but no scheme is plain HTTP on port 80.
      {"httpsite.com/a", "httpsite.com", "httpsite.com", 80, "/a", false},
      // An address that carries another address keeps its own host.
      {"http://a.com/r?to=https://b.com/", "a.com", "a.com", 80, "/r?to=https://b.com/", false},
      // A host that also occurs inside the scheme.
      {"https://ps/A", "ps", "ps", 443, "/A", true},
      {"", "", "", 80, "/", false},
  };
  for (const UrlRow& row : rows) {
    SCOPED_TRACE(row.url);
    EXPECT_EQ(UrlHost(row.url, false), row.host);
    EXPECT_EQ(UrlHost(row.url, true), row.hostWithPort);
    EXPECT_EQ(UrlPort(row.url), row.port);
    EXPECT_EQ(UrlPath(row.url), row.path);
    EXPECT_EQ(IsHttpsUrl(row.url), row.https);
  }
}

TEST(FetchText, TrimSpaces) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", ""},
      {"   ", ""},
      {"  a b  ", "a b"},
      {"\xA1\xA1" "a\xA1\xA1 ", "a"},
      {"\ta\r\n", "\ta\r\n"},  // tabs and line breaks are not spaces
      // 0xA1 0xA1 made of a character's trail byte and the next lead byte is no space.
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(TrimSpaces(in), out) << in;
}

TEST(FetchText, MethodTable) {
  const std::vector<std::pair<int, std::string>> rows = {
      {0, "GET"},     {1, "POST"},  {2, "HEAD"},    {3, "PUT"}, {4, "OPTIONS"},
      {5, "DELETE"},  {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"}, {9, "GET"},
      {-1, "GET"},    {INT32_MIN, "GET"},
  };
  for (const auto& [method, verb] : rows) EXPECT_EQ(MethodVerb(method), verb) << method;
}

TEST(FetchText, CapitaliseHeaderNames) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", ""},
      {"user-agent: X", "User-Agent: X"},
      {"content-TYPE: text/plain", "Content-TYPE: text/plain"},
      {"accept: a:b-c\r\nx-forwarded-for: 1", "Accept: a:b-c\r\nX-Forwarded-For: 1"},
      // Lines without ":" are lost, and so are empty lines.
      {"accept: */*\r\nno colon here\r\n\r\nreferer: r\r\n", "Accept: */*\r\nReferer: r"},
      {"no colon", ""},
      {"a--b: 1", "A--B: 1"},
      {"1abc: 1", "1abc: 1"},
      {"\xD6\xD0-x: 1", "\xD6\xD0-X: 1"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(CapitaliseHeaderNames(in), out) << in;
}

TEST(FetchText, UserAgent) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", std::string(kDefaultUserAgent)},
      {"Accept: */*", std::string(kDefaultUserAgent)},
      {"User-Agent: X", "X"},
      {"Accept: */*\r\nUser-Agent:  My Agent \r\nReferer: r", "My Agent"},
      // Found without case, but taken with exact case: the text after the first ":".
      {"user-agent: X", "X"},
      {"Accept: a\r\nuser-agent: X", "a\r\nuser-agent: X"},
      {"User-Agent:", ""},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(UserAgentFromHeaders(in), out) << in;
}

TEST(FetchText, CompleteHeaders) {
  const std::string url = "http://h/p";
  struct Row {
    std::string headers;
    int method;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"", 0, "Accept: */*\r\nReferer: http://h/p\r\nAccept-Language: zh-cn"},
      {"X-A: 1", 0, "X-A: 1\r\nAccept: */*\r\nReferer: http://h/p\r\nAccept-Language: zh-cn"},
      {"ACCEPT: text/html\r\nreferer: r\r\naccept-language: en", 0,
       "ACCEPT: text/html\r\nreferer: r\r\naccept-language: en"},
      {"", 1,
       "Accept: */*\r\nReferer: http://h/p\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded"},
      {"content-type: a/b", 1,
       "content-type: a/b\r\nAccept: */*\r\nReferer: http://h/p\r\nAccept-Language: zh-cn"},
      {"", 3, "Accept: */*\r\nReferer: http://h/p\r\nAccept-Language: zh-cn"},
  };
  for (const Row& row : rows) EXPECT_EQ(CompleteHeaders(row.headers, url, row.method), row.expected) << row.headers;
}

TEST(FetchText, CookieLine) {
  EXPECT_EQ(AppendCookieLine("A: 1", ""), "A: 1");
  EXPECT_EQ(AppendCookieLine("A: 1", "a=1; b=2"), "A: 1\r\nCookie: a=1; b=2");
  EXPECT_EQ(AppendCookieLine("A: 1", "Cookie: a=1"), "A: 1\r\nCookie: a=1");
  EXPECT_EQ(AppendCookieLine("", "a=1"), "\r\nCookie: a=1");
}

TEST(FetchText, CookiesFromHeaders) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n", "a=1; b=2"},
      {"Set-Cookie:  c=3 ;Path=/", "c=3"},
      // Only the exact name with ": " counts.
      {"set-cookie: a=1\r\nSet-Cookie2: b=2\r\nX-Set-Cookie: c=3", ""},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(CookiesFromHeaders(in), out) << in;
}

TEST(FetchText, CookieNameAndDistinctJoin) {
  EXPECT_EQ(CookieName(" a =1"), "a");
  EXPECT_EQ(CookieName("flag"), "flag");
  EXPECT_EQ(CookieName("=v"), "");
  EXPECT_EQ(DistinctJoin("a; b; a; c; b", "; "), "a; b; c");
  EXPECT_EQ(DistinctJoin("", "; "), "");
  EXPECT_EQ(DistinctJoin("a*a*", "*"), "a");
}

TEST(FetchText, MergeCookies) {
  struct Row {
    std::string old;
    std::string received;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"a=1; k=3", "a=9; b=deleted", "a=9; k=3"},
      {"", "", ""},
      {"a=1", "", "a=1"},
      {"", "b=2", "b=2"},
      {"  a=1; ", "b=2;", "b=2; a=1"},
      {"a=1; a=2", "", "a=1"},
      {"x=deleted", "", ""},
      {"a=1", "b=2; b=2", "b=2; a=1"},
  };
  for (const Row& row : rows) {
    std::string old = row.old;
    EXPECT_EQ(MergeCookies(old, row.received), row.expected) << row.old << " + " << row.received;
    EXPECT_EQ(old, row.expected);
  }
}

TEST(FetchText, RequestFlags) {
  EXPECT_EQ(RequestFlags(false, false, false), 0x80004010u);
  EXPECT_EQ(RequestFlags(true, false, false), 0x80800010u);
  EXPECT_EQ(RequestFlags(false, true, true), 0x80284010u);
  EXPECT_EQ(RequestFlags(true, true, true), 0x80A80010u);
}

// --- FetchPage over a fake WinINet ---------------------------------------------

// Records every call, hands out distinct handles and checks that each one is
// closed exactly once.
class FakeInternet final : public InternetApi {
 public:
  // Which open call fails: 0 none, 1 root, 2 connection, 3 request.
  int failAt = 0;
  bool sendFails = false;
  std::deque<std::string> chunks;  // what successive reads return
  std::optional<std::string> headerBlock = "HTTP/1.1 200 OK\r\n\r\n";
  int64_t millisecondsPerRead = 0;

  std::vector<std::string> calls;
  std::string agent, proxyName, host, verb, path, sentHeaders;
  uint32_t accessType = 0, flags = 0;
  uint16_t port = 0;
  std::optional<std::string> sentBody;
  std::map<uint32_t, uint32_t> requestOptions;
  std::vector<std::string> faults;

  Handle open(std::string_view a, uint32_t type, std::string_view proxy) override {
    calls.push_back("open");
    agent = a;
    accessType = type;
    proxyName = proxy;
    return make(failAt == 1, "root");
  }
  Handle connect(Handle root, std::string_view h, uint16_t p) override {
    calls.push_back("connect");
    expectKind(root, "root");
    host = h;
    port = p;
    return make(failAt == 2, "connection");
  }
  Handle openRequest(Handle connection, std::string_view v, std::string_view p, uint32_t f) override {
    calls.push_back("openRequest");
    expectKind(connection, "connection");
    verb = v;
    path = p;
    flags = f;
    return make(failAt == 3, "request");
  }
  bool setOption(Handle handle, uint32_t option, uint32_t value) override {
    if (!live_.count(handle)) faults.push_back("option on a dead handle");
    if (kinds_[handle] == "request") requestOptions[option] = value;
    return true;
  }
  bool send(Handle request, std::string_view headers, std::optional<std::string_view> body) override {
    calls.push_back("send");
    expectKind(request, "request");
    sentHeaders = headers;
    if (body) sentBody = std::string(*body);
    if (sendFails) chunks.clear();
    return !sendFails;
  }
  uint32_t read(Handle request, char* buffer, uint32_t size) override {
    expectKind(request, "request");
    now_ += millisecondsPerRead;
    if (chunks.empty()) return 0;
    std::string& next = chunks.front();
    const uint32_t n = std::min<uint32_t>(size, static_cast<uint32_t>(next.size()));
    next.copy(buffer, n);
    next.erase(0, n);
    if (next.empty()) chunks.pop_front();
    ++reads;
    return n;
  }
  std::optional<std::string> rawHeaders(Handle request, uint32_t capacity) override {
    calls.push_back("rawHeaders");
    expectKind(request, "request");
    headerCapacity = capacity;
    return headerBlock;
  }
  void close(Handle handle) override {
    calls.push_back("close " + kinds_[handle]);
    if (live_.erase(handle) != 1) faults.push_back("closed a handle that was not open");
  }
  int64_t steadyMilliseconds() override { return now_; }

  // Every handle handed out was closed exactly once.
  void expectAllClosed() const {
    EXPECT_TRUE(live_.empty()) << live_.size() << " handle(s) left open";
    EXPECT_TRUE(faults.empty()) << faults.front();
  }

  int reads = 0;
  uint32_t headerCapacity = 0;

 private:
  Handle make(bool fail, const std::string& kind) {
    if (fail) return nullptr;
    Handle h = reinterpret_cast<Handle>(static_cast<uintptr_t>(0x1000 + ++next_));
    live_.insert(h);
    kinds_[h] = kind;
    return h;
  }
  void expectKind(Handle h, const std::string& kind) {
    if (!live_.count(h) || kinds_[h] != kind) faults.push_back("used a wrong " + kind + " handle");
  }

  int next_ = 0;
  int64_t now_ = 0;
  std::set<Handle> live_;
  std::map<Handle, std::string> kinds_;
};

TEST(FetchPage, UrlOnlyIsAPlainGetWithTheDefaultHeaders) {
  FakeInternet net;
  std::string body("\x89PNG\0\0\x01", 7);
  body += std::string(3000, '\0');
  net.chunks = {body.substr(0, 1500), body.substr(1500)};

  EXPECT_EQ(FetchPage(net, "http://Pic.Host.cn"), body);

  EXPECT_EQ(net.agent, kDefaultUserAgent);
  EXPECT_EQ(net.accessType, inet::kOpenTypeDirect);
  EXPECT_EQ(net.proxyName, "");
  EXPECT_EQ(net.host, "pic.host.cn");
  EXPECT_EQ(net.port, 80);
  EXPECT_EQ(net.verb, "GET");
  EXPECT_EQ(net.path, "/");
  EXPECT_EQ(net.flags, 0x80004010u);
  EXPECT_EQ(net.sentHeaders, "Accept: */*\r\nReferer: http://Pic.Host.cn\r\nAccept-Language: zh-cn");
  EXPECT_FALSE(net.sentBody.has_value());
  EXPECT_EQ(net.requestOptions[inet::kOptionSecurityFlags], 0x1F380u);
  EXPECT_EQ(net.requestOptions[inet::kOptionReceiveTimeout], kStepTimeoutMs);
  EXPECT_EQ(net.requestOptions[inet::kOptionConnectTimeout], kStepTimeoutMs);
  EXPECT_EQ(net.headerCapacity, kHeaderCapacity);
  EXPECT_EQ(net.calls, (std::vector<std::string>{"open", "connect", "openRequest", "send", "rawHeaders",
                                                 "close request", "close connection", "close root"}));
  net.expectAllClosed();
}

TEST(FetchPage, ReadsInChunksOfAKibibyte) {
  FakeInternet net;
  net.chunks = {std::string(5000, 'x')};
  EXPECT_EQ(FetchPage(net, "http://h/").size(), 5000u);
  EXPECT_EQ(net.reads, 5);  // 4 x 1024 + 904
}

TEST(FetchPage, ProxyAndScheme) {
  struct Row {
    std::string url;
    std::string proxy;
    uint32_t accessType;
    std::string proxyName;
    uint32_t flags;
    uint16_t port;
  };
  const std::vector<Row> rows = {
      {"http://h/", "", inet::kOpenTypeDirect, "", 0x80004010u, 80},
      {"http://h/", "10.0.0.1:8080", inet::kOpenTypeProxy, "http=10.0.0.1:8080", 0x80004010u, 80},
      {"HTTPS://h/", "10.0.0.1:8080", inet::kOpenTypeProxy, "10.0.0.1:8080", 0x80800010u, 443},
  };
  for (const Row& row : rows) {
    FakeInternet net;
    FetchRequest request;
    request.url = row.url;
    request.proxy = row.proxy;
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.accessType, row.accessType) << row.url;
    EXPECT_EQ(net.proxyName, row.proxyName);
    EXPECT_EQ(net.flags, row.flags);
    EXPECT_EQ(net.port, row.port);
    net.expectAllClosed();
  }
}

TEST(FetchPage, MethodAndBody) {
  {
    FakeInternet net;
    FetchRequest request;
    request.url = "http://h/";
    request.method = 9;
    request.body = "abc";
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.verb, "GET");
    EXPECT_FALSE(net.sentBody.has_value());
    EXPECT_EQ(request.bodyBytes, "");
  }
  {
    FakeInternet net;
    FetchRequest request;
    request.url = "http://h/";
    request.method = 1;
    request.body = "a=1";
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.verb, "POST");
    EXPECT_EQ(net.sentBody, "a=1");
    EXPECT_EQ(request.bodyBytes, "a=1");
    EXPECT_NE(net.sentHeaders.find("\r\nContent-Type: application/x-www-form-urlencoded"), std::string::npos);
    EXPECT_EQ(request.headers, net.sentHeaders);
  }
  {
    // bodyBytes wins over body; an empty body is still a body.
    FakeInternet net;
    FetchRequest request;
    request.url = "http://h/";
    request.method = 3;
    request.body = "text";
    request.bodyBytes = std::string("\0\1", 2);
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.sentBody, std::string("\0\1", 2));

    FakeInternet net2;
    FetchRequest empty;
    empty.url = "http://h/";
    empty.method = 5;
    FetchPage(net2, empty, response);
    EXPECT_EQ(net2.sentBody, "");
  }
}

TEST(FetchPage, HeaderSwitches) {
  {
    FakeInternet net;
    FetchRequest request;
    request.url = "http://h/";
    request.headers = "user-agent: X\r\nbroken line";
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.agent, "X");
    EXPECT_EQ(net.sentHeaders, "User-Agent: X\r\nAccept: */*\r\nReferer: http://h/\r\nAccept-Language: zh-cn");
    EXPECT_EQ(request.headers, net.sentHeaders);
  }
  {
    FakeInternet net;
    FetchRequest request;
    request.url = "http://h/";
    request.headers = "user-agent: X";
    request.capitaliseHeaders = false;
    request.completeHeaders = false;
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.agent, "X");
    EXPECT_EQ(net.sentHeaders, "user-agent: X");
  }
}

TEST(FetchPage, CookiesPassedBypassTheStoreAndMerge) {
  {
    // Passed as the empty text: no cookie line, but the flag and the merge.
    FakeInternet net;
    net.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n";
    FetchRequest request;
    request.url = "http://h/";
    request.cookies = "";
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.flags & inet::kFlagNoCookies, inet::kFlagNoCookies);
    EXPECT_EQ(net.sentHeaders.find("Cookie"), std::string::npos);
    EXPECT_EQ(response.returnedCookies, "a=1; b=2");
    EXPECT_EQ(request.cookies, "a=1; b=2");
    EXPECT_EQ(response.returnedHeaders, *net.headerBlock);
  }
  {
    FakeInternet net;
    net.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: a=9\r\nSet-Cookie: b=deleted; path=/\r\n\r\n";
    FetchRequest request;
    request.url = "http://h/";
    request.cookies = "a=1; k=3";
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_TRUE(net.sentHeaders.ends_with("\r\nCookie: a=1; k=3"));
    EXPECT_EQ(response.returnedCookies, "a=9; k=3");
    EXPECT_EQ(request.cookies, "a=9; k=3");
  }
  {
    // Not passed: the store is used and nothing is merged.
    FakeInternet net;
    net.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: a=9\r\n\r\n";
    FetchRequest request;
    request.url = "http://h/";
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(net.flags & inet::kFlagNoCookies, 0u);
    EXPECT_EQ(response.returnedCookies, "a=9");
    EXPECT_FALSE(request.cookies.has_value());
  }
  {
    FakeInternet net;
    net.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: a=9\r\n\r\n";
    FetchRequest request;
    request.url = "http://h/";
    request.cookies = "k=3";
    request.mergeCookies = false;
    FetchResponse response;
    FetchPage(net, request, response);
    EXPECT_EQ(response.returnedCookies, "a=9");
    EXPECT_EQ(request.cookies, "k=3");
  }
}

TEST(FetchPage, HeaderBlockThatDoesNotFit) {
  FakeInternet net;
  net.headerBlock = std::nullopt;
  net.chunks = {"body"};
  FetchRequest request;
  request.url = "http://h/";
  FetchResponse response{"old=1", "old headers"};
  EXPECT_EQ(FetchPage(net, request, response), "body");
  EXPECT_EQ(response.returnedHeaders, "old headers");
  EXPECT_EQ(response.returnedCookies, "");
  net.expectAllClosed();
}

TEST(FetchPage, EveryFailurePathClosesWhatItOpened) {
  struct Row {
    int failAt;
    bool sendFails;
    std::vector<std::string> calls;
  };
  const std::vector<Row> rows = {
      {1, false, {"open"}},
      {2, false, {"open", "connect", "close root"}},
      {3, false, {"open", "connect", "openRequest", "close connection", "close root"}},
      {0, true,
       {"open", "connect", "openRequest", "send", "close request", "close connection", "close root"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.failAt);
    FakeInternet net;
    net.failAt = row.failAt;
    net.sendFails = row.sendFails;
    net.headerBlock = row.sendFails ? std::nullopt : std::optional<std::string>("HTTP/1.1 200 OK\r\n\r\n");
    net.chunks = {"body"};
    FetchRequest request;
    request.url = "http://h/";
    request.headers = "x-a: 1";
    request.bodyBytes = "kept";
    FetchResponse response{"c=1", "old headers"};
    EXPECT_EQ(FetchPage(net, request, response), "");
    EXPECT_EQ(net.calls, row.calls);
    EXPECT_EQ(response.returnedHeaders, "old headers");
    EXPECT_EQ(request.bodyBytes, "kept");
    if (row.failAt != 0) {
      EXPECT_EQ(response.returnedCookies, "c=1");
      EXPECT_EQ(request.headers, "X-A: 1");  // capitalised, not completed
    }
    net.expectAllClosed();
  }
}

TEST(FetchPage, PortOutOfRangeOpensNoConnection) {
  FakeInternet net;
  EXPECT_EQ(FetchPage(net, "http://h:70000/"), "");
  EXPECT_EQ(net.calls, (std::vector<std::string>{"open", "close root"}));
  net.expectAllClosed();
}

TEST(FetchPage, ABodyStillArrivingAtTheDeadlineGivesNothing) {
  FakeInternet net;
  net.millisecondsPerRead = 1000;
  for (int i = 0; i < 100; ++i) net.chunks.push_back("x");
  EXPECT_EQ(FetchPage(net, "http://h/"), "");
  EXPECT_LT(net.reads, 25);
  net.expectAllClosed();

  FakeInternet quick;
  quick.millisecondsPerRead = 1000;
  for (int i = 0; i < 10; ++i) quick.chunks.push_back("x");
  EXPECT_EQ(FetchPage(quick, "http://h/"), std::string(10, 'x'));
}

}  // namespace
}  // namespace morvane
