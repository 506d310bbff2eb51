#include "forward/admission.h"

#include <gtest/gtest.h>

#include "fakes/host_library_fake.h"
#include "forward_fakes.h"
#include "text/text.h"

namespace morvane {
namespace {

constexpr int64_t kRobot = 10001;
constexpr int64_t kGroup = 100;
constexpr int64_t kMember = 200;

// ---- Watched groups and members: whole numbers only ----

struct WatchRow {
  const char* field;
  int64_t number;
  bool admitted;
};

TEST(WatchListAdmits, MatchesWholeNumbersOnly) {
  const WatchRow rows[] = {
      // A longer number does not watch the numbers inside it.
      {"123456", 12345, false},
      {"123456", 123456, true},
      {"123456", 23456, false},
      {"987654321", 54321, false},
      {"1234512345", 12345, false},
      // Lines, blanks, commas and text between entries.
      {"12345\r\n678", 678, true},
      {"12345\r\n678", 12345, true},
      {"12345\r\n678", 1234, false},
      {"111 222", 222, true},
      {"111,222", 111, true},
      {"111，222", 222, true},  // full-width comma
      {"群12345号", 12345, true},
      {"12345\r\n", 12345, true},
      // A later whole occurrence counts when an earlier one is part of a longer number.
      {"123456\r\n12345", 12345, true},
      {"512345 12345", 12345, true},
      // "#" anywhere watches everyone; an empty field watches nobody.
      {"#", 5, true},
      {"abc#def", 5, true},
      {"111\r\n#", 999, true},
      {"", 5, false},
      {"\r\n", 5, false},
      {"0", 0, true},
  };
  for (const WatchRow& row : rows) {
    EXPECT_EQ(WatchListAdmits(row.field, row.number), row.admitted) << row.field << " / " << row.number;
  }
}

// ---- Sensitive words ----

struct WordRow {
  const char* words;
  const char* message;
  bool found;
};

TEST(ContainsSensitiveWord, OneWordOrStarSeparatedPiecesIgnoringEmptyOnes) {
  const WordRow rows[] = {
      {"广告", "这是广告", true},
      {"广告", "hello", false},
      {"广告", "", false},
      {"a*b", "xbx", true},
      {"a*b", "xax", true},
      {"a*b", "cc", false},
      {"A", "a", false},  // exact, case matters
      // Empty pieces would match every message; they are ignored.
      {"*a", "hello", false},
      {"*a", "a", true},
      {"a**b", "c", false},
      {"a**b", "b", true},
      {"a*", "zzz", false},
      {"*", "anything", false},
      {"**", "x", false},
      {"", "x", false},
  };
  for (const WordRow& row : rows) {
    EXPECT_EQ(ContainsSensitiveWord(row.message, row.words), row.found) << row.words << " / " << row.message;
  }
}

// ---- Image codes ----

struct CodeRow {
  std::string message;
  std::string kept;
  std::string removed;
};

TEST(ImageCodes, KeptOrRemovedLeftToRight) {
  const CodeRow rows[] = {
      {"see[ZR:image,urls=A]and[ZR:image,urls=B]", "[ZR:image,urls=A][ZR:image,urls=B]", "seeand"},
      {" x [ZR:image,urls=A] y ", "[ZR:image,urls=A]", " x  y "},
      {"no pictures", "", "no pictures"},
      {"", "", ""},
      {"[ZR:image,a][ZR:image,a]", "[ZR:image,a][ZR:image,a]", ""},
      {"[ZR:face,id=1][ZR:image,a]", "[ZR:image,a]", "[ZR:face,id=1]"},
      // Unbalanced: a "[ZR:image" without "]" after it is not a code.
      {"[ZR:image,urls=A", "", "[ZR:image,urls=A"},
      {"[ZR:image,a]t[ZR:image,b", "[ZR:image,a]", "t[ZR:image,b"},
      // Only the exact type word is a code.
      {"[ZR:IMAGE,a]", "", "[ZR:IMAGE,a]"},
      // GBK: a "]" that is the second byte of a character does not close the code.
      {"图[ZR:image,urls=\x81]]文", "[ZR:image,urls=\x81]]", "图文"},
      {"图[ZR:image,urls=中]文", "[ZR:image,urls=中]", "图文"},
  };
  for (const CodeRow& row : rows) {
    EXPECT_EQ(KeepImageCodes(row.message), row.kept) << row.message;
    EXPECT_EQ(RemoveImageCodes(row.message), row.removed) << row.message;
  }
}

// ---- Replacements ----

struct ReplaceRow {
  const char* field;
  const char* message;
  const char* expected;
};

TEST(ApplyReplacements, KeyBeforeFirstEqualsValueAfterLast) {
  const ReplaceRow rows[] = {
      {"a=b=c", "aXa", "cXc"},
      {"x=", "xyx", "y"},
      {"=y", "abc", "abc"},              // empty key: nothing
      {"noequals", "noequals", "noequals"},
      {"", "abc", "abc"},
      {"a=b#b=c", "a", "c"},             // later pieces see earlier results
      {"b=c#a=b", "a", "b"},
      {"a=b##c=d", "ac", "bd"},          // an empty piece changes nothing
      {"A=z", "a", "a"},                 // case-sensitive
      {"广告=", "看广告", "看"},
      {"旧=新", "旧旧", "新新"},
  };
  for (const ReplaceRow& row : rows) {
    EXPECT_EQ(ApplyReplacements(row.message, row.field), row.expected) << row.field << " / " << row.message;
  }
}

TEST(BuildJobText, LineBreaksBecomeStars) {
  EXPECT_EQ(BuildJobText("111\r\n222", "hello"), "111*222内容:hello");
  EXPECT_EQ(BuildJobText("111\r\n222\r\n", "hello"), "111*222*内容:hello");
  EXPECT_EQ(BuildJobText("#", ""), "#内容:");
}

// ---- AdmitMessage ----

class AdmissionTest : public ::testing::Test {
 public:
  AdmissionTest() {
    library.setLoginList(PackAccounts({kRobot}));
    settings.setText(TextField::watchGroups, "100\r\n101");
    settings.setText(TextField::watchMembers, "200");
    settings.setText(TextField::targetGroups, "111\r\n222");
  }

