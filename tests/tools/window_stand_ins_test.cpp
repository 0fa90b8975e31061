#include "platform/posix/posix_program_launcher.h"
#include "platform/posix/unix_window_endpoints.h"
#include "support/child_process.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>

namespace qv::tools {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::UnixWindowMessenger;
using test::readFile;
using test::waitFor;

constexpr char kMonitorClass[] = "TWatchForm";
constexpr char kMonitorTitle[] = "Quorvane Monitor";
constexpr char kAltKeyClass[] = "TAltKeyForm";
constexpr char kAltKeyTitle[] = "Right Click Button";

// The built programs sit beside this test program (QV_BIN_DIR names that folder when set).
fs::path programDir() {
  if (std::getenv("QV_BIN_DIR")) return test::binDir();
  return fs::read_symlink("/proc/self/exe").parent_path();
}

// One started stand-in program, from the folder above; stopped and reaped if the test
// leaves it running.
class Program : public test::ChildProcess {
public:
  explicit Program(const std::string& name) : ChildProcess((programDir() / name).string()) {}
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
  EXPECT_EQ(monitor.waitExit(), std::optional<int>(0));
  EXPECT_FALSE(fs::exists(platform::endpointPath(kMonitorClass, kMonitorTitle)));
}

TEST_F(StandInTest, KilledMonitorLeavesAStaleEndpointThatTheNextOneReplaces) {
  {
    Program first("qv-monitor");
    ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kMonitorClass, kMonitorTitle); }));
    Program rival("qv-monitor");  // refuses: the first one still answers
    EXPECT_EQ(rival.waitExit(), std::optional<int>(1));
    first.signal(SIGKILL);
    first.waitExit();
  }
  ASSERT_TRUE(fs::exists(platform::endpointPath(kMonitorClass, kMonitorTitle)));
  EXPECT_FALSE(messenger.windowExists(kMonitorClass, kMonitorTitle));

  Program second("qv-monitor");
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kMonitorClass, kMonitorTitle); }));
  EXPECT_EQ(messenger.send(kMonitorClass, kMonitorTitle, {0x5BC, 0, 0}), std::optional<std::uint32_t>(0u));
  second.signal(SIGINT);
  EXPECT_EQ(second.waitExit(), std::optional<int>(0));
}

TEST_F(StandInTest, AltKeyEndsItselfOnTheStopMessage) {
  Program altKey("AltKey");
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists(kAltKeyClass, kAltKeyTitle); }));
  EXPECT_TRUE(messenger.post(kAltKeyClass, kAltKeyTitle, {0x123, 0, 0}));
  EXPECT_EQ(altKey.waitExit(300ms), std::nullopt);  // other messages do not end it
  EXPECT_TRUE(messenger.post(kAltKeyClass, kAltKeyTitle, {0x5BE, 0, 0}));
  EXPECT_EQ(altKey.waitExit(), std::optional<int>(0));
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
