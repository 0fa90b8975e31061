// The real panel program on a private machine with the real driver stand-in and monitor
// program: ApplySettingsMessage runs OK, which writes the store, configures the driver
// and notifies the monitor, then the panel ends.
#include "platform/posix/registry_file_store.h"
#include "platform/posix/unix_window_endpoints.h"
#include "support/child_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace qv::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ChildProcess;
using test::readFile;
using test::waitFor;

constexpr const char* kMachine = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Version"="3.1.05"
"Vxd Init"="Success"
"Support Chip"="T303"
"COM1_IRQ"="4"
"COM1_ADDR"="3F8H"
"COM2_IRQ"="3"
"COM2_ADDR"="2F8H"
"Restart"=dword:00000000
"IsComUserDef"=dword:00000000
"Cfg_COM"="COM2"
"Ctrl_Sound"=dword:00000001
"Ctrl_LongBeep"=dword:00000000
"IsCursorOffset"=dword:00000001
"CursorOffsetDX"="-3"
"CursorOffsetDY"="0"
"Cfg_DKSpeed"=dword:0000012c
"Cfg_DKArea"=dword:00000028

[HKEY_CURRENT_USER\Control Panel\Cursors]
"Arrow"=""
)";

// The programs are built beside this test program; QV_BIN_DIR names that folder when the
// runner sets it.
void locatePrograms() {
  if (const char* dir = std::getenv("QV_BIN_DIR"); dir && *dir) return;
  ::setenv("QV_BIN_DIR", fs::read_symlink("/proc/self/exe").parent_path().c_str(), 1);
}

TEST(PanelProgram, ApplySettingsMessageAppliesAndEndsThePanel) {
  locatePrograms();
  test::PrivateRoot root;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  root.writeRegistry(kMachine);

  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  platform::UnixWindowMessenger messenger;
  ChildProcess monitor("qv-monitor", {}, ChildProcess::Output::Inherit);
  ASSERT_TRUE(monitor.started());
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists("TWatchForm", "Quorvane Monitor"); }, 10s));

  ChildProcess panel("quorvane-panel", {}, ChildProcess::Output::Inherit);
  ASSERT_TRUE(panel.started());
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists("TMainForm", "Quorvane Control Panel"); }, 10s));
  ASSERT_TRUE(messenger.post("TMainForm", "Quorvane Control Panel", {0x46F, 0, 0}));
  EXPECT_EQ(panel.waitExit(15s), 0);

  platform::RegistryFileStore store(root.path());
  auto value = [&](std::string_view name) {
    auto v = store.readValue(platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", name);
    return v ? v->data : std::vector<std::uint8_t>{};
  };
  EXPECT_EQ(value("Cfg_COM"), (std::vector<std::uint8_t>{'C', 'O', 'M', '2'}));
  EXPECT_EQ(value("Port"), (std::vector<std::uint8_t>{0x02, 0xF8}));
  EXPECT_EQ(value("IRQ"), (std::vector<std::uint8_t>{0x00, 0x03}));
  EXPECT_EQ(value("Cfg_DKSpeed"), (std::vector<std::uint8_t>{0x2C, 0x01, 0, 0}));
  EXPECT_EQ(value("Cfg_DKArea"), (std::vector<std::uint8_t>{40, 0, 0, 0}));
  EXPECT_EQ(value("OSVersion").size(), 2u);

  // The four requests on one connection, in order; the offset on the offscreen screen.
  const std::string log = readFile(root.path() / "driverd.log");
  const auto beep = log.find("00000007 01000000 ok");
  const auto fixed = log.find("00000006 01000000 ok");
  const auto longBeep = log.find("0000000d 00 ok");
  const auto offset = log.find("0000000a 0101");
  EXPECT_NE(beep, std::string::npos) << log;
  EXPECT_LT(beep, fixed) << log;
  EXPECT_LT(fixed, longBeep) << log;
  EXPECT_LT(longBeep, offset) << log;
  EXPECT_NE(offset, std::string::npos) << log;

  EXPECT_NE(readFile(root.path() / "monitor.log").find("received 0x5BC"), std::string::npos);
}

}  // namespace
}  // namespace qv::e2e
