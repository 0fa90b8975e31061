#pragma once
// A Wayland desktop without a screen: sway's headless backend (scripts/headless-sway, as an
// unprivileged user when the roads run as root) with one 1024 x 768 monitor at (0, 0).
// Clients reach it through the environment the Road sets from display() and
// controlSocket(); the compositor ends and its runtime folder goes with the object.
#include "support/child_process.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qv::e2e {

// A window of the compositor's tree: its client area in desktop coordinates.
struct WaylandView {
  long long id = 0;
  std::string title;
  int pid = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool fullScreen = false;
  bool visible = false;  // drawn now: not behind a full-screen window, on a shown workspace
  std::string output;
};

// A monitor of the desktop.
struct WaylandOutput {
  std::string name;
  int x = 0, y = 0, width = 0, height = 0;
};

class WaylandDesktop {
public:
  static constexpr int kWidth = 1024, kHeight = 768;
  // Starts the compositor; its messages go to log.
  WaylandDesktop(const std::filesystem::path& log, std::chrono::milliseconds limit);
  ~WaylandDesktop();
  WaylandDesktop(const WaylandDesktop&) = delete;
  WaylandDesktop& operator=(const WaylandDesktop&) = delete;

  // Why the desktop did not come up; empty when it did.
  const std::string& problem() const { return problem_; }
  // The absolute paths of the compositor's socket (WAYLAND_DISPLAY) and of its control
  // socket (SWAYSOCK).
  const std::string& display() const { return display_; }
  const std::string& controlSocket() const { return controlSocket_; }

  // Runs one control command (swaymsg); whether the compositor did it.
  bool command(const std::string& text) const;
  std::vector<WaylandView> views() const;
  std::vector<WaylandOutput> outputs() const;

private:
  std::filesystem::path folder_;
  std::unique_ptr<test::ChildProcess> compositor_;
  std::string display_, controlSocket_, problem_;
};

// Keys as the roads name them ("Escape", "alt+c", "ctrl+Tab alt+c": chords in turn) as
// wtype arguments, after a pause in which the compositor gives its new virtual keyboard to
// the focused window. Chords typed in one run share one keyboard: a modifier of a keyboard
// that went away can still count as held when the next one types.
std::vector<std::string> wtypeArguments(const std::string& keys);

}  // namespace qv::e2e