  void admit(const std::string& msg, int64_t group = kGroup, int64_t qq = kMember) {
    admission.AdmitMessage(group, qq, msg);
  }
  // The message the group job carries.
  std::string forwarded() const {
    if (sink.jobs.empty()) return "<no job>";
    return TextAfter(sink.jobs.front().text, "内容:");
  }

  Settings settings;
  ScheduleGate gate;
  FixedLocalClock clock;
  RunLog log{clock};
  RecordingComposer composer;
  FakeHostLibrary library;
  HostApi host{library};
  RecordingSink sink;
  MessageAdmission admission{settings, gate, log, composer, host, sink};
};

TEST_F(AdmissionTest, DropsLeaveNoTrace) {
  struct Case {
    const char* name;
    std::function<void(AdmissionTest&)> arrange;
    int64_t group = kGroup;
    int64_t qq = kMember;
  };
  const Case cases[] = {
      {"forwarding off", [](AdmissionTest& t) { t.settings.setOn(SwitchField::forwardOn, false); }},
      {"schedule closed",
       [](AdmissionTest& t) {
         t.settings.setOn(SwitchField::scheduleOn, true);
         t.gate.set(kGateClosed);
       }},
      {"group not watched", [](AdmissionTest&) {}, 999},
      {"group inside a longer number", [](AdmissionTest&) {}, 10},
      {"member not watched", [](AdmissionTest&) {}, kGroup, 20},
      {"empty watched groups", [](AdmissionTest& t) { t.settings.setText(TextField::watchGroups, ""); }},
      {"empty watched members", [](AdmissionTest& t) { t.settings.setText(TextField::watchMembers, ""); }},
      {"sensitive word", [](AdmissionTest& t) { t.settings.setText(TextField::sensitiveWords, "x*广告"); }},
      {"the robot itself",
       [](AdmissionTest& t) { t.settings.setText(TextField::watchMembers, "#"); }, kGroup, kRobot},
  };
  for (const Case& c : cases) {
    AdmissionTest& t = *this;
    t.settings.setOn(SwitchField::forwardOn, true);
    t.settings.setOn(SwitchField::scheduleOn, false);
    t.settings.setText(TextField::sensitiveWords, "");
    t.settings.setText(TextField::watchGroups, "100\r\n101");
    t.settings.setText(TextField::watchMembers, "200");
    t.settings.setText(TextField::targetGroups, "111");
    t.settings.setText(TextField::targetFriends, "333");
    t.settings.setChoice(ChoiceField::forwardType, 1);  // would log 次数
    t.gate.set("");
    c.arrange(t);
    admit("广告[ZR:image,urls=A]", c.group, c.qq);
    EXPECT_TRUE(sink.jobs.empty()) << c.name;
    EXPECT_EQ(log.size(), 0u) << c.name;
    EXPECT_TRUE(composer.seen.empty()) << c.name;
    EXPECT_TRUE(library.sends().empty()) << c.name;
  }
}

TEST_F(AdmissionTest, ScheduleGateOnlyClosesWhenItSaysSo) {
  struct Case {
    bool scheduleOn;
    const char* gateValue;
    bool passes;
  };
  const Case cases[] = {
      {true, "", true}, {true, kGateOpen, true}, {true, kGateClosed, false}, {false, kGateClosed, true}};
  for (const Case& c : cases) {
    sink.jobs.clear();
    settings.setOn(SwitchField::scheduleOn, c.scheduleOn);
    gate.set(c.gateValue);
    admit("hi");
    EXPECT_EQ(sink.jobs.size(), c.passes ? 1u : 0u) << c.scheduleOn << " " << c.gateValue;
  }
}

TEST_F(AdmissionTest, RobotAccountIsAskedOnlyForWatchedTraffic) {
  admit("hi", 999);
  admit("hi", kGroup, 999);
  EXPECT_EQ(library.countOf(HostCall::Kind::getLoginQQList), 0u);
  admit("hi");
  EXPECT_EQ(library.countOf(HostCall::Kind::getLoginQQList), 1u);
  EXPECT_EQ(sink.jobs.size(), 1u);
}

TEST_F(AdmissionTest, NoLoginListDropsNothing) {
  library.setLoginList("");
  admit("hi", kGroup, kMember);
  EXPECT_EQ(sink.jobs.size(), 1u);
}

TEST_F(AdmissionTest, ForwardTypes) {
  const std::string message = "see[ZR:image,urls=A]and[ZR:IMAGE,urls=C][ZR:image,urls=B]";
  struct Case {
    int type;
    std::string expected;
    std::vector<LogRow> rows;
  };
  const Case cases[] = {
      {0, message, {}},
      // The count folds case; the codes kept are the exact ones.
      {1, "[ZR:image,urls=A][ZR:image,urls=B]", {{"2024年5月6日9时3分7秒", "次数", "3"}}},
      {2, "seeand[ZR:IMAGE,urls=C]", {}},
      {-1, message, {}},  // no selection
  };
  for (const Case& c : cases) {
    sink.jobs.clear();
    RunLog fresh(clock);
    MessageAdmission withFreshLog(settings, gate, fresh, composer, host, sink);
    settings.setChoice(ChoiceField::forwardType, c.type);
    if (c.type == -1) {
      ComboState none = Settings::DefaultCombo(ChoiceField::forwardType);
      none.selected = -1;
      settings.setCombo(ChoiceField::forwardType, none);
    }
    withFreshLog.AdmitMessage(kGroup, kMember, message);
    EXPECT_EQ(forwarded(), c.expected) << c.type;
    EXPECT_EQ(fresh.rows(), c.rows) << c.type;
  }
}

TEST_F(AdmissionTest, PicturesOnlyWithoutPicturesForwardsTheAdvertAlone) {
  settings.setChoice(ChoiceField::forwardType, 1);
  settings.setText(TextField::tailAdvert, "AD");
  admit("just words");
  EXPECT_EQ(forwarded(), "\r\n\r\nAD");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log.rows()[0].text, "0");
}

TEST_F(AdmissionTest, ReplacementsThenAdvertThenWatermark) {
  settings.setText(TextField::replacements, "a=b=c#x=");
  settings.setText(TextField::tailAdvert, "ax");  // the advert is not rewritten
  admit("xaxa");
  EXPECT_EQ(forwarded(), "cc\r\n\r\nax");
  EXPECT_TRUE(composer.seen.empty());

  sink.jobs.clear();
  settings.setText(TextField::watermarkText, "mark");
  admit("xaxa");
  ASSERT_EQ(composer.seen.size(), 1u);
  EXPECT_EQ(composer.seen[0], "cc\r\n\r\nax");
  EXPECT_EQ(forwarded(), "W(cc\r\n\r\nax)");

  sink.jobs.clear();
  settings.setText(TextField::watermarkText, "");
  settings.setWatermarkPicture({"\x89PNG", "C:\\mark.png"});
  admit("a");
  EXPECT_EQ(composer.seen.size(), 2u);
  EXPECT_EQ(forwarded(), "W(c\r\n\r\nax)");
}

TEST_F(AdmissionTest, JobsCarryTargetsMessageAndSource) {
  settings.setText(TextField::targetGroups, "111\r\n222\r\n");
  settings.setText(TextField::targetFriends, "333");
  admit("hello", 101);
  ASSERT_EQ(sink.jobs.size(), 2u);
  EXPECT_EQ(sink.jobs[0].kind, ForwardKind::groups);
  EXPECT_EQ(sink.jobs[0].text, "111*222*内容:hello");
  EXPECT_EQ(sink.jobs[0].sourceGroup, std::optional<int64_t>(101));
  EXPECT_EQ(sink.jobs[1].kind, ForwardKind::friends);
  EXPECT_EQ(sink.jobs[1].text, "333内容:hello");
  EXPECT_EQ(sink.jobs[1].sourceGroup, std::nullopt);
}

TEST_F(AdmissionTest, NoTargetsStillTransforms) {
  settings.setText(TextField::targetGroups, "");
  settings.setChoice(ChoiceField::forwardType, 1);
  settings.setText(TextField::watermarkText, "mark");
  admit("[ZR:image,urls=A]");
  EXPECT_TRUE(sink.jobs.empty());
  EXPECT_EQ(log.size(), 1u);
  EXPECT_EQ(composer.seen.size(), 1u);
}

TEST_F(AdmissionTest, EachSettingIsReadWhenItsStepRuns) {
  settings.setText(TextField::watermarkText, "mark");
  composer.hook = [this] { settings.setText(TextField::targetGroups, "999"); };
  admit("hi");
  ASSERT_EQ(sink.jobs.size(), 1u);
  EXPECT_EQ(sink.jobs[0].text, "999内容:W(hi)");
}

TEST_F(AdmissionTest, BadInputGivesDefinedResults) {
  // 1 MiB of codes only, in every forward type.
  std::string codes;
  while (codes.size() < (1u << 20)) codes += "[ZR:image,urls=http://x/y.png]";
  const std::string unbalanced = "a[ZR:image,urls=A" + std::string(1u << 20, 'b');
  struct Case {
    int type;
    const std::string* message;
    std::string expected;
  };
  const Case cases[] = {
      {0, &codes, codes}, {1, &codes, codes}, {2, &codes, ""},
      {1, &unbalanced, ""}, {2, &unbalanced, unbalanced},
  };
  for (const Case& c : cases) {
    sink.jobs.clear();
    settings.setChoice(ChoiceField::forwardType, c.type);
    admit(*c.message);
    ASSERT_EQ(sink.jobs.size(), 1u) << c.type;
    EXPECT_TRUE(forwarded() == c.expected) << c.type;
  }
  const size_t count = codes.size() / std::string("[ZR:image,urls=http://x/y.png]").size();
  EXPECT_EQ(log.rows()[0].text, std::to_string(count));
}

}  // namespace
}  // namespace morvane
