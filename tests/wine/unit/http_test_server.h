// The loopback HTTP server of tests/wine/http_server.py, as the wrapper that
// started it passes it on: MORVANE_HTTP_PORT and MORVANE_HTTP_CLOSED_PORT.
#pragma once

#include <cstdlib>
#include <string>

namespace morvane::testing {

inline int EnvPort(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? 0 : std::atoi(value);
}

// "http://127.0.0.1:<port>", or "" when no server was started.
inline std::string TestServer() {
  const int port = EnvPort("MORVANE_HTTP_PORT");
  return port == 0 ? std::string() : "http://127.0.0.1:" + std::to_string(port);
}

inline std::string ClosedPortAddress() {
  const int port = EnvPort("MORVANE_HTTP_CLOSED_PORT");
  return port == 0 ? std::string() : "http://127.0.0.1:" + std::to_string(port);
}

// Byte i of the server's /bytes/N body.
inline std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

}  // namespace morvane::testing

#define MORVANE_REQUIRE_HTTP_SERVER()                                                     \
  if (::morvane::testing::TestServer().empty())                                           \
  GTEST_SKIP() << "no loopback HTTP server (run through tests/wine/with-http-server.sh)"
