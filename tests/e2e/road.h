#pragma once
// The shared launcher of the whole-program roads: a private machine root made from the
// demo profile, a private desktop (an X server, Xvfb, bare or with a window manager and a
// bar), the helper programs the road needs, the real panel, and real keyboard and pointer
// input through xdotool. Everything started here is stopped when the Road ends, also when
// a road fails half-way.
#include "platform/screen_area.h"
#include "support/child_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"
#include "support/window_manager_desktop.h"
#include "wayland_desktop.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qv::e2e {

// A deadline stretched for slow builds: QV_E2E_TIME_SCALE, else 8 under the thread
// sanitizer and 1 otherwise.
std::chrono::milliseconds scaled(std::chrono::milliseconds limit);

// The desktop a road runs on.
enum class Desktop {
  Bare,           // Xvfb alone: a window gets the place it asks for
  WindowManager,  // Xvfb with openbox and a tint2 bar along the bottom
  Wayland,        // sway, headless; keyboard input only (wtype), screenshots by grim
};
// "x11", "x11-wm", "wayland": for screenshots and test output.
std::string desktopName(Desktop desktop);
inline void PrintTo(Desktop desktop, std::ostream* out) { *out << desktopName(desktop); }
// The desktops a road runs on, and their names in a parameterised test's name.
inline constexpr Desktop kX11Desktops[] = {Desktop::Bare, Desktop::WindowManager};
struct DesktopTestName {
  template <class ParamInfo>
  std::string operator()(const ParamInfo& info) const {
    return info.param == Desktop::Wayland ? "Wayland" : info.param == Desktop::WindowManager ? "WindowManager" : "Bare";
  }
};

// A window on the virtual screen with the place of its client area on the screen (a window
// manager's frame lies around it).
struct Window {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0;
  bool fullScreen = false;  // known on Wayland only
};

// Runs xdotool with args; its output.
std::string xdotool(const std::vector<std::string>& args);
// Pointer input: a left click, a double click, a press-move-release drag.
void clickAt(int x, int y);
void doubleClickAt(int x, int y);
void dragFromTo(int x1, int y1, int x2, int y2);
// Keyboard input (xdotool key names, e.g. "Return", "Escape", "alt+d") to the window.
void keyTo(const Window& window, const std::string& keys);

// Sets an environment variable while it lives; the old value comes back afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

// A private X server on a display it picks itself (-displayfd).
class VirtualDisplay {
public:
  static constexpr int kWidth = 1024, kHeight = 768;
  explicit VirtualDisplay(const std::filesystem::path& dir);
  // ":N"; empty when the server did not come up.
  const std::string& name() const { return name_; }

private:
  std::filesystem::path output_;
  std::unique_ptr<test::ChildProcess> server_;
  std::string name_;
};

class Road {
public:
  // A fresh machine root from share/demo/machine.reg (through qv-make-machine), the
  // restart recorder, and the desktop; name prefixes the road's screenshots.
  explicit Road(std::string name, Desktop desktop = Desktop::Bare);
  ~Road();
  Road(const Road&) = delete;
  Road& operator=(const Road&) = delete;

  // Why the road cannot run (no desktop, no machine); empty when it can.
  const std::string& problem() const { return problem_; }
  // The one monitor of the desktop, all of it.
  static platform::ScreenRect monitor() { return {0, 0, VirtualDisplay::kWidth, VirtualDisplay::kHeight}; }
  const std::filesystem::path& root() const { return root_.path(); }

  // Replaces values in the store with the text of a .reg file (keys and values merged).
  void storeImport(const std::string& regText);
  // qv-driverd as loaded at boot (--init-at-start) with options.
  bool startDriverd(std::vector<std::string> options = {});
  void stopDriverd();
  bool startMonitor();
  // qv-controller-sim playing model on the pseudo-terminal linked as dev/<port>.
  bool startController(const std::string& port, const std::string& model);
  test::ChildProcess& startPanel(std::vector<std::string> args = {});
  test::ChildProcess& panel() { return *panel_; }

  // The first visible window titled exactly title, once it shows within limit (scaled).
  std::optional<Window> waitWindow(const std::string& title, std::chrono::milliseconds limit = std::chrono::seconds(20));
  // True when no visible window is titled title within limit (scaled).
  bool waitNoWindow(const std::string& title, std::chrono::milliseconds limit = std::chrono::seconds(20));
  // The visible windows of the panel process.
  std::vector<Window> panelWindows() const;

  // A screenshot of the whole screen into $QV_SCREENSHOTS/<road>-<what>.png when it is set
  // (<road>-<what>-<desktop>.png on a desktop other than the bare one).
  void shoot(const std::string& what) const;

  // The pixels of a part of the screen, row by row, 3 bytes (red, green, blue) each.
  std::string screenArea(int x, int y, int width, int height) const;

  std::string driverLog() const { return test::readFile(root() / "driverd.log"); }
  std::string monitorLog() const { return test::readFile(root() / "monitor.log"); }
  std::string restarts() const { return test::readFile(root() / "restarts"); }
  // Keys (xdotool's names, e.g. "Escape", "alt+c", "ctrl+Tab alt+c") to the focused window.
  void keys(const std::string& keys) const;
  // The Wayland desktop (nullptr on X11).
  const WaylandDesktop* wayland() const { return wayland_.get(); }

  // A value of the store as qv-reg prints it; empty when it is missing.
  std::string storeValue(const std::string& key, const std::string& name) const;
  // qv-driverctl state.
  std::string driverState() const;

private:
  void startWayland();

  std::string name_;
  Desktop desktop_;
  std::string problem_;
  test::PrivateRoot root_;
  std::unique_ptr<VirtualDisplay> display_;
  std::unique_ptr<test::WindowManagerDesktop> windowManager_;
  std::unique_ptr<WaylandDesktop> wayland_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::unique_ptr<test::DriverdProcess> driverd_;
  std::vector<std::unique_ptr<test::ChildProcess>> helpers_;
  std::unique_ptr<test::ChildProcess> panel_;
};

// Presses keys on window until the panel ends (a key that came before the window took
// input is pressed again); the panel's exit status, nullopt when it did not end.
std::optional<int> pressUntilEnded(Road& road, const Window& window, const std::string& keys);

// Occurrences of what in text.
std::size_t countOf(const std::string& text, const std::string& what);

}  // namespace qv::e2e
