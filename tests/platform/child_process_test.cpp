// The tests' own child processes: exit codes, and signals that reach only the child.
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace qv::test {
namespace {

using namespace std::chrono_literals;

TEST(ChildProcess, ExitCodeIsKeptAndAReapedChildIsNeverSignalled) {
  ChildProcess child("/bin/sh", {"-c", "exit 3"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.waitExit(), std::optional<int>(3));
  EXPECT_EQ(child.waitExit(0ms), std::optional<int>(3));
  EXPECT_EQ(child.pid(), -1);
  EXPECT_FALSE(child.signal(SIGTERM));
  EXPECT_EQ(child.stop(SIGKILL), std::optional<int>(3));

  ChildProcess sleeper("/bin/sleep", {"30"});
  ASSERT_TRUE(sleeper.started());
  EXPECT_EQ(sleeper.waitExit(50ms), std::nullopt);
  EXPECT_EQ(sleeper.stop(SIGTERM), std::optional<int>(128 + SIGTERM));
}

TEST(ChildProcess, AProgramThatDidNotStartLeavesOtherChildrenAlone) {
  ChildProcess other("/bin/sh", {"-c", "exit 7"});
  ASSERT_TRUE(other.started());
  ChildProcess missing("/nonexistent/program");
  EXPECT_FALSE(missing.started());
  EXPECT_EQ(missing.pid(), -1);
  EXPECT_FALSE(missing.signal(SIGTERM));
  std::this_thread::sleep_for(100ms);  // the other child has ended by now
  EXPECT_EQ(missing.waitExit(200ms), std::nullopt);
  EXPECT_EQ(other.waitExit(), std::optional<int>(7));  // not reaped by the missing one's wait
}

TEST(ChildProcess, EndingTheObjectKillsAChildThatIgnoresSigterm) {
  pid_t pid = -1;
  {
    ChildProcess stubborn("/bin/sh", {"-c", "trap '' TERM; exec sleep 30"});
    ASSERT_TRUE(stubborn.started());
    pid = stubborn.pid();
    EXPECT_EQ(stubborn.waitExit(100ms), std::nullopt);
  }
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
}

}  // namespace
}  // namespace qv::test
