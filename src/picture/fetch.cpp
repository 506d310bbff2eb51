#include "picture/fetch.h"

#include <array>
#include <vector>

#include "text/text.h"

namespace morvane {
namespace {

constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += separator;
    out += items[i];
  }
  return out;
}

bool Contains(std::string_view text, std::string_view pattern, bool ignoreCase) {
  return FindText(text, pattern, 1, ignoreCase) != kNotFound;
}

// Every handle of the chain root -> connection -> request, closed once, last first.
class HandleChain {
 public:
  explicit HandleChain(InternetApi& api) : api_(api) {}
  HandleChain(const HandleChain&) = delete;
  HandleChain& operator=(const HandleChain&) = delete;
  ~HandleChain() {
    for (auto it = handles_.rbegin(); it != handles_.rend(); ++it) api_.close(*it);
  }
  InternetApi::Handle keep(InternetApi::Handle handle) {
    if (handle != nullptr) handles_.push_back(handle);
    return handle;
  }

 private:
  InternetApi& api_;
  std::vector<InternetApi::Handle> handles_;
};

void SetTimeouts(InternetApi& api, InternetApi::Handle handle) {
  api.setOption(handle, inet::kOptionConnectTimeout, kStepTimeoutMs);
  api.setOption(handle, inet::kOptionConnectRetries, 1);
  api.setOption(handle, inet::kOptionSendTimeout, kStepTimeoutMs);
  api.setOption(handle, inet::kOptionReceiveTimeout, kStepTimeoutMs);
  api.setOption(handle, inet::kOptionDataSendTimeout, kStepTimeoutMs);
  api.setOption(handle, inet::kOptionDataReceiveTimeout, kStepTimeoutMs);
}

}  // namespace

int NormaliseMethod(int method) { return method < 0 || method > 7 ? 0 : method; }

std::string_view MethodVerb(int method) {
  static constexpr std::array<std::string_view, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                             "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return kVerbs[static_cast<size_t>(NormaliseMethod(method))];
}

std::string TrimSpaces(std::string_view text) {
  // Walk whole characters so that a full-width space is never taken from the
  // trail byte of another character.
  size_t begin = std::string_view::npos;
  size_t end = 0;
  for (size_t i = 0; i < text.size();) {
    const bool lead = static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size();
    const size_t length = lead ? 2 : 1;
    const bool space = lead ? text.substr(i, 2) == kFullWidthSpace : text[i] == ' ';
    if (!space) {
      if (begin == std::string_view::npos) begin = i;
      end = i + length;
    }
    i += length;
  }
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, end - begin));
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsHttpsUrl(std::string_view url) { return LowerAscii(url.substr(0, 8)) == "https://"; }

std::string UrlHost(std::string_view url, bool keepPort) {
  std::string s = LowerAscii(url);
  if (s.empty() || s.back() != '/') s += '/';
  std::string_view marker = "https://";
  if (s.compare(0, 8, "https://") != 0) {
    marker = "http://";
    // An address without a scheme is HTTP. Only a leading scheme counts, so an
    // address whose query carries another address keeps its own host.
    if (s.compare(0, 7, "http://") != 0) s = "http://" + s;
  }
  s = TextBetween(s, marker, "/");
  if (!keepPort) {
    const int colon = FindText(s, ":");
    if (colon != kNotFound) s = TextLeft(s, colon - 1);
  }
  return s;
}

int UrlPort(std::string_view url) {
  const std::string host = UrlHost(url, true);
  const int colon = FindTextBackward(host, ":");
  if (colon == kNotFound) return IsHttpsUrl(url) ? 443 : 80;
  return TextToInt32(TextRight(host, static_cast<int>(host.size()) - colon));
}

std::string UrlPath(std::string_view url) {
  const std::string host = UrlHost(url, false);
  // The host is searched after the scheme: a host such as "h" or "ps" would
  // otherwise be found inside "https://".
  const std::string scheme = LowerAscii(url.substr(0, 8));
  const int schemeLength = scheme == "https://" ? 8 : scheme.compare(0, 7, "http://") == 0 ? 7 : 0;
  const int p = FindText(url, host, schemeLength + 1, true);
  const int q = FindText(url, "/", p, true);
  if (q == kNotFound) return "/";
  return std::string(url.substr(static_cast<size_t>(q - 1)));
}

