// A whole calibration on a virtual display: the real panel, qv-driverd and the monitor
// program in a private machine root, driven by real pointer input (xdotool) on Xvfb.
// The four targets are clicked where the screen shows its dots; the stand-in plays the
// raw readings of its own true limits, and the store, the driver and the monitor must
// end up with the calibration the screen took.
#include "platform/posix/registry_file_store.h"
#include "platform/posix/unix_window_endpoints.h"
#include "support/child_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

namespace qv::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ChildProcess;
using test::readFile;
using test::waitFor;

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr int kScreenWidth = 1024, kScreenHeight = 768;

constexpr const char* kMachine = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Version"="3.1.05"
"Vxd Init"="Success"
"Support Chip"="T303"
"COM1_IRQ"="4"
"COM1_ADDR"="3F8H"
"Restart"=dword:00000000
"IsComUserDef"=dword:00000000
"Cfg_COM"="COM1"
"Ctrl_Sound"=dword:00000001
"IsCursorOffset"=dword:00000001
"CursorOffsetDX"="-3"
"CursorOffsetDY"="0"
"Cfg_DKSpeed"=dword:000001f4
"Cfg_DKArea"=dword:00000032

[HKEY_CURRENT_USER\Control Panel\Cursors]
"Arrow"=""
)";

void locatePrograms() {
  if (const char* dir = std::getenv("QV_BIN_DIR"); dir && *dir) return;
  ::setenv("QV_BIN_DIR", fs::read_symlink("/proc/self/exe").parent_path().c_str(), 1);
}

// A private X server; it picks a free display itself and names it on its output.
class VirtualDisplay {
public:
  explicit VirtualDisplay(const fs::path& dir) : output_(dir / "xvfb.out") {
    const int fd = ::open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string size = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
    server_ = std::make_unique<ChildProcess>(
        kXvfb, std::vector<std::string>{"-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp"}, fd);
    ::close(fd);
    waitFor([&] { return !(name_ = displayName()).empty(); }, 20s);
  }
  // ":N", empty when the server did not come up.
  const std::string& name() const { return name_; }

private:
  std::string displayName() const {
    std::istringstream lines(readFile(output_));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return ":" + line;
    }
    return {};
  }
  fs::path output_;
  std::unique_ptr<ChildProcess> server_;
  std::string name_;
};

// Sets an environment variable for the programs this test starts and puts the old value
// back afterwards, so that other tests in the same process are not affected.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string xdotool(const std::vector<std::string>& args, int* status = nullptr) {
  std::string out;
  const int s = test::runProgram(kXdotool, args, &out);
  if (status) *status = s;
  return out;
}

