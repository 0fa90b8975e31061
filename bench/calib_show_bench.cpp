// Showing the calibration screen: from the call that shows it to its first paint as a
// full-screen window covering the monitor, on a bare virtual X display (Xvfb) and on one
// with a window manager and a bar (openbox, tint2), and natively on a headless Wayland
// desktop (sway, through scripts/headless-sway), each started by this program.
//
//   calib_show_bench [runs] [bare|wm|wayland]
//                       measures runs showings (default 10) of the one reused screen on
//                       each desktop (default both); prints medians and one
//                       "@figure calib_show.<desktop>_ms <value>" line per desktop
//   calib_show_bench --measure <runs>
//                       the measuring program itself, on the display the environment names:
//                       a main window, the real calibration screen as its child, and one
//                       "show_ms=<ms>" line per showing
#include "calibration/calibration_state.h"
#include "calibration/qt/calib_form.h"
#include "driver/driver_channel.h"
#include "platform/posix/system_store.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/store_system_services.h"
#include "platform/user_prompts.h"
#include "support/child_process.h"
#include "support/program_run.h"
#include "support/virtual_display.h"
#include "support/window_manager_desktop.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SilentPrompts final : public qv::platform::UserPrompts {
public:
  void notice(std::string_view) override {}
  bool askYesNo(std::string_view, std::string_view) override { return false; }
  void error(std::string_view text) override {
    std::fprintf(stderr, "error: %.*s\n", static_cast<int>(text.size()), text.data());
  }
};

// Ends the showing at the first paint of the screen as a full-screen window that covers
// its monitor, and notes when that came.
class FirstFullScreenPaint final : public QObject {
public:
  explicit FirstFullScreenPaint(QDialog& screen) : screen_(screen) {}
  Clock::time_point paintedAt;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &screen_ && event->type() == QEvent::Paint && !done_ &&
        (screen_.windowState() & Qt::WindowFullScreen) && screen_.screen() &&
        screen_.geometry() == screen_.screen()->geometry()) {
      done_ = true;
      // Once this paint is done: the time includes drawing the screen.
      QTimer::singleShot(0, &screen_, [this] {
        paintedAt = Clock::now();
        screen_.done(QDialog::Accepted);
      });
    }
    return false;
  }

public:
  void reset() { done_ = false; }

private:
  QDialog& screen_;
  bool done_ = false;
};

int measure(int argc, char** argv, int runs) {
  QApplication app(argc, argv);
  const auto storeHandle = qv::platform::openSystemStore();
  qv::platform::RegistryStore& store = *storeHandle;
  qv::platform::SocketDeviceIo deviceIo;
  qv::driver::DriverChannel driver(deviceIo);
  qv::platform::StoreSystemServices system(store);
  SilentPrompts prompts;
  qv::calibration::CalibrationState state;

  QWidget mainWindow;
  mainWindow.resize(552, 420);
  mainWindow.show();
  qv::calibration::TCalibForm screen(state, {store, driver, system}, prompts, &mainWindow);
  FirstFullScreenPaint watcher(screen);
  screen.installEventFilter(&watcher);
  for (int i = 0; i < runs; ++i) {
    // The main window is up and idle before each showing, as when its button is pressed.
    QTimer settle;
    settle.setSingleShot(true);
    QEventLoop idle;
    QObject::connect(&settle, &QTimer::timeout, &idle, &QEventLoop::quit);
    settle.start(200);
    idle.exec();
    watcher.reset();
    const auto start = Clock::now();
    screen.showModally();
    std::printf("show_ms=%.3f\n", std::chrono::duration<double, std::milli>(watcher.paintedAt - start).count());
    std::fflush(stdout);
  }
  return 0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs the measuring program on the display the environment names; false when it gave no
// figures.
bool runOn(const std::string& desktop, int runs) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const auto run = qv::test::runProgram(self, {"--measure", std::to_string(runs)}, {}, std::chrono::seconds(120));
  std::vector<double> ms;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("show_ms=", 0) == 0) ms.push_back(std::atof(line.c_str() + 8));
  }
  if (ms.empty()) {
    std::fprintf(stderr, "%s: no showing measured\n%s", desktop.c_str(), run.err.c_str());
    return false;
  }
  std::printf("show -> calibration screen full-screen and painted, %s, %zu showings\n", desktop.c_str(), ms.size());
  std::printf("  first %.1f ms, median %.1f ms, slowest %.1f ms\n", ms.front(), median(ms),
              *std::max_element(ms.begin(), ms.end()));
  std::printf("@figure calib_show.%s_ms %.3f\n", desktop.c_str(), median(ms));
  std::fflush(stdout);
  return true;
}

