// An in-memory ProfileStore that behaves as the platform's profile functions
// do: each file is INI text ("[section]\r\nkey=value\r\n"), values are trimmed
// on the way in and out, one pair of enclosing quotes is stripped on reading,
// a raw line break in a value ends its line, and bytes that form no GBK
// character come back as "?" (as Wine converts them: a lead byte takes the
// next byte along). Files live in directories that must exist.
//
// Faults: every call that changes a file (write, flush, replace, delete) is
// counted; failAt(n) makes the n-th of them fail, and with `crash` that one
// and all later ones, as if the process had died there. A failing write
// leaves the file torn (half of the bytes it was to hold).
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace morvane {

class FakeProfileStore final : public ProfileStore {
 public:
  FakeProfileStore() { addDirectory("C:\\fake"); }

  std::string readValue(std::string_view file, std::string_view section, std::string_view key) override;
  bool writeValue(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value) override;
  bool flush(std::string_view file) override;
  bool replaceFile(std::string_view from, std::string_view to) override;
  bool deleteFile(std::string_view file) override;
  std::optional<std::string> readFile(std::string_view path) override;

  // Test hooks; none of them counts as a call.
  void addDirectory(std::string_view directory);
  void putFile(std::string_view path, std::string_view bytes);
  std::optional<std::string> fileBytes(std::string_view path) const;

  void failAt(int call, bool crash = false);
  void clearFaults() { failAt(0); }
  // Calls that changed (or tried to change) a file since the last failAt.
  int changingCalls() const;

  // Every call lasts at least this long, so that overlapping callers overlap here.
  void setCallDelayMicroseconds(int delay) { delayMicroseconds_ = delay; }
  // The most calls that were ever in progress at once.
  int maxConcurrentCalls() const { return maxInFlight_; }

  // The value as the platform's reader gives it back from the line `key=<raw>`.
  static std::string ReadBack(std::string_view raw);

 private:
  class CallScope;
  bool failNow();  // counts one changing call; true when it is to fail

  mutable std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::set<std::string> directories_;
  int calls_ = 0;
  int failAt_ = 0;
  bool crash_ = false;
  int delayMicroseconds_ = 0;
  std::atomic<int> inFlight_{0};
  std::atomic<int> maxInFlight_{0};
};

}  // namespace morvane
