#include "platform/posix/posix_program_launcher.h"
#include "platform/posix/unix_window_endpoints.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

extern char** environ;

namespace qv::tools {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::UnixWindowMessenger;

constexpr char kMonitorClass[] = "TWatchForm";
constexpr char kMonitorTitle[] = "Quorvane Monitor";
constexpr char kAltKeyClass[] = "TAltKeyForm";
constexpr char kAltKeyTitle[] = "Right Click Button";

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The built programs sit beside this test program (QV_BIN_DIR names that folder when set).
fs::path programDir() {
  if (std::getenv("QV_BIN_DIR")) return test::binDir();
  return fs::read_symlink("/proc/self/exe").parent_path();
}

// One started stand-in program; killed and reaped if the test leaves it running.
class Program {
public:
  explicit Program(const std::string& name) {
    const std::string file = (programDir() / name).string();
    std::string arg0 = file;
    char* argv[] = {arg0.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, file.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int sig) const {
    if (pid_ > 0) ::kill(pid_, sig);  // never -1: that would signal every process
  }
  // The exit code once it ended by itself within the limit, else nullopt.
  std::optional<int> exitCode(std::chrono::milliseconds limit = 5s) {
    int status = 0;
    if (pid_ <= 0) return std::nullopt;
    if (!waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return std::nullopt;
    pid_ = -1;
    if (!WIFEXITED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
  }

private:
  pid_t pid_ = -1;
};

class StandInTest : public ::testing::Test {
protected:
  test::PrivateRoot root;
  UnixWindowMessenger messenger;
};

TEST_F(StandInTest, MonitorRecordsEveryMessageAndEndsCleanlyOnSigterm) {
  Program monitor("qv-monitor");
  ASSERT_TRUE(monitor.started());
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kMonitorClass, kMonitorTitle); }));

  EXPECT_EQ(messenger.send(kMonitorClass, kMonitorTitle, {0x5BC, 0, 0}), std::optional<std::uint32_t>(0u));
  EXPECT_TRUE(messenger.post(kMonitorClass, kMonitorTitle, {0x46F, 1, 2}));
  EXPECT_EQ(messenger.send(kMonitorClass, kMonitorTitle, {0x5BC, 0, 0}), std::optional<std::uint32_t>(0u));

  EXPECT_EQ(readFile(root.path() / "monitor.log"),
            "received 0x5BC MonitorNotifyMessage wParam=0 lParam=0\n"
            "received 0x46F ApplySettingsMessage wParam=1 lParam=2\n"
            "received 0x5BC MonitorNotifyMessage wParam=0 lParam=0\n");

  monitor.signal(SIGTERM);
  EXPECT_EQ(monitor.exitCode(), std::optional<int>(0));
  EXPECT_FALSE(fs::exists(platform::endpointPath(kMonitorClass, kMonitorTitle)));
}

TEST_F(StandInTest, KilledMonitorLeavesAStaleEndpointThatTheNextOneReplaces) {
  {
    Program first("qv-monitor");
    ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kMonitorClass, kMonitorTitle); }));
    Program rival("qv-monitor");  // refuses: the first one still answers
    EXPECT_EQ(rival.exitCode(), std::optional<int>(1));
    first.signal(SIGKILL);
    first.exitCode();
  }
  ASSERT_TRUE(fs::exists(platform::endpointPath(kMonitorClass, kMonitorTitle)));
  EXPECT_FALSE(messenger.windowExists(kMonitorClass, kMonitorTitle));

  Program second("qv-monitor");
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kMonitorClass, kMonitorTitle); }));
  EXPECT_EQ(messenger.send(kMonitorClass, kMonitorTitle, {0x5BC, 0, 0}), std::optional<std::uint32_t>(0u));
  second.signal(SIGINT);
  EXPECT_EQ(second.exitCode(), std::optional<int>(0));
}

TEST_F(StandInTest, AltKeyEndsItselfOnTheStopMessage) {
  Program altKey("AltKey");
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kAltKeyClass, kAltKeyTitle); }));
  EXPECT_TRUE(messenger.post(kAltKeyClass, kAltKeyTitle, {0x123, 0, 0}));
  EXPECT_EQ(altKey.exitCode(300ms), std::nullopt);  // other messages do not end it
  EXPECT_TRUE(messenger.post(kAltKeyClass, kAltKeyTitle, {0x5BE, 0, 0}));
  EXPECT_EQ(altKey.exitCode(), std::optional<int>(0));
  EXPECT_FALSE(messenger.windowExists(kAltKeyClass, kAltKeyTitle));
  EXPECT_EQ(readFile(root.path() / "altkey.log"),
            "received 0x123 wParam=0 lParam=0\n"
            "received 0x5BE RightClickStopMessage wParam=0 lParam=0\n");
}

TEST_F(StandInTest, AltKeyStartsFromItsStoredWindowsStyleName) {
  platform::PosixProgramLauncher launcher;
  // As the panel builds it: the install folder's text followed by "\AltKey.exe".
  ASSERT_GT(launcher.startProgram(programDir().string() + "\\AltKey.exe"), 31u);
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kAltKeyClass, kAltKeyTitle); }));
  EXPECT_TRUE(messenger.post(kAltKeyClass, kAltKeyTitle, {0x5BE, 0, 0}));
  EXPECT_TRUE(waitFor([&] { return !messenger.windowExists(kAltKeyClass, kAltKeyTitle); }));
}

}  // namespace
}  // namespace qv::tools