// The first socket in folder whose name starts with prefix; empty when there is none.
std::string socketIn(const fs::path& folder, const std::string& prefix) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0 && entry.is_socket(ec)) return entry.path();
  }
  return {};
}

// The measuring program on sway's headless desktop, as a Wayland client of its own.
bool runOnWayland(int runs) {
  std::string folder = "/tmp/qvcw-XXXXXX";
  if (!mkdtemp(folder.data())) return false;
  // The compositor may run as another user (never as root): it must reach its folder.
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const fs::path runtime = fs::path(folder) / "run", client = fs::path(folder) / "client";
  bool ok = false;
  {
    // Its chatter is not the figures'.
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    qv::test::ChildProcess compositor(QV_BENCH_SOURCE_DIR "/scripts/headless-sway", {runtime.string()}, quiet);
    if (quiet >= 0) ::close(quiet);
    std::string display;
    for (int i = 0; i < 200 && (display.empty() || socketIn(runtime, "sway-ipc.").empty()); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      display = socketIn(runtime, "wayland-");
    }
    if (display.empty()) {
      std::fprintf(stderr, "sway did not start (scripts/setup installs sway)\n");
    } else {
      fs::create_directory(client);
      fs::permissions(client, fs::perms::owner_all);
      setenv("WAYLAND_DISPLAY", display.c_str(), 1);
      setenv("XDG_RUNTIME_DIR", client.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "wayland", 1);
      unsetenv("DISPLAY");
      ok = runOn("wayland", runs);
    }
  }
  fs::remove_all(folder);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--measure") == 0) return measure(argc, argv, std::max(1, std::atoi(argv[2])));
  int runs = 10;
  bool bare = true, wm = true, wayland = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "bare") == 0) {
      wm = wayland = false;
    } else if (std::strcmp(argv[i], "wm") == 0) {
      bare = wayland = false;
    } else if (std::strcmp(argv[i], "wayland") == 0) {
      bare = wm = false;
    } else if (std::atoi(argv[i]) > 0) {
      runs = std::atoi(argv[i]);
    } else {
      std::fprintf(stderr, "usage: calib_show_bench [runs] [bare|wm|wayland] | --measure runs\n");
      return 2;
    }
  }
  // A private machine root: the screen reads nothing from it while it is only shown.
  std::string root = "/tmp/qvcs-XXXXXX";
  if (!mkdtemp(root.data())) return 1;
  setenv("QUORVANE_HOME", root.c_str(), 1);
  setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
  bool ok = true;
  for (const char* desktop : {"bare", "wm"}) {
    if ((std::strcmp(desktop, "bare") == 0 && !bare) || (std::strcmp(desktop, "wm") == 0 && !wm)) continue;
    qv::bench::VirtualDisplay display("1024x768x24");
    if (!display.ready()) {
      std::fprintf(stderr, "Xvfb did not start\n");
      ok = false;
      continue;
    }
    display.useForQtPrograms();
    std::unique_ptr<qv::test::WindowManagerDesktop> windowManager;
    if (std::strcmp(desktop, "wm") == 0) {
      windowManager = std::make_unique<qv::test::WindowManagerDesktop>();
      if (!windowManager->problem().empty()) {
        std::fprintf(stderr, "%s\n", windowManager->problem().c_str());
        ok = false;
        continue;
      }
    }
    ok = runOn(desktop, runs) && ok;
  }
  // Last: it leaves the environment pointing at Wayland.
  if (wayland) ok = runOnWayland(runs) && ok;
  fs::remove_all(root);
  return ok ? 0 : 1;
}
