#include "anim/timer_ex.h"

#include "platform/manual_event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qv::anim {
namespace {

using namespace std::chrono_literals;

// Window timers that the test fires by hand; can be told to refuse like an exhausted platform.
class FakeWindowTimers final : public WindowTimerFactory {
public:
  struct State {
    bool running = false;
    std::uint32_t interval = 0;
    int starts = 0;
    std::function<void()> onTick;
  };

  std::unique_ptr<WindowTimer> create(std::function<void()> onTick) override {
    state = std::make_shared<State>();
    state->onTick = std::move(onTick);
    ++created;
    return std::make_unique<Timer>(state, refuse);
  }
  void fire() const {
    if (state && state->running) state->onTick();
  }

  bool refuse = false;
  int created = 0;
  std::shared_ptr<State> state;

private:
  class Timer final : public WindowTimer {
  public:
    Timer(std::shared_ptr<State> s, bool refuse) : s_(std::move(s)), refuse_(refuse) {}
    ~Timer() override { s_->running = false; }
    bool start(std::uint32_t interval) override {
      if (refuse_) return false;
      s_->running = true;
      s_->interval = interval;
      ++s_->starts;
      return true;
    }
    void stop() override { s_->running = false; }

  private:
    std::shared_ptr<State> s_;
    bool refuse_;
  };
};

struct TimerFixture : ::testing::Test {
  platform::ManualEventLoop loop;
  FakeWindowTimers windows;
  std::unique_ptr<TTimerEx> timer = std::make_unique<TTimerEx>(loop, windows);
  int ticks = 0;

