#include "forward/workers.h"

#include <gtest/gtest.h>

#include <set>

#include "fakes/host_library_fake.h"
#include "forward_fakes.h"
#include "host/codes.h"

namespace morvane {
namespace {

constexpr int64_t kRobot = 10001;

// ---- Pure parts ----

TEST(SplitForwardJob, TargetsBeforeTheFirstMarkerContentAllAfterIt) {
  struct Row {
    const char* job;
    const char* targets;
    const char* content;
  };
  const Row rows[] = {
      {"111*222内容:hi", "111*222", "hi"},
      {"111内容:a内容:b", "111", "a内容:b"},  // a message quoting "内容:" stays whole
      {"111内容:活动内容:明天", "111", "活动内容:明天"},
      {"内容:hi", "", "hi"},
      {"111内容:", "111", ""},
      {"no marker", "", ""},
      {"", "", ""},
  };
  for (const Row& row : rows) {
    const JobParts parts = SplitForwardJob(row.job);
    EXPECT_EQ(parts.targets, row.targets) << row.job;
    EXPECT_EQ(parts.content, row.content) << row.job;
  }
}

TEST(ListedTargets, PiecesReadAsNumbersAndShownAsWritten) {
  struct Row {
    const char* targets;
    std::vector<ForwardTarget> expected;
  };
  const Row rows[] = {
      {"111*222", {{111, "111"}, {222, "222"}}},
      {"111*", {{111, "111"}}},
      {"111**222", {{111, "111"}, {0, ""}, {222, "222"}}},
      {"*", {{0, ""}}},
      {"", {}},
      {"abc*12x* 7", {{0, "abc"}, {12, "12x"}, {7, " 7"}}},
      {"９９", {{99, "９９"}}},
      {"99999999999999999999", {{INT64_MAX, "99999999999999999999"}}},
      {"-5", {{-5, "-5"}}},
  };
  for (const Row& row : rows) EXPECT_EQ(ListedTargets(row.targets), row.expected) << row.targets;
}

TEST(MakeForwardRow, OnlyTheListedFriendRowLacksTheComma) {
  struct Row {
    ForwardKind kind;
    bool listed;
    const char* kindText;
    const char* text;
  };
  const Row rows[] = {
      {ForwardKind::groups, true, "转发群", "群号111内容:hi!,间隔7"},
      {ForwardKind::groups, false, "转发群", "群号111内容:hi!,间隔7"},
      {ForwardKind::friends, true, "转发好友", "好友111内容:hi!间隔7"},
      {ForwardKind::friends, false, "转发好友", "好友111内容:hi!,间隔7"},
  };
  for (const Row& row : rows) {
    const ForwardRow made = MakeForwardRow(row.kind, row.listed, "111", "hi", 7);
    EXPECT_EQ(made.kind, row.kindText);
    EXPECT_EQ(made.text, row.text);
  }
}

TEST(DrawPause, BoundsClampedOrderedAndInclusive) {
  struct Row {
    int32_t a, b;
    bool asks;
    int32_t lo, hi;
  };
  const Row rows[] = {
      {5, 10, true, 5, 10},  {10, 5, true, 5, 10}, {-3, 4, true, 0, 4},
      {7, 7, false, 7, 7},   {-1, -9, false, 0, 0}, {0, 0, false, 0, 0},
  };
  for (const Row& row : rows) {
    ScriptedRandom random;
    const int32_t pause = DrawPause(row.a, row.b, random);
    if (row.asks) {
      ASSERT_EQ(random.asked().size(), 1u);
      EXPECT_EQ(random.asked()[0], std::make_pair(row.lo, row.hi));
      EXPECT_EQ(pause, row.lo);  // the scripted generator answers lo
    } else {
      EXPECT_TRUE(random.asked().empty());
      EXPECT_EQ(pause, row.lo);
    }
  }
  // A generator out of its contract cannot make a pause out of bounds.
  ScriptedRandom wild({-50, 99});
  EXPECT_EQ(DrawPause(5, 10, wild), 5);
  EXPECT_EQ(DrawPause(5, 10, wild), 10);
}

TEST(SystemPauseRandom, YieldsEveryValueOfTheRangeAndNothingElse) {
  SystemPauseRandom random;
  std::set<int32_t> seen;
  for (int i = 0; i < 400; ++i) seen.insert(DrawPause(5, 7, random));
  EXPECT_EQ(seen, (std::set<int32_t>{5, 6, 7}));
  EXPECT_EQ(random.between(3, 3), 3);
}

// ---- Jobs run on the queue ----

// One line per host send and per run-log row, with the queue time it happened at.
class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() {
    library.setLoginList(PackAccounts({kRobot}));
    library.setSendHook([this](const HostCall& call) {
      std::lock_guard lock(eventsMutex);
      const char* verb = call.kind == HostCall::Kind::sendGroupMsg ? "group " : "friend ";
      events.push_back("@" + std::to_string(clock.nowMs()) + " " + verb + std::to_string(call.target) + " " +
                       call.text);
    });
    log.setObserver({[this](const LogRow& row) {
                       std::lock_guard lock(eventsMutex);
                       events.push_back("@" + std::to_string(clock.nowMs()) + " row " + row.kind + " " + row.text);
                     },
                     nullptr});
    setPauses("5", "5");
  }

