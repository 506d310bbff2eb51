#include "forward/workers.h"

#include <algorithm>

#include "host/codes.h"
#include "text/text.h"

namespace morvane {
namespace {

constexpr std::string_view kContentMarker = "内容:";
constexpr std::string_view kLineBreakMarker = "[换行]";
constexpr std::string_view kAllTargets = "#";
constexpr int64_t kMillisecondsPerSecond = 1000;

}  // namespace

SystemPauseRandom::SystemPauseRandom() {
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device()};
  engine_.seed(seed);
}

int32_t SystemPauseRandom::between(int32_t lo, int32_t hi) {
  if (lo >= hi) return lo;
  std::uniform_int_distribution<int32_t> distribution(lo, hi);
  std::lock_guard lock(mutex_);
  return distribution(engine_);
}

int32_t DrawPause(int32_t a, int32_t b, PauseRandom& random) {
  a = std::max(a, 0);
  b = std::max(b, 0);
  const int32_t lo = std::min(a, b);
  const int32_t hi = std::max(a, b);
  if (lo == hi) return lo;
  // A generator out of contract must not turn into a negative or endless pause.
  return std::clamp(random.between(lo, hi), lo, hi);
}

JobParts SplitForwardJob(std::string_view job) {
  const int at = FindText(job, kContentMarker);
  if (at == kNotFound) return {};
  const size_t end = static_cast<size_t>(at - 1) + kContentMarker.size();
  return {std::string(job.substr(0, static_cast<size_t>(at - 1))), std::string(job.substr(end))};
}

std::vector<ForwardTarget> ListedTargets(std::string_view targets) {
  std::vector<ForwardTarget> list;
  for (std::string& piece : SplitText(targets, "*")) {
    const int64_t number = TextToInt(piece);
    list.push_back({number, std::move(piece)});
  }
  return list;
}

ForwardRow MakeForwardRow(ForwardKind kind, bool listed, std::string_view target, std::string_view message,
                          int32_t seconds) {
  const bool groups = kind == ForwardKind::groups;
  std::string text = groups ? "群号" : "好友";
  text += target;
  text += kContentMarker;
  text += message;
  text += (!groups && listed) ? "!间隔" : "!,间隔";
  text += std::to_string(seconds);
  return {groups ? "转发群" : "转发好友", std::move(text)};
}

void ForwardWorker::begin() {
  begun_ = true;
  std::string job = std::move(job_.text);
  job_.text = {};
  JobParts parts = SplitForwardJob(job);
  job.clear();
  job.shrink_to_fit();
  const bool groups = job_.kind == ForwardKind::groups;

  message_ = ReplaceText(parts.content, kLineBreakMarker, "\r\n");
  if (groups && context_.settings.isOn(SwitchField::anonymous)) message_.insert(0, kAnonymousMarker);

  if (FindText(parts.targets, kAllTargets) == kNotFound) {
    targets_ = ListedTargets(parts.targets);
    return;
  }
  listed_ = false;
  const int64_t robot = context_.host.robotAccount();
  if (groups) {
    std::vector<GroupEntry> entries;
    context_.host.groupList(robot, entries);
    for (const GroupEntry& entry : entries) targets_.push_back({entry.groupNumber, std::to_string(entry.groupNumber)});
  } else {
    std::vector<FriendEntry> entries;
    context_.host.friendList(robot, entries);
    for (const FriendEntry& entry : entries) targets_.push_back({entry.qq, std::to_string(entry.qq)});
  }
}

void ForwardWorker::skipSource() {
  if (job_.kind != ForwardKind::groups || !job_.sourceGroup) return;
  while (next_ < targets_.size() && targets_[next_].number == *job_.sourceGroup) ++next_;
}

std::optional<int64_t> ForwardWorker::runStep() {
  if (!begun_) begin();
  skipSource();
  if (next_ >= targets_.size()) return std::nullopt;
  const ForwardTarget& target = targets_[next_++];

  const int64_t robot = context_.host.robotAccount();
  if (job_.kind == ForwardKind::groups) {
    context_.host.sendGroupMessage(robot, target.number, message_);
  } else {
    context_.host.sendFriendMessage(robot, target.number, message_);
  }
  const int32_t pause = DrawPause(TextToInt32(context_.settings.text(TextField::pauseMin)),
                                  TextToInt32(context_.settings.text(TextField::pauseMax)), context_.random);
  const ForwardRow row = MakeForwardRow(job_.kind, listed_, target.shown, message_, pause);
  context_.log.appendLog(row.kind, row.text);

  // The pause after the last post would hold nothing back: the job ends here.
  skipSource();
  if (next_ >= targets_.size()) return std::nullopt;
  return static_cast<int64_t>(pause) * kMillisecondsPerSecond;
}

void ForwardWorkers::submit(ForwardJob job) {
  try {
    queue_.submit(std::make_unique<ForwardWorker>(context_, std::move(job)));
  } catch (...) {
    // Out of memory: the job is lost, as a thread that could not start was.
  }
}

}  // namespace morvane
