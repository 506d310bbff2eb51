#include "picture/composer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/codes.h"

namespace morvane {
namespace {

const std::string kDir = "C:\\app";
const std::string kScratch = kDir + "\\背景图片.png";

std::string Composed(int n) { return kDir + "\\合成后图片_" + std::to_string(n) + ".png"; }

class FakeFetcher final : public PageFetcher {
 public:
  std::string FetchPage(std::string_view url) override {
    urls.emplace_back(url);
    const auto it = pages.find(std::string(url));
    return it == pages.end() ? std::string() : it->second;
  }
  std::map<std::string, std::string> pages;
  std::vector<std::string> urls;
};

// Pictures are texts "PIC:<width>x<height>:<name>"; anything else does not decode.
// A text watermark appends "+T(<spec>)", a picture watermark "+P(<spec>)".
class FakeRenderer final : public PictureRenderer {
 public:
  bool DrawTextWatermark(const std::string& picture, std::string_view spec, int format, int newWidth, int newHeight,
                         std::string& output, std::string&) override {
    textSpecs.emplace_back(spec);
    EXPECT_EQ(format, 1);
    EXPECT_EQ(newWidth, 0);
    EXPECT_EQ(newHeight, 0);
    if (!picture.starts_with("PIC:")) return false;
    output = picture + "+T(" + std::string(spec) + ")";
    return true;
  }
  bool DrawPictureWatermark(const std::string& picture, const std::string& watermark, std::string_view spec,
                            int format, int, int, std::string& output, std::string&) override {
    pictureSpecs.emplace_back(spec);
    EXPECT_EQ(format, 1);
    if (!picture.starts_with("PIC:") || !watermark.starts_with("PIC:")) return false;
    output = picture + "+P(" + std::string(spec) + ")";
    return true;
  }
  Size MeasurePicture(const std::string& bytes) override {
    ++measures;
    int w = 0, h = 0;
    if (std::sscanf(bytes.c_str(), "PIC:%dx%d", &w, &h) != 2) return {};
    return {w, h};
  }
  std::vector<std::string> textSpecs, pictureSpecs;
  int measures = 0;
};

class FakeFiles final : public PictureFiles {
 public:
  bool writeFile(std::string_view path, std::string_view bytes) override {
    files[std::string(path)] = std::string(bytes);
    return true;
  }
  std::string readFile(std::string_view path) override {
    const auto it = files.find(std::string(path));
    return it == files.end() ? std::string() : it->second;
  }
  void deleteFile(std::string_view path) override { files.erase(std::string(path)); }
  bool has(const std::string& path) const { return files.contains(path); }
  std::map<std::string, std::string> files;
};

struct ComposerFixture : testing::Test {
  ComposerFixture() {
    fetcher.pages["http://p/1.png"] = "PIC:800x600:one";
    fetcher.pages["http://p/2.png"] = "PIC:641x480:two";
    settings.setText(TextField::watermarkText, "");
  }
  void textWatermark(std::string text, int pos) {
    settings.setText(TextField::watermarkText, std::move(text));
    settings.setChoice(ChoiceField::watermarkTextPos, pos);
  }
  void pictureWatermark(std::string bytes, int pos) {
    settings.setWatermarkPicture({std::move(bytes), "C:\\wm.png"});
    settings.setChoice(ChoiceField::watermarkPicturePos, pos);
  }
  std::string compose(const std::string& message) { return composer.ComposeMessagePictures(message); }