  void setPauses(const char* lo, const char* hi) {
    settings.setText(TextField::pauseMin, lo);
    settings.setText(TextField::pauseMax, hi);
  }
  void submit(ForwardKind kind, const std::string& text, std::optional<int64_t> source = std::nullopt) {
    workers.submit({kind, text, source});
  }
  // Runs every step due up to `until`, moving the clock from due time to due time.
  void runUntil(int64_t until) {
    for (std::optional<int64_t> due = queue.nextDue(); due && *due <= until; due = queue.nextDue()) {
      clock.set(std::max(clock.nowMs(), *due));
      queue.runDue(clock.nowMs());
    }
    clock.set(std::max(clock.nowMs(), until));
  }
  std::vector<std::string> takeEvents() {
    std::lock_guard lock(eventsMutex);
    return std::exchange(events, {});
  }

  Settings settings;
  FixedLocalClock localClock;
  RunLog log{localClock};
  FakeHostLibrary library;
  HostApi host{library};
  ScriptedRandom random;
  ManualQueueClock clock;
  ConditionWaiter waiter;
  ForwardQueue queue{clock, waiter};
  ForwardWorkers workers{settings, host, log, random, queue};
  std::mutex eventsMutex;
  std::vector<std::string> events;
};

using Events = std::vector<std::string>;

TEST_F(WorkerTest, ListedGroupsPostRowPauseInOrder) {
  submit(ForwardKind::groups, "111*222内容:hi");
  queue.runDue(0);
  EXPECT_EQ(takeEvents(), (Events{"@0 group 111 hi", "@0 row 转发群 群号111内容:hi!,间隔5"}));
  EXPECT_EQ(queue.nextDue(), std::optional<int64_t>(5000));
  runUntil(4999);
  EXPECT_TRUE(takeEvents().empty());
  runUntil(5000);
  EXPECT_EQ(takeEvents(), (Events{"@5000 group 222 hi", "@5000 row 转发群 群号222内容:hi!,间隔5"}));
  EXPECT_EQ(queue.queued(), 0u);  // nothing is held after the last post
  for (const HostCall& call : library.sends()) EXPECT_EQ(call.robot, kRobot);
}

TEST_F(WorkerTest, PauseStartsWhenThePostHasBeenMade) {
  library.setSendHook([this](const HostCall&) { clock.set(clock.nowMs() + 700); });  // a slow host
  submit(ForwardKind::friends, "1*2内容:x");
  queue.runDue(0);
  EXPECT_EQ(queue.nextDue(), std::optional<int64_t>(5700));
}

TEST_F(WorkerTest, TrailingStarAndEmptyPieces) {
  setPauses("0", "0");
  submit(ForwardKind::groups, "111*内容:hi");
  queue.runDue(0);
  submit(ForwardKind::groups, "111**222内容:hi");
  queue.runDue(0);
  std::vector<int64_t> targets;
  for (const HostCall& call : library.sends()) targets.push_back(call.target);
  EXPECT_EQ(targets, (std::vector<int64_t>{111, 111, 0, 222}));
  const std::vector<LogRow> rows = log.rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[2].text, "群号内容:hi!,间隔0");
}

TEST_F(WorkerTest, MessageLineBreaksAndAQuotedContentMarker) {
  submit(ForwardKind::friends, "111内容:a内容:b[换行]c");
  queue.runDue(0);
  EXPECT_EQ(takeEvents(),
            (Events{"@0 friend 111 a内容:b\r\nc", "@0 row 转发好友 好友111内容:a内容:b[换行]c!间隔5"}));
}

TEST_F(WorkerTest, AnonymousMarkerForGroupsOnlyReadOncePerJob) {
  settings.setOn(SwitchField::anonymous, true);
  submit(ForwardKind::groups, "111*222内容:hi");
  submit(ForwardKind::friends, "333内容:hi");
  queue.runDue(0);
  settings.setOn(SwitchField::anonymous, false);  // the running group job keeps its marker
  runUntil(5000);
  const std::string marked = std::string(kAnonymousMarker) + "hi";
  const std::vector<HostCall> sends = library.sends();
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[0].text, marked);
  EXPECT_EQ(sends[1].text, "hi");  // friend
  EXPECT_EQ(sends[2].text, marked);
  EXPECT_EQ(log.rows()[0].text, "群号111内容:" + marked + "!,间隔5");
}

