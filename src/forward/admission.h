// Admission: decides whether a group message is forwarded, rewrites it and
// hands one job per target kind to the forward workers.
//
// Steps, in order, each reading its setting at the moment it runs: forwarding
// switch, schedule gate, watched group, watched member, sensitive words, the
// robot's own messages, forward type, replacements, tail advert, watermarks,
// the group job, the friend job. A dropped message leaves no trace.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "forward/forward_job.h"
#include "host/host_api.h"
#include "picture/composer.h"
#include "schedule/schedule_gate.h"
#include "settings/run_log.h"
#include "settings/settings.h"

namespace morvane {

// True when `number` is watched by the list field: "#" anywhere watches all;
// otherwise its decimal text must occur with no decimal digit directly before
// or after it, so 12345 is not watched by 123456. An empty field watches none.
bool WatchListAdmits(std::string_view field, int64_t number);

// Words separated by "*" (a field without "*" is one word); empty pieces are
// ignored. True when any word occurs in the message.
bool ContainsSensitiveWord(std::string_view message, std::string_view words);

// Image codes: "[ZR:image" up to and including the next "]", taken left to
// right without overlap. A "[ZR:image" with no "]" after it is not a code.
std::string KeepImageCodes(std::string_view message);    // the codes, joined
std::string RemoveImageCodes(std::string_view message);  // everything else

// "key=value" pieces separated by "#", applied in order: key before the first
// "=", value after the last; a piece with an empty key changes nothing.
std::string ApplyReplacements(std::string message, std::string_view replacements);

// The target field with each line break as "*", then "内容:", then the message.
std::string BuildJobText(std::string_view targetField, std::string_view message);

class MessageAdmission {
 public:
  MessageAdmission(Settings& settings, ScheduleGate& gate, RunLog& log, PictureComposer& composer, HostApi& host,
                   ForwardJobSink& jobs)
      : settings_(settings), gate_(gate), log_(log), composer_(composer), host_(host), jobs_(jobs) {}

  // Never throws; returns once the jobs are queued.
  void AdmitMessage(int64_t fromGroup, int64_t fromQQ, const std::string& msg);

 private:
  void admit(int64_t fromGroup, int64_t fromQQ, const std::string& msg);

  Settings& settings_;
  ScheduleGate& gate_;
  RunLog& log_;
  PictureComposer& composer_;
  HostApi& host_;
  ForwardJobSink& jobs_;
};

}  // namespace morvane