std::string CapitaliseHeaderNames(std::string_view headers) {
  std::vector<std::string> kept;
  for (std::string& line : SplitText(headers, "\r\n")) {
    const int colon = FindText(line, ":");
    if (colon == kNotFound) continue;
    // The first letter of the name and every letter after a "-" in it.
    bool wordStart = true;
    for (size_t i = 0; i + 1 < static_cast<size_t>(colon); ++i) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      if (wordStart && IsAsciiLower(static_cast<char>(c))) line[i] = static_cast<char>(c - 'a' + 'A');
      if (c >= 0x80) {
        ++i;  // a two-byte character never starts a word
        wordStart = false;
        continue;
      }
      wordStart = c == '-';
    }
    kept.push_back(std::move(line));
  }
  return Join(kept, "\r\n");
}

std::string UserAgentFromHeaders(std::string_view headers) {
  if (!Contains(headers, "User-Agent:", true)) return std::string(kDefaultUserAgent);
  std::string agent = TrimSpaces(TextBetween(std::string(headers) + "\r\n", "User-Agent:", "\r\n"));
  if (agent.empty()) {
    const int colon = FindText(headers, ":");
    agent = TrimSpaces(headers.substr(static_cast<size_t>(colon)));
  }
  return agent;
}

std::string CompleteHeaders(std::string headers, std::string_view url, int method) {
  if (headers.empty()) headers = "Accept: */*";
  if (!Contains(headers, "Accept:", true)) headers += "\r\nAccept: */*";
  if (!Contains(headers, "Referer:", true)) (headers += "\r\nReferer: ") += url;
  if (!Contains(headers, "Accept-Language:", true)) headers += "\r\nAccept-Language: zh-cn";
  if (NormaliseMethod(method) == 1 && !Contains(headers, "Content-Type:", true)) {
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  return headers;
}

std::string AppendCookieLine(std::string headers, std::string_view cookies) {
  if (cookies.empty()) return headers;
  headers += Contains(cookies, "Cookie:", false) ? "\r\n" : "\r\nCookie: ";
  headers += cookies;
  return headers;
}

std::string CookiesFromHeaders(std::string_view rawHeaders) {
  std::vector<std::string> items;
  for (const std::string& line : SplitText(rawHeaders, "\r\n")) {
    if (TextBefore(line, ": ") != "Set-Cookie") continue;
    if (!Contains(line, ";", false)) {
      items.push_back(TrimSpaces(ReplaceText(line, "Set-Cookie:", "", 1, 1)));
    } else {
      items.push_back(TrimSpaces(TextBetween(line, "Set-Cookie:", ";")));
    }
  }
  return Join(items, "; ");
}

std::string CookieName(std::string_view item) {
  const int eq = FindText(item, "=");
  return TrimSpaces(eq == kNotFound ? item : item.substr(0, static_cast<size_t>(eq - 1)));
}

std::string DistinctJoin(std::string_view text, std::string_view separator) {
  std::vector<std::string> kept;
  for (std::string& item : SplitText(text, separator)) {
    bool seen = false;
    for (const std::string& k : kept) seen = seen || k == item;
    if (!seen) kept.push_back(std::move(item));
  }
  return Join(kept, separator);
}

std::string MergeCookies(std::string& old, std::string_view received) {
  auto tidy = [](std::string_view text) {
    std::string s = TrimSpaces(text);
    if (!s.empty() && s.back() == ';') s += ' ';
    return s;
  };
  std::vector<std::string> merged = SplitText(tidy(received), "; ");
  for (std::string& item : SplitText(tidy(old), "; ")) {
    const std::string name = CookieName(item);
    bool known = false;
    for (const std::string& m : merged) known = known || CookieName(m) == name;
    if (!known) merged.push_back(std::move(item));
  }
  std::vector<std::string> live;
  for (std::string& item : merged) {
    if (TextRight(item, 8) != "=deleted") live.push_back(std::move(item));
  }
  old = DistinctJoin(Join(live, "; "), "; ");
  return old;
}

uint32_t RequestFlags(bool https, bool cookiesPassed, bool noRedirect) {
  uint32_t flags = inet::kFlagReload | inet::kFlagNeedFile;
  if (cookiesPassed) flags |= inet::kFlagNoCookies;
  if (noRedirect) flags |= inet::kFlagNoAutoRedirect;
  flags |= https ? inet::kFlagSecure : inet::kFlagIgnoreRedirectToHttps;
  return flags;
}

namespace {

std::string FetchPageUnguarded(InternetApi& api, FetchRequest& request, FetchResponse& response) {
  const int64_t started = api.steadyMilliseconds();
  if (request.capitaliseHeaders) request.headers = CapitaliseHeaderNames(request.headers);
  const int method = NormaliseMethod(request.method);
  const std::string& url = request.url;
  const bool https = IsHttpsUrl(url);
  const std::string agent = UserAgentFromHeaders(request.headers);

  HandleChain handles(api);
  InternetApi::Handle root;
  if (request.proxy.empty()) {
    root = handles.keep(api.open(agent, inet::kOpenTypeDirect, {}));
  } else {
    root = handles.keep(
        api.open(agent, inet::kOpenTypeProxy, https ? request.proxy : "http=" + request.proxy));
  }
  if (root == nullptr) return {};
  SetTimeouts(api, root);

  const int port = UrlPort(url);
  if (port < 0 || port > 65535) return {};
  InternetApi::Handle connection =
      handles.keep(api.connect(root, UrlHost(url, false), static_cast<uint16_t>(port)));
  if (connection == nullptr) return {};

  const uint32_t flags = RequestFlags(https, request.cookies.has_value(), request.noRedirect);
  InternetApi::Handle req = handles.keep(api.openRequest(connection, MethodVerb(method), UrlPath(url), flags));
  if (req == nullptr) return {};
  api.setOption(req, inet::kOptionSecurityFlags, inet::kIgnoreCertificateProblems);
  SetTimeouts(api, req);

  if (request.completeHeaders) request.headers = CompleteHeaders(std::move(request.headers), url, method);
  if (request.cookies) request.headers = AppendCookieLine(std::move(request.headers), *request.cookies);

  std::optional<std::string_view> body;
  if (method != 0) {
    if (request.bodyBytes.empty()) request.bodyBytes = request.body;
    body = request.bodyBytes;
  }
  const bool sent = api.send(req, request.headers, body);

  std::string result;
  std::array<char, kReadChunk> buffer;
  for (;;) {
    if (api.steadyMilliseconds() - started >= kReadDeadlineMs) {
      result.clear();
      break;
    }
    const uint32_t n = api.read(req, buffer.data(), kReadChunk);
    if (n == 0) break;
    result.append(buffer.data(), n < kReadChunk ? n : kReadChunk);
  }

  // Without an answer there is no header block; WinINet under Wine would
  // still report an empty one.
  const std::optional<std::string> raw = sent ? api.rawHeaders(req, kHeaderCapacity) : std::nullopt;
  if (raw) response.returnedHeaders = *raw;
  response.returnedCookies = CookiesFromHeaders(raw.value_or(std::string()));
  if (request.mergeCookies && request.cookies) {
    response.returnedCookies = MergeCookies(*request.cookies, response.returnedCookies);
  }
  return result;
}

}  // namespace

std::string FetchPage(InternetApi& api, FetchRequest& request, FetchResponse& response) {
  try {
    return FetchPageUnguarded(api, request, response);
  } catch (...) {
    return {};  // out of memory for a huge body: the handles are closed, the result is empty
  }
}

std::string FetchPage(InternetApi& api, std::string_view url) {
  try {
    FetchRequest request;
    request.url = std::string(url);
    FetchResponse response;
    return FetchPage(api, request, response);
  } catch (...) {
    return {};
  }
}

}  // namespace morvane
