// Stopping a port's line watch does not depend on how the program treats the signal that
// interrupts the watch's wait.
#include "platform/posix/posix_line_watch.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace qv::platform {
namespace {

TEST(LineChangeWatch, StopsWhenItsSignalWasSetToBeIgnoredMeanwhile) {
  struct sigaction before {};
  ::sigaction(SIGURG, nullptr, &before);
  auto stopped = std::make_shared<std::promise<bool>>();
  auto done = stopped->get_future();
  // Detached: a watch that never stops must fail the test, not hang it.
  std::thread([stopped] {
    auto waiting = std::make_shared<std::atomic<bool>>(false);
    auto interrupted = std::make_shared<std::atomic<bool>>(false);
    {
      // pause() returns only when a handler has run, as the device's wait does.
      posix::LineChangeWatch watch([waiting, interrupted] {
        *waiting = true;
        const int r = ::pause();
        *interrupted = true;
        return r;
      });
      test::waitFor([&] { return waiting->load(); });
      ::signal(SIGURG, SIG_IGN);
    }
    stopped->set_value(*interrupted);
  }).detach();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(done.get()) << "the wait was never interrupted: its thread was left behind";
  ::sigaction(SIGURG, &before, nullptr);
}

}  // namespace
}  // namespace qv::platform
