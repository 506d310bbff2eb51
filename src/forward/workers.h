// The forward workers: a group job posts its message to every target group,
// a friend job to every target friend, one after the other, with one run-log
// row and a random pause after each post.
//
// A job is a small state machine (ForwardWorker) run by the ForwardQueue: each
// step asks the host for the robot's account, posts to one target, draws the
// pause from pauseMin/pauseMax as they stand at that moment, writes the row,
// and hands the pause back to the queue, which runs the next step after it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "forward/forward_job.h"
#include "forward/forward_queue.h"
#include "host/host_api.h"
#include "settings/run_log.h"
#include "settings/settings.h"

namespace morvane {

// Whole numbers from lo to hi, both included; callable from any thread.
class PauseRandom {
 public:
  virtual ~PauseRandom() = default;
  virtual int32_t between(int32_t lo, int32_t hi) = 0;
};

class SystemPauseRandom final : public PauseRandom {
 public:
  SystemPauseRandom();
  int32_t between(int32_t lo, int32_t hi) override;

 private:
  std::mutex mutex_;
  std::mt19937_64 engine_;
};

// The pause in seconds for the bounds a and b: negative counts as 0, the
// bounds may come in either order, both are included.
int32_t DrawPause(int32_t a, int32_t b, PauseRandom& random);

// The target list never holds "内容:", so the first marker ends it and the
// message is everything after that marker, even when it says "内容:" itself.
struct JobParts {
  std::string targets;  // before the first "内容:"
  std::string content;  // after the first "内容:"
};
JobParts SplitForwardJob(std::string_view job);

struct ForwardTarget {
  int64_t number = 0;
  std::string shown;  // what the row names: the piece as written, or the number
  bool operator==(const ForwardTarget&) const = default;
};

// The pieces of a target list split at "*", each read as a number; a trailing
// "*" gives no piece, "**" an empty one (number 0).
std::vector<ForwardTarget> ListedTargets(std::string_view targets);

// The run-log kind and event text for one post. `listed` is false for a "#"
// job; only the friend row for a listed target lacks the comma before 间隔.
struct ForwardRow {
  std::string kind;
  std::string text;
};
ForwardRow MakeForwardRow(ForwardKind kind, bool listed, std::string_view target, std::string_view message,
                          int32_t seconds);

// What every job reads and calls; lives as long as the queue that runs the jobs.
struct WorkerContext {
  Settings& settings;
  HostApi& host;
  RunLog& log;
  PauseRandom& random;
};

// One job from its first post to its last.
class ForwardWorker final : public QueuedTask {
 public:
  ForwardWorker(WorkerContext& context, ForwardJob job) : context_(context), job_(std::move(job)) {}
  std::optional<int64_t> runStep() override;

 private:
  void begin();
  void skipSource();

  WorkerContext& context_;
  ForwardJob job_;
  bool begun_ = false;
  bool listed_ = true;
  std::string message_;
  std::vector<ForwardTarget> targets_;
  size_t next_ = 0;
};

// The sink admission hands its jobs to: each job becomes a ForwardWorker on the
// queue. Queued jobs refer to this object: stop the queue before destroying it.
class ForwardWorkers final : public ForwardJobSink {
 public:
  ForwardWorkers(Settings& settings, HostApi& host, RunLog& log, PauseRandom& random, ForwardQueue& queue)
      : context_{settings, host, log, random}, queue_(queue) {}
  void submit(ForwardJob job) override;

 private:
  WorkerContext context_;
  ForwardQueue& queue_;
};

}  // namespace morvane
