// Throughput of the text helpers over GBK texts of 10 KiB, 100 KiB and 1 MiB.
// Each case walks the whole text (markers absent or at the far end), so the
// bytes/second column stays flat across sizes when a helper is linear.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "host/codes.h"
#include "host/lists.h"
#include "text/text.h"

namespace {

using namespace morvane;

// Mixed Chinese and ASCII with codes, list separators and empty lines; no "#", "@" or "|".
const std::string kUnit = "监控群消息 hello World [ZR:face,id=12] 测试文本,a=b*c\r\n\r\n第二行 Text 123\r\n";

const std::string& Sample(int64_t size) {
  static std::map<int64_t, std::string> cache;
  auto& text = cache[size];
  if (text.empty()) {
    while (text.size() < static_cast<size_t>(size)) text += kUnit;
    text.resize(static_cast<size_t>(size) - 8);
    // Keep the cut on a character boundary so the end markers stand on their own.
    size_t i = 0;
    while (i < text.size()) i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    if (i > text.size()) text.back() = ' ';
    text += "|end@@|\n";  // markers that occur only here
  }
  return text;
}

const std::string& Digits(int64_t size) {
  static std::map<int64_t, std::string> cache;
  auto& text = cache[size];
  if (text.empty()) {
    while (text.size() < static_cast<size_t>(size)) text += "１２3４";  // full-width and ASCII digits
  }
  return text;
}

template <typename F>
void Run(benchmark::State& state, const std::string& text, F&& f) {
  for (auto _ : state) benchmark::DoNotOptimize(f(text));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

#define TEXT_BENCH(name, expr)                                                    \
  void BM_##name(benchmark::State& state) {                                       \
    Run(state, Sample(state.range(0)), [](const std::string& t) { return expr; }); \
  }                                                                               \
  BENCHMARK(BM_##name)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)

TEXT_BENCH(FindText, FindText(t, "|end@@|"));
TEXT_BENCH(FindTextIgnoreCase, FindText(t, "|END@@|", 1, true));
TEXT_BENCH(FindTextBackward, FindTextBackward(t, "#"));
TEXT_BENCH(FindTextBackwardManyMatches, FindTextBackward(t, "\r\n"));
TEXT_BENCH(TextLeft, TextLeft(t, static_cast<int>(t.size()) - 1));
TEXT_BENCH(TextRight, TextRight(t, static_cast<int>(t.size()) - 1));
TEXT_BENCH(TextMid, TextMid(t, 2, static_cast<int>(t.size())));
TEXT_BENCH(ReplaceText, ReplaceText(t, "测试", "检验"));
TEXT_BENCH(ReplaceTextIgnoreCase, ReplaceText(t, "WORLD", "there", 1, kAllOccurrences, false));
TEXT_BENCH(SplitText, SplitText(t, "\r\n"));
TEXT_BENCH(TextAfter, TextAfter(t, "|end"));
TEXT_BENCH(TextAfterFirst, TextAfter(t, "|end", -1));
TEXT_BENCH(TextBefore, TextBefore(t, "@@|"));
TEXT_BENCH(TextBeforeLast, TextBefore(t, "[ZR:", -1));
TEXT_BENCH(TextBetween, TextBetween(t, "|end", "|"));
TEXT_BENCH(CountOccurrences, CountOccurrences(t, "[zr:face", false));
TEXT_BENCH(TidyLineBreaks, TidyLineBreaks(t));
TEXT_BENCH(EscapeText, escapeText(t, true));
TEXT_BENCH(UnescapeText, unescapeText(t));

void BM_TextToInt(benchmark::State& state) {
  Run(state, Digits(state.range(0)), [](const std::string& t) { return TextToInt(t); });
}
BENCHMARK(BM_TextToInt)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20);

void BM_DecodeBase64(benchmark::State& state) {
  static std::map<int64_t, std::string> cache;
  auto& encoded = cache[state.range(0)];
  if (encoded.empty()) encoded = EncodeBase64(Sample(state.range(0)));
  Run(state, encoded, [](const std::string& t) { return DecodeBase64(t); });
}
BENCHMARK(BM_DecodeBase64)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20);

}  // namespace