TEST_F(WorkerTest, AllGroupsFromTheHostListSkippingTheSource) {
  setPauses("0", "0");
  library.setGroupList(PackGroups({100, 300, 400}));
  submit(ForwardKind::groups, "111*#内容:hi", 100);
  queue.runDue(0);
  EXPECT_EQ(takeEvents(), (Events{"@0 group 300 hi", "@0 row 转发群 群号300内容:hi!,间隔0", "@0 group 400 hi",
                                  "@0 row 转发群 群号400内容:hi!,间隔0"}));
  // robotAccount once for the list, then anew before each post.
  EXPECT_EQ(library.countOf(HostCall::Kind::getLoginQQList), 3u);
  const std::vector<HostCall> calls = library.calls();
  EXPECT_EQ(calls[1].kind, HostCall::Kind::getGroupList);
  EXPECT_EQ(calls[1].robot, kRobot);
}

TEST_F(WorkerTest, AllFriendsFromTheHostList) {
  setPauses("0", "0");
  library.setFriendList(PackFriends({100, 500}));
  submit(ForwardKind::friends, "#内容:hi", std::nullopt);
  queue.runDue(0);
  EXPECT_EQ(takeEvents(), (Events{"@0 friend 100 hi", "@0 row 转发好友 好友100内容:hi!,间隔0", "@0 friend 500 hi",
                                  "@0 row 转发好友 好友500内容:hi!,间隔0"}));
}

TEST_F(WorkerTest, ListedSourceGroupIsSkippedWithoutRowOrPause) {
  submit(ForwardKind::groups, "100*111*100内容:hi", 100);
  queue.runDue(0);
  EXPECT_EQ(takeEvents(), (Events{"@0 group 111 hi", "@0 row 转发群 群号111内容:hi!,间隔5"}));
  EXPECT_EQ(queue.queued(), 0u);
}

TEST_F(WorkerTest, HostListsThatDoNotDecodePostNothing) {
  const std::string lists[] = {"", "!!!not base64", "AAAA", PackGroups({})};
  for (const std::string& list : lists) {
    library.setGroupList(list);
    library.setFriendList(list);
    submit(ForwardKind::groups, "#内容:hi", 1);
    submit(ForwardKind::friends, "#内容:hi");
    queue.runDue(0);
    EXPECT_TRUE(takeEvents().empty()) << list;
    EXPECT_EQ(queue.queued(), 0u);
  }
  // A negative count.
  std::string block;
  AppendBigEndian(block, -1, 4);
  AppendBigEndian(block, 7, 8);
  library.setGroupList(EncodeBase64(block));
  submit(ForwardKind::groups, "#内容:hi", 1);
  queue.runDue(0);
  EXPECT_TRUE(takeEvents().empty());
}

TEST_F(WorkerTest, NoLoginListSendsWithRobotZero) {
  library.setLoginList("");
  submit(ForwardKind::groups, "111内容:hi");
  queue.runDue(0);
  ASSERT_EQ(library.sends().size(), 1u);
  EXPECT_EQ(library.sends()[0].robot, 0);
}

TEST_F(WorkerTest, PauseBoundsAreReadBeforeEachPause) {
  submit(ForwardKind::groups, "1*2*3内容:hi");
  queue.runDue(0);
  EXPECT_EQ(queue.nextDue(), std::optional<int64_t>(5000));
  setPauses("20", "10");  // reversed
  runUntil(5000);
  EXPECT_EQ(random.asked().back(), std::make_pair(10, 20));
  EXPECT_EQ(queue.nextDue(), std::optional<int64_t>(15000));
  setPauses("abc", "");  // unreadable: no pause
  runUntil(15000);
  EXPECT_EQ(log.rows().back().text, "群号3内容:hi!,间隔0");
}

TEST_F(WorkerTest, JobsOfDifferentMessagesInterleave) {
  submit(ForwardKind::groups, "1*2内容:A");
  submit(ForwardKind::friends, "3*4内容:B");
  runUntil(10000);
  EXPECT_EQ(takeEvents(), (Events{"@0 group 1 A", "@0 row 转发群 群号1内容:A!,间隔5", "@0 friend 3 B",
                                  "@0 row 转发好友 好友3内容:B!间隔5", "@5000 group 2 A",
                                  "@5000 row 转发群 群号2内容:A!,间隔5", "@5000 friend 4 B",
                                  "@5000 row 转发好友 好友4内容:B!间隔5"}));
}

TEST_F(WorkerTest, HugeMessageAndOddTargets) {
  setPauses("0", "0");
  const std::string big(1u << 20, 'x');
  submit(ForwardKind::groups, "abc*12x内容:" + big);
  queue.runDue(0);
  const std::vector<HostCall> sends = library.sends();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0].target, 0);
  EXPECT_EQ(sends[1].target, 12);
  EXPECT_TRUE(sends[1].text == big);
  EXPECT_EQ(log.rows()[0].text.substr(0, 14), "群号abc内容:xx");
}

}  // namespace
}  // namespace morvane