  Settings settings;
  FakeFetcher fetcher;
  FakeRenderer renderer;
  FakeFiles files;
  MessagePictureComposer composer{settings, fetcher, renderer, files, [] { return kDir; }};
};

TEST_F(ComposerFixture, OneCodeWithTextWatermark) {
  textWatermark("T", 1);
  const std::string out = compose("看[ZR:image,md5=ab,urls=http://p/1.png]图");
  EXPECT_EQ(out, "看" + imagePathCode(Composed(1)) + "图");
  EXPECT_EQ(fetcher.urls, std::vector<std::string>{"http://p/1.png"});
  EXPECT_EQ(renderer.textSpecs, std::vector<std::string>{"T,30,50,微软雅黑,50,0,250,0,0"});
  EXPECT_TRUE(renderer.pictureSpecs.empty());
  EXPECT_EQ(renderer.measures, 0);
  EXPECT_FALSE(files.has(kScratch));
  EXPECT_EQ(files.readFile(Composed(1)), "PIC:800x600:one+T(T,30,50,微软雅黑,50,0,250,0,0)");
}

TEST_F(ComposerFixture, TextPlacementByIndexMeasuresOnlyTwoToFive) {
  struct Row {
    int pos;
    std::string url;
    std::string xy;
    int measures;
  };
  const std::vector<Row> rows = {
      {0, "http://p/1.png", "30,50", 0},    {1, "http://p/1.png", "30,50", 0},
      {2, "http://p/1.png", "30,550", 1},   {3, "http://p/1.png", "400,300", 1},
      {3, "http://p/2.png", "320.5,240", 1}, {4, "http://p/1.png", "770,50", 1},
      {5, "http://p/1.png", "770,550", 1},
      // A picture that cannot be measured counts as 0 x 0.
      {2, "http://p/none", "30,-50", 1},    {3, "http://p/none", "0,0", 1},
      {4, "http://p/none", "-30,50", 1},
  };
  for (const Row& row : rows) {
    textWatermark("T", row.pos);
    renderer = FakeRenderer();
    compose("[ZR:image,urls=" + row.url + "]");
    EXPECT_EQ(renderer.textSpecs, std::vector<std::string>{"T," + row.xy + ",微软雅黑,50,0,250,0,0"}) << row.pos;
    EXPECT_EQ(renderer.measures, row.measures) << row.pos;
    EXPECT_FALSE(files.has(kScratch));
  }
}

TEST_F(ComposerFixture, PictureWatermarkOnlyKeepsTheScratchFile) {
  pictureWatermark("PIC:100x80:wm", 5);
  const std::string out = compose("[ZR:image,urls=http://p/1.png]");
  EXPECT_EQ(out, imagePathCode(Composed(1)));
  EXPECT_TRUE(renderer.textSpecs.empty());
  EXPECT_EQ(renderer.pictureSpecs, std::vector<std::string>{"770,550,50"});
  EXPECT_EQ(files.readFile(kScratch), "PIC:800x600:one");
  EXPECT_EQ(files.readFile(Composed(1)), "PIC:800x600:one+P(770,550,50)");
}

TEST_F(ComposerFixture, BothWatermarksDrawThePictureOnTheTextedPicture) {
  textWatermark("T", 1);
  pictureWatermark("PIC:100x80:wm", 3);
  compose("[ZR:image,urls=http://p/1.png]");
  const std::string texted = "PIC:800x600:one+T(T,30,50,微软雅黑,50,0,250,0,0)";
  EXPECT_EQ(files.readFile(kScratch), texted);
  EXPECT_EQ(renderer.pictureSpecs, std::vector<std::string>{"400,300,50"});
  EXPECT_EQ(files.readFile(Composed(1)), texted + "+P(400,300,50)");
}

TEST_F(ComposerFixture, TwoCodesEachReplacedWhereItStandsInItsOwnFile) {
  textWatermark("T", 1);
  const std::string out = compose("a[ZR:image,urls=http://p/1.png]b[zr:IMAGE,x]c[ZR:image,urls=http://p/2.png]d");
  // The lower-case code is counted but never found: the third pass finds nothing.
  EXPECT_EQ(out, "a" + imagePathCode(Composed(1)) + "b[zr:IMAGE,x]c" + imagePathCode(Composed(2)) + "d");
  EXPECT_EQ(fetcher.urls, (std::vector<std::string>{"http://p/1.png", "http://p/2.png", ""}));
  EXPECT_EQ(files.readFile(Composed(1)), "PIC:800x600:one+T(T,30,50,微软雅黑,50,0,250,0,0)");
  EXPECT_EQ(files.readFile(Composed(2)), "PIC:641x480:two+T(T,30,50,微软雅黑,50,0,250,0,0)");
}

TEST_F(ComposerFixture, NoCodeLeavesTheMessage) {
  textWatermark("T", 1);
  EXPECT_EQ(compose("just text [ZR:face,id=1]"), "just text [ZR:face,id=1]");
  EXPECT_TRUE(fetcher.urls.empty());
  EXPECT_TRUE(files.files.empty());
}

TEST_F(ComposerFixture, CodeWithoutAddressOrBracket) {
  textWatermark("T", 1);
  // No "urls=": an empty address gives no picture, so the code stays as it is.
  EXPECT_EQ(compose("x[ZR:image,path=C:\\a.png]"), "x[ZR:image,path=C:\\a.png]");
  EXPECT_EQ(fetcher.urls.back(), "");
  EXPECT_FALSE(files.has(Composed(1)));
  // No "]": nothing to replace.
  EXPECT_EQ(compose("x[ZR:image,urls=http://p/1.png"), "x[ZR:image,urls=http://p/1.png");
  EXPECT_EQ(fetcher.urls.back(), "");
  // The last "urls=" counts, taken as it stands.
  compose("[ZR:image,urls=http://q/,urls=http://p/2.png?a&amp;b]");
  EXPECT_EQ(fetcher.urls.back(), "http://p/2.png?a&amp;b");
}

TEST_F(ComposerFixture, TrailByteLikeABracketDoesNotEndTheCode) {
  textWatermark("T", 1);
  // "乗" is 0x81 0x5D in GBK: its trail byte is "]".
  const std::string url = "http://p/\x81\x5D.png";
  fetcher.pages[url] = "PIC:10x10:gbk";
  EXPECT_EQ(compose("[ZR:image,urls=" + url + "]!"), imagePathCode(Composed(1)) + "!");
  EXPECT_EQ(fetcher.urls.back(), url);
}

TEST_F(ComposerFixture, APictureThatCannotBeFetchedKeepsItsOwnCode) {
  textWatermark("T", 1);
  pictureWatermark("PIC:100x80:wm", 1);
  // Neither an empty file nor the previous code's picture stamped again: the
  // codes whose download fails are forwarded as they came.
  const std::string out =
      compose("[ZR:image,urls=http://p/none][ZR:image,urls=http://p/1.png][ZR:image,urls=http://p/gone]");
  EXPECT_EQ(out, "[ZR:image,urls=http://p/none]" + imagePathCode(Composed(1)) + "[ZR:image,urls=http://p/gone]");
  EXPECT_EQ(files.readFile(Composed(1)), "PIC:800x600:one+T(T,30,50,微软雅黑,50,0,250,0,0)+P(30,50,50)");
  EXPECT_FALSE(files.has(Composed(2)));
}

TEST_F(ComposerFixture, EachCompositionStartsEmptyAndFilesGoRound) {
  textWatermark("T", 1);
  compose("[ZR:image,urls=http://p/1.png]");
  // A new call does not reuse the last call's picture.
  EXPECT_EQ(compose("[ZR:image,urls=http://p/none]"), "[ZR:image,urls=http://p/none]");
  EXPECT_FALSE(files.has(Composed(2)));
  for (int i = 2; i <= kComposedPictureFiles; ++i) compose("[ZR:image,urls=http://p/2.png]");
  EXPECT_EQ(compose("[ZR:image,urls=http://p/1.png]"), imagePathCode(Composed(1)));
  EXPECT_EQ(files.files.size(), static_cast<size_t>(kComposedPictureFiles));
}

TEST_F(ComposerFixture, WatermarkPictureStartingWithZeroCountsAsUnset) {
  pictureWatermark(std::string("\0PIC:1x1", 8), 1);
  compose("[ZR:image,urls=http://p/1.png]");
  EXPECT_TRUE(renderer.pictureSpecs.empty());
  EXPECT_FALSE(files.has(kScratch));
}

// Two host threads compose at once: the second waits for the first, and each
// picture still gets its own file.
class SlowFetcher final : public PageFetcher {
 public:
  std::string FetchPage(std::string_view) override {
    const int now = ++inFlight;
    int seen = maxInFlight.load();
    while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    --inFlight;
    return "PIC:10x10:slow";
  }
  std::atomic<int> inFlight{0}, maxInFlight{0};
};

TEST(MessagePictureComposerThreads, OverlappingCallsAreSerialised) {
  Settings settings;
  settings.setText(TextField::watermarkText, "T");
  SlowFetcher fetcher;
  FakeRenderer renderer;
  FakeFiles files;
  MessagePictureComposer composer(settings, fetcher, renderer, files, [] { return kDir; });
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back([&, i] { results[i] = composer.ComposeMessagePictures("[ZR:image,urls=u]"); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(fetcher.maxInFlight.load(), 1);
  EXPECT_EQ(std::set<std::string>(results.begin(), results.end()).size(), results.size());
  for (int n = 1; n <= 4; ++n) EXPECT_TRUE(files.has(Composed(n))) << n;
}

// --- Placement texts --------------------------------------------------------------

TEST(ComposerPlacement, TableAndHalves) {
  struct Row {
    int index, W, H;
    PlacementText at;
  };
  const std::vector<Row> rows = {
      {0, 800, 600, {"30", "50"}},   {1, 800, 600, {"30", "50"}},     {2, 800, 600, {"30", "550"}},
      {3, 641, 480, {"320.5", "240"}}, {3, 641, 481, {"320.5", "240.5"}}, {4, 800, 600, {"770", "50"}},
      {5, 800, 600, {"770", "550"}}, {-1, 800, 600, {"30", "50"}},     {6, 800, 600, {"30", "50"}},
  };
  for (const Row& row : rows) EXPECT_EQ(ComposerPlacement(row.index, row.W, row.H), row.at) << row.index;
  for (int i = -1; i <= 6; ++i) EXPECT_EQ(PlacementNeedsSize(i), i >= 2 && i <= 5) << i;
}

}  // namespace
}  // namespace morvane