void clickAt(int x, int y) { xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"}); }

struct WindowPlace {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0;
};

// The visible windows of a process, with their places on the screen.
std::vector<WindowPlace> visibleWindows(pid_t pid) {
  std::vector<WindowPlace> places;
  std::istringstream ids(xdotool({"search", "--onlyvisible", "--pid", std::to_string(pid)}));
  for (std::string id; std::getline(ids, id);) {
    if (id.empty()) continue;
    const std::string shell = xdotool({"getwindowgeometry", "--shell", id});
    WindowPlace p{id};
    auto field = [&](const char* name) {
      std::smatch m;
      const std::regex re(std::string("(^|\n)") + name + "=(-?[0-9]+)");
      return std::regex_search(shell, m, re) ? std::stoi(m[2]) : -1;
    };
    p.x = field("X");
    p.y = field("Y");
    p.width = field("WIDTH");
    p.height = field("HEIGHT");
    places.push_back(p);
  }
  return places;
}

std::size_t countOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(CalibrationProgram, FourClickedTargetsCalibrateTheDriverAndTheStore) {
  ASSERT_TRUE(fs::exists(kXvfb) && fs::exists(kXdotool)) << "scripts/setup installs xvfb and xdotool";
  locatePrograms();
  test::PrivateRoot root;
  root.writeRegistry(kMachine);

  VirtualDisplay display(root.path());
  ASSERT_FALSE(display.name().empty()) << readFile(root.path() / "xvfb.out");
  const ScopedEnv displayEnv("DISPLAY", display.name());
  const ScopedEnv platformEnv("QT_QPA_PLATFORM", "xcb");

  // The stand-in's touch screen reads 0x20..0xE0 across and 0x30..0xD0 down.
  test::DriverdProcess driverd({"--true-limits=0x20,0xE0,0x30,0xD0"});
  ASSERT_TRUE(driverd.ready());
  platform::UnixWindowMessenger messenger;
  ChildProcess monitor("qv-monitor", {}, ChildProcess::Output::Discard);
  ASSERT_TRUE(waitFor([&] { return messenger.windowExists("TWatchForm", "Quorvane Monitor"); }, 10s));

  ChildProcess panel("quorvane-panel", {}, ChildProcess::Output::Inherit);
  ASSERT_TRUE(panel.started());
  std::vector<WindowPlace> windows;
  ASSERT_TRUE(waitFor([&] { return !(windows = visibleWindows(panel.pid())).empty(); }, 20s));
  const WindowPlace main = windows.front();
  const fs::path log = root.path() / "driverd.log";

  auto screenShown = [&] {
    for (const auto& w : visibleWindows(panel.pid())) {
      if (w.x == 0 && w.y == 0 && w.width == kScreenWidth && w.height == kScreenHeight) return true;
    }
    return false;
  };
  // The Calibrate tab, then "&Calibration" on it (the window's own layout, within a few
  // pixels). A click the panel was not ready for yet is tried again, never once the
  // screen is up: there it would be a touch.
  bool begun = false;
  for (int attempt = 0; attempt < 3 && !begun; ++attempt) {
    clickAt(main.x + 130, main.y + 20);
    clickAt(main.x + 404, main.y + 319);
    begun = waitFor([&] { return readFile(log).find("00000001 - ok") != std::string::npos || screenShown(); }, 10s);
  }
  ASSERT_TRUE(begun) << "the Calibration button was not reached";
  ASSERT_TRUE(waitFor(screenShown, 20s)) << "the calibration screen did not cover the screen";
  ASSERT_EQ(countOf(readFile(log), "00000001 - ok"), 1u);

  // The dots of a 1024 x 768 screen: top, right, bottom, left; each click is a real
  // button press and release. A touch counts once the driver was asked for its reading.
  const int W = kScreenWidth, H = kScreenHeight;
  const std::pair<int, int> dots[4] = {{W / 2, 3}, {W - 11, H / 2 - 3}, {W / 2, H - 11}, {3, H / 2 - 3}};
  for (std::size_t i = 0; i < 4; ++i) {
    // Touches closer than 900 ms to the last accepted one are one touch.
    std::this_thread::sleep_for(1000ms);
    bool taken = false;
    for (int attempt = 0; attempt < 3 && !taken; ++attempt) {
      clickAt(dots[i].first, dots[i].second);
      taken = waitFor([&] { return countOf(readFile(log), "00000009 - ok") == i + 1; }, 5s);
    }
    ASSERT_TRUE(taken) << "target " << i << "\n" << readFile(log);
  }
  ASSERT_TRUE(waitFor([&] { return readFile(root.path() / "monitor.log").find("received 0x5BC") != std::string::npos; },
                      10s));

  // The store: texts and copies of the four limits, each 3 units inside a played reading.
  platform::RegistryFileStore store(root.path());
  auto value = [&](std::string_view name) {
    auto v = store.readValue(platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", name);
    return v ? v->data : std::vector<std::uint8_t>{};
  };
  auto text = [&](std::string_view name) {
    const auto bytes = value(name);
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string names[4] = {"X1", "X2", "Y1", "Y2"};
  const int truth[4] = {0x20 + 3, 0xE0 - 3, 0x30 + 3, 0xD0 - 3};
  int limits[4] = {};
  for (int i = 0; i < 4; ++i) {
    const std::string t = text("Cfg_" + names[i]);
    ASSERT_EQ(t.size(), 3u) << names[i] << " " << t;
    EXPECT_EQ(t.back(), 'H');
    limits[i] = std::stoi(t.substr(0, 2), nullptr, 16);
    EXPECT_LE(std::abs(limits[i] - truth[i]), 2) << names[i] << " " << t;
    EXPECT_EQ(value(names[i]), (std::vector<std::uint8_t>{0x00, static_cast<std::uint8_t>(limits[i])}));
  }
  EXPECT_EQ(value("IsCursorOffset"), (std::vector<std::uint8_t>{0, 0, 0, 0}));

  // The driver uses the limits the screen sent and left calibration mode; the cursor offset
  // went off with the offset kept (-3 pixels = -189 units on this screen).
  std::string state;
  ASSERT_EQ(test::runProgram("qv-driverctl", {"state"}, &state), 0);
  char expected[32];
  std::snprintf(expected, sizeof expected, "limits=%02X %02X %02X %02X", limits[0], limits[1], limits[2], limits[3]);
  EXPECT_NE(state.find(expected), std::string::npos) << state;
  EXPECT_NE(state.find("calibration_mode=0"), std::string::npos) << state;
  EXPECT_NE(state.find("cursor_offset=0 -189 0"), std::string::npos) << state;
  const std::string requests = readFile(log);
  EXPECT_LT(requests.find("00000002 "), requests.find("0000000a 0001bd000000"));

  // The screen is gone and the main window is back.
  EXPECT_TRUE(waitFor([&] { return visibleWindows(panel.pid()).size() == 1; }, 10s));
}

}  // namespace
}  // namespace qv::e2e
