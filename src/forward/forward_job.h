// ForwardJob: what admission hands to the forward workers for one target kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

enum class ForwardKind { groups, friends };

struct ForwardJob {
  ForwardKind kind = ForwardKind::groups;
  // The target list ("*" between numbers, "#" for all), "内容:", the message.
  std::string text;
  // The group the message came from; a group job never posts back into it.
  std::optional<int64_t> sourceGroup;
};

// Takes jobs over; submit() returns at once and never throws.
class ForwardJobSink {
 public:
  virtual ~ForwardJobSink() = default;
  virtual void submit(ForwardJob job) = 0;
};

}  // namespace morvane
