#include "picture/fetch_wininet_win32.h"

#include <vector>

#include "win32_support.h"
// After <windows.h>.
#include <wininet.h>

namespace morvane {

InternetApi::Handle WinInetApi::open(std::string_view agent, uint32_t accessType, std::string_view proxyName) {
  const std::string a(agent), p(proxyName);
  return ::InternetOpenA(a.c_str(), accessType, p.c_str(), "", 0);
}

InternetApi::Handle WinInetApi::connect(Handle root, std::string_view host, uint16_t port) {
  const std::string h(host);
  return ::InternetConnectA(static_cast<HINTERNET>(root), h.c_str(), port, "", "", INTERNET_SERVICE_HTTP, 0, 0);
}

InternetApi::Handle WinInetApi::openRequest(Handle connection, std::string_view verb, std::string_view path,
                                            uint32_t flags) {
  const std::string v(verb), p(path);
  return ::HttpOpenRequestA(static_cast<HINTERNET>(connection), v.c_str(), p.c_str(), "HTTP/1.1", nullptr, nullptr,
                            flags, 0);
}

bool WinInetApi::setOption(Handle handle, uint32_t option, uint32_t value) {
  DWORD v = value;
  return ::InternetSetOptionA(static_cast<HINTERNET>(handle), option, &v, sizeof v) != FALSE;
}

bool WinInetApi::send(Handle request, std::string_view headers, std::optional<std::string_view> body) {
  std::string h(headers);
  std::string b = body ? std::string(*body) : std::string();
  return ::HttpSendRequestA(static_cast<HINTERNET>(request), h.empty() ? nullptr : h.c_str(),
                            static_cast<DWORD>(h.size()), body ? b.data() : nullptr,
                            static_cast<DWORD>(b.size())) != FALSE;
}

uint32_t WinInetApi::read(Handle request, char* buffer, uint32_t size) {
  // A synchronous InternetReadFile waits until the whole buffer is filled (Wine
  // does), so a server sending a byte a second would hold one read for minutes.
  // Asking for what has arrived first keeps every wait under the receive time-out.
  DWORD available = 0;
  if (!::InternetQueryDataAvailable(static_cast<HINTERNET>(request), &available, 0, 0)) return 0;
  if (available > 0 && available < size) size = available;
  DWORD n = 0;
  if (!::InternetReadFile(static_cast<HINTERNET>(request), buffer, size, &n)) return 0;
  return n <= size ? n : 0;
}

std::optional<std::string> WinInetApi::rawHeaders(Handle request, uint32_t capacity) {
  std::vector<char> buffer(capacity, '\0');
  DWORD length = capacity;
  if (!::HttpQueryInfoA(static_cast<HINTERNET>(request), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length,
                        nullptr)) {
    return std::nullopt;
  }
  size_t n = 0;
  while (n < buffer.size() && buffer[n] != '\0') ++n;
  return std::string(buffer.data(), n);
}

void WinInetApi::close(Handle handle) { ::InternetCloseHandle(static_cast<HINTERNET>(handle)); }

int64_t WinInetApi::steadyMilliseconds() { return static_cast<int64_t>(::GetTickCount64()); }

PageFetcher& WinInetPageFetcher() {
  static WinInetApi api;
  static InternetPageFetcher fetcher(api);
  return fetcher;
}

}  // namespace morvane