  void countTicks() { timer->setOnTimer([this](TTimerEx&) { ++ticks; }); }
  void pump(std::chrono::milliseconds d) {
    loop.runUntil([] { return false; }, d);
  }
};

TEST_F(TimerFixture, TicksRunOnTheUserInterfaceThreadWithTheTimerAsSender) {
  std::vector<std::thread::id> threads;
  TTimerEx* sender = nullptr;
  timer->setInterval(5);
  timer->setOnTimer([&](TTimerEx& s) {
    sender = &s;
    threads.push_back(std::this_thread::get_id());
  });
  ASSERT_TRUE(loop.runUntil([&] { return threads.size() >= 3; }, 5s));
  EXPECT_EQ(sender, timer.get());
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(TimerFixture, NoTicksWithoutIntervalOrHandlerInEitherMode) {
  timer->setInterval(0);
  countTicks();
  EXPECT_FALSE(timer->running());
  pump(60ms);
  EXPECT_EQ(ticks, 0);

  timer->setOnTimer(nullptr);
  timer->setInterval(2);
  EXPECT_FALSE(timer->running());
  pump(60ms);
  EXPECT_EQ(ticks, 0);

  timer->setThreaded(false);
  EXPECT_FALSE(windows.state->running);
  timer->setInterval(0);
  countTicks();
  EXPECT_FALSE(windows.state->running);
  EXPECT_EQ(ticks, 0);

  // Assigning a handler starts the timer once interval and Enabled allow it.
  timer->setInterval(2);
  EXPECT_TRUE(windows.state->running);
  windows.fire();
  EXPECT_EQ(ticks, 1);
}

TEST_F(TimerFixture, DisablingInsideTheHandlerStopsFurtherTicks) {
  timer->setInterval(1);
  bool finished = false;
  timer->setOnTimer([&](TTimerEx& t) {
    ++ticks;
    t.setEnabled(false);
    finished = true;  // the current call completes
  });
  ASSERT_TRUE(loop.runUntil([&] { return ticks > 0; }, 5s));
  pump(50ms);
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(timer->running());
}

TEST_F(TimerFixture, IntervalChangedInTheHandlerTimesTheNextWait) {
  timer->setInterval(250);
  std::chrono::steady_clock::time_point firstTick;
  timer->setOnTimer([&](TTimerEx& t) {
    if (++ticks == 1) firstTick = std::chrono::steady_clock::now();
    t.setInterval(1);
  });
  ASSERT_TRUE(loop.runUntil([&] { return ticks >= 6; }, 5s));
  // Five more ticks at the old 250 ms would take over a second.
  EXPECT_LT(std::chrono::steady_clock::now() - firstTick, 240ms);
}

TEST_F(TimerFixture, SwitchingThreadedReplacesTheTimeSourceInOneUpdate) {
  timer->setInterval(40);
  countTicks();
  ASSERT_TRUE(loop.runUntil([&] { return ticks > 0; }, 5s));

  timer->setThreaded(false);
  EXPECT_FALSE(timer->hasThread());
  ASSERT_TRUE(timer->hasWindow());
  EXPECT_TRUE(windows.state->running);
  EXPECT_EQ(windows.state->interval, 40u);
  const int before = ticks;
  pump(100ms);  // the released thread delivers nothing more
  EXPECT_EQ(ticks, before);
  windows.fire();
  EXPECT_EQ(ticks, before + 1);

  timer->setThreaded(true);
  EXPECT_FALSE(timer->hasWindow());
  EXPECT_TRUE(timer->hasThread());
  EXPECT_TRUE(loop.runUntil([&] { return ticks > before + 1; }, 5s));
}

TEST_F(TimerFixture, AHandlerMaySwitchToWindowModeWhileItsThreadWaitsForIt) {
  timer->setInterval(1);
  timer->setOnTimer([this](TTimerEx& t) {
    ++ticks;
    t.setThreaded(false);  // releases the thread that is blocked handing this tick over
  });
  ASSERT_TRUE(loop.runUntil([&] { return ticks > 0; }, 5s));
  EXPECT_FALSE(timer->hasThread());
  EXPECT_TRUE(windows.state->running);
  pump(30ms);
  EXPECT_EQ(ticks, 1);
}

TEST_F(TimerFixture, PriorityChangesInWindowModeOnlyStoreTheValue) {
  countTicks();
  timer->setThreaded(false);
  const int starts = windows.state->starts;
  timer->setThreadPriority(TThreadPriority::tpLower);
  EXPECT_EQ(timer->threadPriority(), TThreadPriority::tpLower);
  EXPECT_EQ(windows.state->starts, starts);
  timer->setInterval(3);
  EXPECT_EQ(windows.state->starts, starts + 1);
}

TEST_F(TimerFixture, RefusedWindowTimerRaisesAndLeavesTheTimerStopped) {
  windows.refuse = true;
  countTicks();
  try {
    timer->setThreaded(false);
    FAIL() << "expected EOutOfResources";
  } catch (const EOutOfResources& e) {
    EXPECT_STREQ(e.what(), "No More Timers Available");
  }
  EXPECT_FALSE(timer->threaded());
  EXPECT_FALSE(timer->running());
  EXPECT_FALSE(timer->hasThread());
}

TEST_F(TimerFixture, HandlerErrorsAreReportedAndTheTimerKeepsGoing) {
  std::vector<std::string> reports;
  timer->setErrorReport([&](const std::string& m) { reports.push_back(m); });
  timer->setThreaded(false);
  timer->setOnTimer([&](TTimerEx&) {
    ++ticks;
    throw std::runtime_error("handler failed");
  });
  windows.fire();
  windows.fire();
  EXPECT_EQ(ticks, 2);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "handler failed");

  // Threaded ticks report the same way.
  timer->setInterval(1);
  timer->setThreaded(true);
  ASSERT_TRUE(loop.runUntil([&] { return reports.size() >= 4; }, 5s));
}

TEST_F(TimerFixture, ThreadSafeTimerCallsTheHandlerOnItsOwnThread) {
  std::atomic<int> count{0};
  std::atomic<bool> onUiThread{false};
  const auto ui = std::this_thread::get_id();
  timer->setThreadSafe(true);
  timer->setInterval(1);
  timer->setOnTimer([&](TTimerEx&) {
    if (std::this_thread::get_id() == ui) onUiThread = true;
    ++count;
  });
  // Nobody pumps the loop: the ticks still come.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (count < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  timer.reset();
  EXPECT_GE(count.load(), 3);
  EXPECT_FALSE(onUiThread);
}

TEST(TimerLifetime, DestroyingWhileTheThreadSleepsDeliversNoLateTick) {
  platform::ManualEventLoop loop;
  FakeWindowTimers windows;
  auto ticks = std::make_shared<int>(0);
  {
    TTimerEx timer(loop, windows);
    timer.setInterval(30);
    timer.setOnTimer([ticks](TTimerEx&) { ++*ticks; });
  }
  loop.runUntil([] { return false; }, 80ms);
  EXPECT_EQ(*ticks, 0);
}

TEST(TimerLifetime, DestroyingWithATickWaitingForTheLoopDoesNotHangOrRunIt) {
  platform::ManualEventLoop loop;
  FakeWindowTimers windows;
  int ticks = 0;
  {
    TTimerEx timer(loop, windows);
    timer.setInterval(1);
    timer.setOnTimer([&](TTimerEx&) { ++ticks; });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (loop.pendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    ASSERT_EQ(loop.pendingCount(), 1u);
  }  // the timer thread is blocked in the hand-off here
  loop.runPending();
  EXPECT_EQ(ticks, 0);
}

TEST(TimerLifetime, AHandlerMayDestroyItsOwnTimer) {
  platform::ManualEventLoop loop;
  FakeWindowTimers windows;
  auto timer = std::make_unique<TTimerEx>(loop, windows);
  int ticks = 0;
  timer->setInterval(1);
  timer->setOnTimer([&](TTimerEx&) {
    ++ticks;
    timer.reset();
  });
  ASSERT_TRUE(loop.runUntil([&] { return timer == nullptr; }, 5s));
  loop.runUntil([] { return false; }, 20ms);
  EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace qv::anim
