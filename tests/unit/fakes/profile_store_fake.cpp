#include "fakes/profile_store_fake.h"

#include <thread>
#include <utility>
#include <vector>

namespace morvane {
namespace {

struct Entry {
  std::string key;
  std::string value;
};
struct Section {
  std::string name;
  std::vector<Entry> entries;
};
using Ini = std::vector<Section>;

// What the platform trims: blanks, control spaces and ^Z.
bool IsTrimmed(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The trip through code page 936 and back, as Wine makes it: a lead byte takes
// the next byte along, and a pair that is no character, or a lead byte at the
// end, becomes "?".
std::string ThroughCodePage(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x81 || c > 0xFE) {
      out += static_cast<char>(c);
      continue;
    }
    const unsigned char t = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (t == 0) {
      out += '?';
      continue;
    }
    ++i;
    if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE)) {
      out += static_cast<char>(c);
      out += static_cast<char>(t);
    } else {
      out += '?';
    }
  }
  return out;
}

Ini Parse(std::string_view bytes) {
  Ini ini;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = Trim(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      ini.push_back({std::string(Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1))), {}});
      continue;
    }
    if (ini.empty()) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      ini.back().entries.push_back({std::string(line), {}});
    } else {
      ini.back().entries.push_back({std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1)))});
    }
  }
  return ini;
}

std::string Serialize(const Ini& ini) {
  std::string out;
  for (const Section& section : ini) {
    out += "[" + section.name + "]\r\n";
    for (const Entry& entry : section.entries) out += entry.key + "=" + entry.value + "\r\n";
  }
  return out;
}

std::string DirectoryOf(std::string_view path) {
  const size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

}  // namespace

class FakeProfileStore::CallScope {
 public:
  explicit CallScope(FakeProfileStore& store) : store_(store) {
    const int now = ++store_.inFlight_;
    int seen = store_.maxInFlight_.load();
    while (now > seen && !store_.maxInFlight_.compare_exchange_weak(seen, now)) {
    }
    if (store_.delayMicroseconds_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(store_.delayMicroseconds_));
  }
  ~CallScope() { --store_.inFlight_; }

 private:
  FakeProfileStore& store_;
};

std::string FakeProfileStore::ReadBack(std::string_view raw) {
  std::string_view value = Trim(raw);
  const size_t cut = value.find_first_of("\r\n");
  if (cut != std::string_view::npos) value = Trim(value.substr(0, cut));
  if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return ThroughCodePage(value);
}

std::string FakeProfileStore::readValue(std::string_view file, std::string_view section, std::string_view key) {
  CallScope scope(*this);
  std::lock_guard lock(mutex_);
  const auto it = files_.find(std::string(file));
  if (it == files_.end()) return {};
  for (const Section& s : Parse(it->second)) {
    if (!SameName(s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (SameName(e.key, key)) return ReadBack(e.value);
    }
  }
  return {};
}

bool FakeProfileStore::writeValue(std::string_view file, std::string_view section, std::string_view key,
                                  std::string_view value) {
  CallScope scope(*this);
  std::lock_guard lock(mutex_);
  const std::string name(file);
  if (!directories_.contains(DirectoryOf(name))) return false;
  const auto it = files_.find(name);
  Ini ini = it == files_.end() ? Ini{} : Parse(it->second);
  Section* target = nullptr;
  for (Section& s : ini) {
    if (SameName(s.name, section)) target = &s;
  }
  if (target == nullptr) target = &ini.emplace_back(Section{std::string(section), {}});
  // The value is written raw: a line break in it ends the line on the next parse.
  const std::string stored = ThroughCodePage(Trim(value));
  bool replaced = false;
  for (Entry& e : target->entries) {
    if (SameName(e.key, key)) {
      e.value = stored;
      replaced = true;
      break;
    }
  }
  if (!replaced) target->entries.push_back({std::string(key), stored});
  std::string bytes = Serialize(ini);
  if (failNow()) {
    files_[name] = bytes.substr(0, bytes.size() / 2);
    return false;
  }
  files_[name] = std::move(bytes);
  return true;
}

bool FakeProfileStore::flush(std::string_view file) {
  CallScope scope(*this);
  std::lock_guard lock(mutex_);
  if (failNow()) return false;
  return files_.contains(std::string(file));
}

bool FakeProfileStore::replaceFile(std::string_view from, std::string_view to) {
  CallScope scope(*this);
  std::lock_guard lock(mutex_);
  if (failNow()) return false;
  const auto it = files_.find(std::string(from));
  if (it == files_.end() || !directories_.contains(DirectoryOf(to))) return false;
  std::string bytes = std::move(it->second);
  files_.erase(it);
  files_[std::string(to)] = std::move(bytes);
  return true;
}

bool FakeProfileStore::deleteFile(std::string_view file) {
  CallScope scope(*this);
  std::lock_guard lock(mutex_);
  if (failNow()) return false;
  files_.erase(std::string(file));
  return true;
}

std::optional<std::string> FakeProfileStore::readFile(std::string_view path) {
  CallScope scope(*this);
  return fileBytes(path);
}

void FakeProfileStore::addDirectory(std::string_view directory) {
  std::lock_guard lock(mutex_);
  directories_.insert(std::string(directory));
}

void FakeProfileStore::putFile(std::string_view path, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  files_[std::string(path)] = std::string(bytes);
}

std::optional<std::string> FakeProfileStore::fileBytes(std::string_view path) const {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(std::string(path));
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

void FakeProfileStore::failAt(int call, bool crash) {
  std::lock_guard lock(mutex_);
  calls_ = 0;
  failAt_ = call;
  crash_ = crash;
}

int FakeProfileStore::changingCalls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

bool FakeProfileStore::failNow() {
  ++calls_;
  if (failAt_ <= 0) return false;
  return crash_ ? calls_ >= failAt_ : calls_ == failAt_;
}

}  // namespace morvane
