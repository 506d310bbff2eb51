// KxOfferLibrary against the stand-in KXOffer.dll beside this program: the
// arguments arrive as the host's stdcall functions take them, texts come back
// copied, and first calls from many threads at once bind safely.
#include "host/host_library_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kxoffer_sim.h"

namespace morvane {
namespace {

class HostLibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(sim().load()) << "KXOffer.dll (the stand-in) must sit beside the test"; }
  void SetUp() override { sim().reset(); }

  static SimLibrary& sim() {
    static SimLibrary library;
    return library;
  }
  static std::vector<SimCall> calls() {
    std::vector<SimCall> out(static_cast<size_t>(sim().callCount()));
    for (size_t i = 0; i < out.size(); ++i) sim().getCall(static_cast<int32_t>(i), &out[i]);
    return out;
  }

  KxOfferLibrary library_;
};

TEST_F(HostLibraryTest, SendsCarryAllArgumentsInTheirWords) {
  // Values that show a swapped or truncated 64-bit word.
  struct Row {
    int32_t auth;
    int64_t robot, target;
    std::string text;
  };
  const Row rows[] = {
      {1, 10001, 111, "hello"},
      {-7, 0x123456789ALL, -2, "\xC4\xE3\xBA\xC3"},  // GBK 你好
      {0, INT64_MAX, INT64_MIN, ""},
  };
  for (const Row& row : rows) {
    sim().clearCalls();
    library_.sendGroupMsg(row.auth, row.robot, row.target, row.text);
    library_.sendFriendMsg(row.auth, row.robot, row.target, row.text);
    auto got = calls();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_STREQ(got[0].function, "KX_sendGroupMsg");
    EXPECT_STREQ(got[1].function, "KX_sendFriendMsg");
    for (const SimCall& c : got) {
      EXPECT_EQ(c.authCode, row.auth);
      EXPECT_EQ(c.robot, row.robot);
      EXPECT_EQ(c.target, row.target);
      EXPECT_EQ(std::string(c.text, static_cast<size_t>(c.textLength)), row.text);
      EXPECT_EQ(c.textWasNull, 0);
    }
  }
}

TEST_F(HostLibraryTest, SendResultIsHandedBack) {
  sim().setSendResult(-3);
  EXPECT_EQ(library_.sendGroupMsg(1, 2, 3, "x"), -3);
  EXPECT_EQ(library_.sendFriendMsg(1, 2, 3, "x"), -3);
}

TEST_F(HostLibraryTest, QueriesReturnCopiesAndNullAsEmpty) {
  sim().setAppDirectory("C:\\app\\");
  sim().setLoginList("AAAAAQAAAAAAACcR");
  sim().setGroupList("g");
  sim().setFriendList(nullptr);
  EXPECT_EQ(library_.getAppDirectory(5), "C:\\app\\");
  EXPECT_EQ(library_.getLoginQQList(5), "AAAAAQAAAAAAACcR");
  EXPECT_EQ(library_.getGroupList(5, 10001), "g");
  EXPECT_EQ(library_.getFriendList(5, 10001), "");
  sim().setAppDirectory(nullptr);
  EXPECT_EQ(library_.getAppDirectory(5), "");

  auto got = calls();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_STREQ(got[2].function, "KX_getGroupList");
  EXPECT_EQ(got[2].robot, 10001);
  for (const SimCall& c : got) EXPECT_EQ(c.authCode, 5);
}

TEST_F(HostLibraryTest, FatalReportReachesTheHost) {
  library_.setFatal(9, "boom (ERROR-1)");
  auto got = calls();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_STREQ(got[0].function, "KX_setFatal");
  EXPECT_EQ(got[0].authCode, 9);
  EXPECT_STREQ(got[0].text, "boom (ERROR-1)");
}

TEST_F(HostLibraryTest, ManyThreadsAtOnceEachGetTheirOwnCall) {
  constexpr int kThreads = 16, kCallsEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      KxOfferLibrary library;  // every instance shares the one binding
      for (int i = 0; i < kCallsEach; ++i)
        library.sendGroupMsg(t, 1000 + t, i, "t" + std::to_string(t) + "-" + std::to_string(i));
    });
  }
  for (auto& th : threads) th.join();
  auto got = calls();
  ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kCallsEach));
  std::vector<int> seen(kThreads, 0);
  for (const SimCall& c : got) {
    ASSERT_GE(c.authCode, 0);
    ASSERT_LT(c.authCode, kThreads);
    EXPECT_EQ(c.robot, 1000 + c.authCode);
    EXPECT_EQ(std::string(c.text), "t" + std::to_string(c.authCode) + "-" + std::to_string(c.target));
    ++seen[static_cast<size_t>(c.authCode)];
  }
  for (int n : seen) EXPECT_EQ(n, kCallsEach);
}

}  // namespace
}  // namespace morvane
