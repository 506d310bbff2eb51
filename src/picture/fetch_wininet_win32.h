// InternetApi over WinINet (Win32 build only).
#pragma once

#include "picture/fetch.h"

namespace morvane {

class WinInetApi final : public InternetApi {
 public:
  Handle open(std::string_view agent, uint32_t accessType, std::string_view proxyName) override;
  Handle connect(Handle root, std::string_view host, uint16_t port) override;
  Handle openRequest(Handle connection, std::string_view verb, std::string_view path, uint32_t flags) override;
  bool setOption(Handle handle, uint32_t option, uint32_t value) override;
  bool send(Handle request, std::string_view headers, std::optional<std::string_view> body) override;
  uint32_t read(Handle request, char* buffer, uint32_t size) override;
  std::optional<std::string> rawHeaders(Handle request, uint32_t capacity) override;
  void close(Handle handle) override;
  int64_t steadyMilliseconds() override;
};

// The process-wide fetcher for picture downloads; it keeps no state.
PageFetcher& WinInetPageFetcher();

}  // namespace morvane
