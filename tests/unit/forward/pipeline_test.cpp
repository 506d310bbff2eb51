// Admission and workers together, as the plug-in wires them.
#include <gtest/gtest.h>

#include "fakes/host_library_fake.h"
#include "forward/admission.h"
#include "forward/workers.h"
#include "forward_fakes.h"

namespace morvane {
namespace {

constexpr int64_t kRobot = 10001;

class PipelineTest : public ::testing::Test {
 protected:
  PipelineTest() {
    library.setLoginList(PackAccounts({kRobot}));
    library.setGroupList(PackGroups({100, 300}));
    settings.setText(TextField::watchGroups, "100");
    settings.setText(TextField::watchMembers, "#");
    settings.setText(TextField::pauseMin, "1");
    settings.setText(TextField::pauseMax, "2");
  }

  Settings settings;
  ScheduleGate gate;
  FixedLocalClock localClock;
  RunLog log{localClock};
  UnchangedPictures composer;
  FakeHostLibrary library;
  HostApi host{library};
  ScriptedRandom random{{2, 1}};
  ManualQueueClock clock;
  ConditionWaiter waiter;
  ForwardQueue queue{clock, waiter};
  ForwardWorkers workers{settings, host, log, random, queue};
  MessageAdmission admission{settings, gate, log, composer, host, workers};
};

TEST_F(PipelineTest, WatchedMessageReachesGroupsAndFriendsInOrder) {
  settings.setText(TextField::targetGroups, "#\r\n");
  settings.setText(TextField::targetFriends, "555");
  admission.AdmitMessage(100, 200, "hi[换行]there");
  EXPECT_EQ(library.sends().size(), 0u);  // nothing posted on the event thread
  queue.runDue(0);
  std::vector<HostCall> sends = library.sends();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0], (HostCall{HostCall::Kind::sendGroupMsg, 0, kRobot, 300, "hi\r\nthere"}));
  EXPECT_EQ(sends[1], (HostCall{HostCall::Kind::sendFriendMsg, 0, kRobot, 555, "hi\r\nthere"}));
  const std::vector<LogRow> rows = log.rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].text, "群号300内容:hi[换行]there!,间隔2");
  EXPECT_EQ(rows[1].text, "好友555内容:hi[换行]there!间隔1");
  EXPECT_EQ(queue.queued(), 0u);  // the group job skipped its source group 100
}

TEST_F(PipelineTest, TheRobotsOwnPostsAreNotForwardedAgain) {
  settings.setText(TextField::targetGroups, "100\r\n300");
  admission.AdmitMessage(100, kRobot, "echo");
  queue.runDue(0);
  EXPECT_TRUE(library.sends().empty());
}

TEST_F(PipelineTest, AMessageOfCodesOnlyGoesThroughWhole) {
  settings.setText(TextField::targetGroups, "300");
  const std::string codes = "[ZR:image,urls=a][@123][ZR:face,id=1]";
  admission.AdmitMessage(100, 200, codes);
  queue.runDue(0);
  ASSERT_EQ(library.sends().size(), 1u);
  EXPECT_EQ(library.sends()[0].text, codes);
}

}  // namespace
}  // namespace morvane
