// FetchPage: one HTTP(S) request through WinINet, returning the response body.
//
// The request shaping (URL parts, header text, cookies, flags) and the order of
// the WinINet calls are portable; the calls themselves go through InternetApi,
// whose Win32 implementation only forwards them (fetch_wininet_win32.cpp).
// Texts are GBK bytes; bodies are byte strings that may hold zero bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// --- Request shaping -------------------------------------------------------

// Method numbers 0..7: GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT.
// Any other number means 0 (GET).
int NormaliseMethod(int method);
std::string_view MethodVerb(int method);

inline constexpr std::string_view kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Without leading and trailing blanks: 0x20 and the full-width space 0xA1 0xA1.
std::string TrimSpaces(std::string_view text);
// ASCII A-Z folded to a-z; every other byte kept.
std::string LowerAscii(std::string_view text);

// The first 8 bytes, lower-cased, are "https://".
bool IsHttpsUrl(std::string_view url);
// Lower-cased host; keepPort keeps a ":port" suffix. "HTTPS://Ex.COM:8443/A" -> "ex.com".
std::string UrlHost(std::string_view url, bool keepPort);
// The written port, else 443 for https:// and 80 otherwise.
int UrlPort(std::string_view url);
// Path and query from the first "/" after the host, case kept; "/" when none.
std::string UrlPath(std::string_view url);

// Every header name raised word by word ("content-TYPE" -> "Content-TYPE");
// lines without ":" are dropped; lines joined by "\r\n" with no trailing one.
std::string CapitaliseHeaderNames(std::string_view headers);
// The agent named by a "User-Agent:" line of the headers, else kDefaultUserAgent.
std::string UserAgentFromHeaders(std::string_view headers);
// Adds Accept, Referer, Accept-Language and (for POST) Content-Type where missing.
std::string CompleteHeaders(std::string headers, std::string_view url, int method);
// Appends the "Cookie:" line for non-empty cookies.
std::string AppendCookieLine(std::string headers, std::string_view cookies);

// "name=value" of every "Set-Cookie" line of a raw header block, joined by "; ".
std::string CookiesFromHeaders(std::string_view rawHeaders);
// The name of a cookie item: the trimmed text before the first "=".
std::string CookieName(std::string_view item);
// The items of text between separators, each kept at its first occurrence only.
std::string DistinctJoin(std::string_view text, std::string_view separator);
// Cookies received win over those sent and come first; "=deleted" items go.
// The result is also stored into `old`.
// MergeCookies("a=1; k=3", "a=9; b=deleted") == "a=9; k=3".
std::string MergeCookies(std::string& old, std::string_view received);

// WinINet values the request uses.
namespace inet {
inline constexpr uint32_t kOpenTypeDirect = 1;
inline constexpr uint32_t kOpenTypeProxy = 3;
inline constexpr uint32_t kFlagReload = 0x80000000;
inline constexpr uint32_t kFlagNeedFile = 0x00000010;
inline constexpr uint32_t kFlagNoCookies = 0x00080000;
inline constexpr uint32_t kFlagNoAutoRedirect = 0x00200000;
inline constexpr uint32_t kFlagSecure = 0x00800000;
inline constexpr uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;
inline constexpr uint32_t kOptionConnectTimeout = 2;
inline constexpr uint32_t kOptionConnectRetries = 3;
inline constexpr uint32_t kOptionSendTimeout = 5;
inline constexpr uint32_t kOptionReceiveTimeout = 6;
inline constexpr uint32_t kOptionDataSendTimeout = 7;
inline constexpr uint32_t kOptionDataReceiveTimeout = 8;
inline constexpr uint32_t kOptionSecurityFlags = 31;
// Every certificate problem ignored: revocation, unknown CA, wrong usage, name,
// date, redirects between http and https, weak signature.
inline constexpr uint32_t kIgnoreCertificateProblems = 0x1F380;
}  // namespace inet

uint32_t RequestFlags(bool https, bool cookiesPassed, bool noRedirect);

// --- The platform ------------------------------------------------------------

// The WinINet calls FetchPage makes, one virtual per call. A null handle is a
// failure. The caller closes every handle it got exactly once.
class InternetApi {
 public:
  using Handle = void*;
  virtual ~InternetApi() = default;
  virtual Handle open(std::string_view agent, uint32_t accessType, std::string_view proxyName) = 0;
  virtual Handle connect(Handle root, std::string_view host, uint16_t port) = 0;
  virtual Handle openRequest(Handle connection, std::string_view verb, std::string_view path, uint32_t flags) = 0;
  virtual bool setOption(Handle handle, uint32_t option, uint32_t value) = 0;
  // body: nullopt sends no body (GET); otherwise the bytes, possibly none.
  virtual bool send(Handle request, std::string_view headers, std::optional<std::string_view> body) = 0;
  // Bytes read into buffer; 0 at the end of the body and on failure.
  virtual uint32_t read(Handle request, char* buffer, uint32_t size) = 0;
  // HTTP_QUERY_RAW_HEADERS_CRLF into a buffer of `capacity` bytes; nullopt when
  // the query fails (the block does not fit, or no response).
  virtual std::optional<std::string> rawHeaders(Handle request, uint32_t capacity) = 0;
  virtual void close(Handle handle) = 0;
  // A monotonic clock in milliseconds, for the whole-call deadline.
  virtual int64_t steadyMilliseconds() = 0;
};

// --- FetchPage ---------------------------------------------------------------

// Every argument but url is optional; the defaults are the omitted values.
struct FetchRequest {
  std::string url;
  int method = 0;
  std::string body;                    // used when bodyBytes is empty (not for GET)
  std::optional<std::string> cookies;  // in/out; passing it (even empty) bypasses the WinINet cookie store
  std::string headers;                 // in/out; afterwards exactly the header text sent
  bool noRedirect = false;
  std::string bodyBytes;  // in/out; filled from body when empty (not for GET)
  std::string proxy;      // empty: direct connection
  bool mergeCookies = true;
  bool completeHeaders = true;
  bool capitaliseHeaders = true;
};

// Out values; left as they were when the request cannot be opened.
struct FetchResponse {
  std::string returnedCookies;
  // The raw block; unchanged when no answer came or the block is over kHeaderCapacity bytes.
  std::string returnedHeaders;
};

// Bounds that keep a silent or dribbling server from holding the caller:
// each connect, send and receive waits at most kStepTimeoutMs, and no read
// starts after kReadDeadlineMs from the start of the call, so a call returns
// within about 30 s (name resolution is not bounded by WinINet).
inline constexpr uint32_t kStepTimeoutMs = 10000;
inline constexpr int64_t kReadDeadlineMs = 20000;
inline constexpr uint32_t kReadChunk = 1024;
inline constexpr uint32_t kHeaderCapacity = 5000;

// The response body, every byte as received whatever the status; empty when the
// root handle, connection or request cannot be opened, or when the body was
// still arriving at the read deadline (a partial download is worth nothing).
std::string FetchPage(InternetApi& api, FetchRequest& request, FetchResponse& response);

// A plain GET with the default headers: the picture download.
std::string FetchPage(InternetApi& api, std::string_view url);

// What the picture composer needs: url in, body out.
class PageFetcher {
 public:
  virtual ~PageFetcher() = default;
  virtual std::string FetchPage(std::string_view url) = 0;
};

class InternetPageFetcher final : public PageFetcher {
 public:
  explicit InternetPageFetcher(InternetApi& api) : api_(api) {}
  std::string FetchPage(std::string_view url) override { return morvane::FetchPage(api_, url); }

 private:
  InternetApi& api_;
};

}  // namespace morvane
