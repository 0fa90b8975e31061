// OK's notification of the monitor over real window endpoints: another client that keeps
// the monitor's endpoint busy must not hold OK (and with it the window) up.
#include "panel_rig.h"
#include "platform/manual_event_loop.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_endpoints.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace qv::app {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kClass[] = "TWatchForm";
constexpr char kTitle[] = "Quorvane Monitor";

// The monitor's window in this process, its loop pumped by a thread of its own.
class MonitorWindow {
public:
  MonitorWindow() {
    endpoint_ = platform::UnixWindowEndpointFactory().listen(kClass, kTitle, loop_, [this](const platform::WindowMessage& m) {
      std::lock_guard lock(mutex_);
      received_.push_back(m.message);
      return 0u;
    });
    pump_ = std::thread([this] {
      while (!stop_) loop_.runFor(20ms);
    });
  }
  ~MonitorWindow() {
    stop_ = true;
    pump_.join();
    endpoint_.reset();
  }
  bool listening() const { return endpoint_ != nullptr; }
  std::vector<std::uint32_t> received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

private:
  platform::ManualEventLoop loop_;
  std::unique_ptr<platform::WindowEndpoint> endpoint_;
  mutable std::mutex mutex_;
  std::vector<std::uint32_t> received_;
  std::atomic<bool> stop_{false};
  std::thread pump_;
};

struct OkWithMonitor : ::testing::Test {
  void SetUp() override { ASSERT_EQ(controller.load(), LoadOutcome::Ready); }

  test::PrivateRoot root;
  test::PanelRig rig;
  platform::UnixWindowMessenger messenger;  // the real one, with its 30 s send limit
  PanelController controller{{rig.store, rig.driver, messenger, rig.launcher, rig.system, rig.prompts}, rig.timer};
};

TEST_F(OkWithMonitor, AnotherClientKeepingTheMonitorBusyDoesNotHoldOkUp) {
  MonitorWindow monitor;
  ASSERT_TRUE(monitor.listening());
  // A client that sends one message every 1.5 s for 15 s.
  std::atomic<bool> stopTrickle{false};
  std::thread trickler([&] {
    const platform::UniqueFd fd = platform::connectUnixSocket(platform::endpointPath(kClass, kTitle), 1s);
    for (int i = 0; i < 10 && fd && !stopTrickle; ++i) {
      const auto frame = platform::encodeFrame({0x111, 0, 0}, platform::FrameMode::Posted);
      [[maybe_unused]] const auto sent = ::send(fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL);
      for (int tick = 0; tick < 150 && !stopTrickle; ++tick) std::this_thread::sleep_for(10ms);
    }
  });
  ASSERT_TRUE(test::waitFor([&] { return !monitor.received().empty(); }, 10s));

  const auto started = Clock::now();
  EXPECT_TRUE(controller.btnOkClick());
  EXPECT_LT(Clock::now() - started, 5s);  // generous: the busy client goes on for 15 s
  stopTrickle = true;
  trickler.join();
  EXPECT_TRUE(test::waitFor([&] {
    const auto got = monitor.received();
    return std::find(got.begin(), got.end(), 0x5BCu) != got.end();
  }));
}

}  // namespace
}  // namespace qv::app
