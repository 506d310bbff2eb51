// AdmitMessage on the host's event thread: a 200-byte watched message against
// 20 watched entries, 20 sensitive words and 20 replacements, every step run
// (the jobs go to a sink that drops them).
#include <benchmark/benchmark.h>

#include <string>

#include "forward/admission.h"
#include "host/lists.h"

namespace morvane {
namespace {

class NoJobs final : public ForwardJobSink {
 public:
  void submit(ForwardJob job) override {
    benchmark::DoNotOptimize(job.text.data());
    ++count;
  }
  int64_t count = 0;
};

class FixedClock final : public LocalClock {
 public:
  LocalTime now() override { return {2024, 5, 6, 9, 3, 7}; }
};

// Answers the login list as the host would: base64 of a packed block.
class BenchHost final : public HostLibrary {
 public:
  BenchHost() {
    std::string block = std::string("\0\0\0\1", 4) + std::string("\0\0\0\0\0\0\x27\x11", 8);
    login_ = EncodeBase64(block);
  }
  std::string getAppDirectory(int32_t) override { return {}; }
  std::string getLoginQQList(int32_t) override { return login_; }
  std::string getGroupList(int32_t, int64_t) override { return {}; }
  std::string getFriendList(int32_t, int64_t) override { return {}; }
  int32_t sendGroupMsg(int32_t, int64_t, int64_t, std::string_view) override { return 0; }
  int32_t sendFriendMsg(int32_t, int64_t, int64_t, std::string_view) override { return 0; }
  int32_t setFatal(int32_t, std::string_view) override { return 0; }

 private:
  std::string login_;
};

std::string Lines(const std::string& prefix, int count, int64_t first) {
  std::string text;
  for (int i = 0; i < count; ++i) text += prefix + std::to_string(first + i) + "\r\n";
  return text;
}

void BM_AdmitMessage(benchmark::State& state) {
  Settings settings;
  // The sender's group and QQ are the last entries, so every search runs to the end.
  settings.setText(TextField::watchGroups, Lines("", 20, 600000001));
  settings.setText(TextField::watchMembers, Lines("", 20, 1000000001));
  std::string words;
  for (int i = 0; i < 20; ++i) words += (i ? "*" : "") + std::string("违禁词") + std::to_string(i);
  settings.setText(TextField::sensitiveWords, words);
  std::string replacements;
  for (int i = 0; i < 20; ++i) replacements += (i ? "#" : "") + std::string("关键") + std::to_string(i) + "=替换";
  settings.setText(TextField::replacements, replacements);
  settings.setText(TextField::targetGroups, Lines("", 10, 700000001));
  settings.setText(TextField::targetFriends, Lines("", 10, 2000000001));
  settings.setText(TextField::tailAdvert, "欢迎关注");
  settings.setChoice(ChoiceField::forwardType, static_cast<int>(state.range(0)));

  ScheduleGate gate;
  FixedClock clock;
  RunLog log(clock, 1000);
  UnchangedPictures composer;
  BenchHost library;
  HostApi host(library);
  NoJobs jobs;
  MessageAdmission admission(settings, gate, log, composer, host, jobs);

  // 200 bytes: Chinese text, a picture code, and three of the keywords.
  std::string message = "今天的活动关键3开始了，关键7请大家准时参加[ZR:image,urls=http://example.com/a.png]关键15";
  while (message.size() < 200) message += "内容很多";
  message.resize(200);
  benchmark::DoNotOptimize(message.data());

  for (auto _ : state) admission.AdmitMessage(600000020, 1000000020, message);
  state.SetItemsProcessed(state.iterations());
  state.counters["jobs/msg"] = static_cast<double>(jobs.count) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(message.size()));
}
// 0: 原文, 2: 文字 (图片 adds a run-log row per message).
BENCHMARK(BM_AdmitMessage)->Arg(0)->Arg(2);

}  // namespace
}  // namespace morvane
