#include "platform/manual_event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace qv::platform {
namespace {

TEST(ManualEventLoop, RunsPostedWorkInOrderOnThePumpingThread) {
  ManualEventLoop loop;
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) loop.post([&order, i] { order.push_back(i); });
  });
  worker.join();
  EXPECT_EQ(loop.runPending(), 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(order[i], i);
}

TEST(ManualEventLoop, PostAndWaitReturnsAfterTheLoopRanIt) {
  ManualEventLoop loop;
  std::atomic<bool> ran{false};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    loop.postAndWait([&] { ran = true; });
    returned = true;
  });
  ASSERT_TRUE(loop.runUntil([&] { return returned.load(); }, std::chrono::seconds(5)));
  worker.join();
  EXPECT_TRUE(ran);
}

TEST(LifetimeGuard, DropsWorkPostedBeforeItsOwnerWentAway) {
  ManualEventLoop loop;
  int calls = 0;
  {
    LifetimeGuard guard;
    loop.post(guard.guarded([&] { ++calls; }));
  }
  loop.runPending();
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace qv::platform
