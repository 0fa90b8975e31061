#include "road.h"

#include "platform/posix/unix_window_endpoints.h"
#include "support/program_run.h"
#include "support/wait_for.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace qv::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ChildProcess;
using test::waitFor;

namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr const char* kImport = "/usr/bin/import";
constexpr const char* kXwininfo = "/usr/bin/xwininfo";
constexpr const char* kWtype = "/usr/bin/wtype";
constexpr const char* kGrim = "/usr/bin/grim";

int timeScale();

// Runs a program to its end (a built program's name, or an absolute path).
test::ProgramRun run(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<test::EnvironmentChange>& environment = {}) {
  return test::runProgram(program, args, environment, std::chrono::seconds(60) * timeScale());
}

int timeScale() {
  if (const char* s = std::getenv("QV_E2E_TIME_SCALE"); s && std::atoi(s) > 0) return std::atoi(s);
#ifdef QV_E2E_SLOW_BUILD
  return 8;
#else
  return 1;
#endif
}

// "^text$" with the regular expression's special characters escaped, for xdotool search.
std::string exactly(const std::string& text) {
  std::string re = "^";
  for (char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) re += '\\';
    re += c;
  }
  return re + "$";
}

Window placeOf(const std::string& id) {
  // xwininfo, as xdotool counts the client's offset in a window manager's frame twice.
  const std::string info = run(kXwininfo, {"-id", id}).out;
  auto field = [&](const char* name) {
    std::smatch m;
    const std::regex re(std::string("\n *") + name + ": *(-?[0-9]+)");
    return std::regex_search(info, m, re) ? std::stoi(m[1]) : -1;
  };
  return Window{id, field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
}

std::vector<Window> windowsOf(const std::vector<std::string>& searchArgs) {
  std::vector<std::string> args{"search", "--onlyvisible"};
  args.insert(args.end(), searchArgs.begin(), searchArgs.end());
  std::vector<Window> found;
  std::istringstream ids(xdotool(args));
  for (std::string id; std::getline(ids, id);) {
    if (!id.empty()) found.push_back(placeOf(id));
  }
  return found;
}

// The shown windows of the Wayland desktop that keep accepts.
template <class Keep>
std::vector<Window> waylandWindows(const WaylandDesktop& desktop, Keep keep) {
  std::vector<Window> found;
  for (const auto& v : desktop.views()) {
    if (v.visible && keep(v)) found.push_back(Window{std::to_string(v.id), v.x, v.y, v.width, v.height, v.fullScreen});
  }
  return found;
}

}  // namespace

std::chrono::milliseconds scaled(std::chrono::milliseconds limit) { return limit * timeScale(); }

std::string desktopName(Desktop desktop) {
  return desktop == Desktop::Wayland ? "wayland" : desktop == Desktop::WindowManager ? "x11-wm" : "x11";
}

std::string xdotool(const std::vector<std::string>& args) {
  return run(kXdotool, args).out;
}

void clickAt(int x, int y) { xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"}); }

void doubleClickAt(int x, int y) {
  xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "--repeat", "2", "--delay", "80", "1"});
}

void dragFromTo(int x1, int y1, int x2, int y2) {
  // In steps, so that the program sees the pointer move with the button held.
  xdotool({"mousemove", std::to_string(x1), std::to_string(y1), "mousedown", "1"});
  for (int i = 1; i <= 8; ++i) {
    xdotool({"mousemove", std::to_string(x1 + (x2 - x1) * i / 8), std::to_string(y1 + (y2 - y1) * i / 8)});
  }
  xdotool({"mouseup", "1"});
}

void keyTo(const Window& window, const std::string& keys) {
  // Without a window manager the keyboard follows the pointer: rest it on the window and
  // give the window the focus, then type.
  xdotool({"mousemove", std::to_string(window.x + window.width / 2), std::to_string(window.y + 2)});
  xdotool({"windowfocus", "--sync", window.id});
  xdotool({"key", "--clearmodifiers", keys});
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_, old_->c_str(), 1);
  } else {
    ::unsetenv(name_);
  }
}

VirtualDisplay::VirtualDisplay(const fs::path& dir) : output_(dir / "xvfb.out") {
  // The number comes from this process's id rather than the lowest free one, so that
  // parallel roads seldom meet; a number in use makes the server end and the next try
  // takes another one.
  for (int attempt = 0; attempt < 5 && name_.empty(); ++attempt) {
    const std::string number = ":" + std::to_string(100 + (::getpid() * 7 + attempt * 131) % 800);
    server_.reset();
    const int fd = ::open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24";
    server_ = std::make_unique<ChildProcess>(
        kXvfb, std::vector<std::string>{number, "-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp",
                                        // no reset when the last client goes (xdotool's come and go)
                                        "-noreset"}, fd);
    ::close(fd);
    // The server writes its display's number once it accepts clients; one that ends
    // (the number is in use) writes none.
    std::string name;
    waitFor(
        [&] {
          std::istringstream lines(test::readFile(output_));
          for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) name = ":" + line;
          }
          return !name.empty() || server_->waitExit(std::chrono::milliseconds(0)).has_value();
        },
        scaled(20s));
    if (!name.empty() && run(kXdotool, {"getdisplaygeometry"}, {{"DISPLAY", name}}).status == 0) name_ = name;
  }
}

Road::Road(std::string name, Desktop desktop) : name_(std::move(name)), desktop_(desktop) {
  if (desktop_ == Desktop::Wayland && (!fs::exists(kWtype) || !fs::exists(kGrim))) {
    problem_ = "scripts/setup installs sway, wtype and grim";
    return;
  }
  if (desktop_ != Desktop::Wayland && (!fs::exists(kXvfb) || !fs::exists(kXdotool) || !fs::exists(kXwininfo))) {
    problem_ = "scripts/setup installs xvfb, xdotool and x11-utils";
    return;
  }
  if (const char* dir = std::getenv("QV_BIN_DIR"); !dir || !*dir) {
    env_.push_back(std::make_unique<ScopedEnv>("QV_BIN_DIR", fs::read_symlink("/proc/self/exe").parent_path()));
  }
  const fs::path source = QV_SOURCE_DIR;
  const auto made = run(source / "packaging/qv-make-machine",
                                     {"--programs", test::binDir().string(), "--profile", (source / "share/demo/machine.reg").string(),
                                      root().string()});
  if (made.status != 0) {
    problem_ = "qv-make-machine: " + made.err;
    return;
  }
  env_.push_back(std::make_unique<ScopedEnv>("QUORVANE_REBOOT_COMMAND", "echo restart >> '" + (root() / "restarts").string() + "'"));
  if (desktop_ == Desktop::Wayland) {
    startWayland();
    return;
  }
  display_ = std::make_unique<VirtualDisplay>(root());
  if (display_->name().empty()) {
    problem_ = "Xvfb did not start: " + test::readFile(root() / "xvfb.out");
    return;
  }
  env_.push_back(std::make_unique<ScopedEnv>("DISPLAY", display_->name()));
  env_.push_back(std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", "xcb"));
  if (desktop_ == Desktop::WindowManager) {
    windowManager_ = std::make_unique<test::WindowManagerDesktop>(scaled(20s));
    problem_ = windowManager_->problem();
  }
}

void Road::startWayland() {
  wayland_ = std::make_unique<WaylandDesktop>(root() / "sway.log", scaled(20s));
  problem_ = wayland_->problem();
  if (!problem_.empty()) return;
  // The clients' own runtime folder; the compositor's sockets are named by absolute path.
  const fs::path runtime = root() / "xdg";
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  env_.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", runtime.string()));
  env_.push_back(std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", wayland_->display()));
  env_.push_back(std::make_unique<ScopedEnv>("SWAYSOCK", wayland_->controlSocket()));
  env_.push_back(std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", "wayland"));
  // Nothing reaches an X server by chance.
  env_.push_back(std::make_unique<ScopedEnv>("DISPLAY", ""));
}

Road::~Road() {
  // The panel first, then the helpers it talks to, the display last.
  panel_.reset();
  helpers_.clear();
  driverd_.reset();
  windowManager_.reset();
  wayland_.reset();
  display_.reset();
  env_.clear();
}

void Road::storeImport(const std::string& regText) {
  const fs::path file = root() / "change.reg";
  std::ofstream(file) << regText;
  run("qv-reg", {"import", file.string()});
}

bool Road::startDriverd(std::vector<std::string> options) {
  // As the driver does when the machine boots: the store says it is loaded.
  options.insert(options.begin(), "--init-at-start");
  driverd_ = std::make_unique<test::DriverdProcess>(std::move(options));
  return driverd_->ready();
}

void Road::stopDriverd() {
  if (driverd_) driverd_->stop(SIGTERM);
}

bool Road::startMonitor() {
  helpers_.push_back(std::make_unique<ChildProcess>("qv-monitor"));
  platform::UnixWindowMessenger messenger;
  return waitFor([&] { return messenger.windowExists("TWatchForm", "Quorvane Monitor"); }, scaled(10s));
}

bool Road::startController(const std::string& port, const std::string& model) {
  helpers_.push_back(
      std::make_unique<ChildProcess>("qv-controller-sim", std::vector<std::string>{"--port", port, "--model", model}));
  return waitFor([&] { return fs::exists(root() / "dev" / port); }, scaled(10s));
}

ChildProcess& Road::startPanel(std::vector<std::string> args) {
  panel_ = std::make_unique<ChildProcess>("quorvane-panel", args, ChildProcess::Output::Inherit);
  return *panel_;
}

std::optional<Window> Road::waitWindow(const std::string& title, std::chrono::milliseconds limit) {
  std::optional<Window> found;
  waitFor(
      [&] {
        const auto titled = [&](const WaylandView& v) { return v.title == title; };
        for (const auto& w : wayland_ ? waylandWindows(*wayland_, titled) : windowsOf({"--name", exactly(title)})) {
          if (w.width > 1 && w.height > 1) found = w;
        }
        return found.has_value();
      },
      scaled(limit));
  return found;
}

bool Road::waitNoWindow(const std::string& title, std::chrono::milliseconds limit) {
  const auto titled = [&](const WaylandView& v) { return v.title == title; };
  return waitFor(
      [&] { return (wayland_ ? waylandWindows(*wayland_, titled) : windowsOf({"--name", exactly(title)})).empty(); },
      scaled(limit));
}

std::vector<Window> Road::panelWindows() const {
  if (!panel_ || panel_->pid() <= 0) return {};
  if (wayland_) return waylandWindows(*wayland_, [&](const WaylandView& v) { return v.pid == panel_->pid(); });
  return windowsOf({"--pid", std::to_string(panel_->pid())});
}

void Road::shoot(const std::string& what) const {
  const char* folder = std::getenv("QV_SCREENSHOTS");
  if (!folder || !*folder || !fs::exists(wayland_ ? kGrim : kImport)) return;
  fs::create_directories(folder);
  const std::string tag = desktop_ == Desktop::Bare ? "" : "-" + desktopName(desktop_);
  if (wayland_) {
    run(kGrim, {(fs::path(folder) / (name_ + "-" + what + tag + ".png")).string()});
    return;
  }
  run(kImport, {"-window", "root", (fs::path(folder) / (name_ + "-" + what + tag + ".png")).string()});
}

std::string Road::screenArea(int x, int y, int width, int height) const {
  const std::string area = std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" +
                           std::to_string(y);
  if (wayland_) {
    // A binary PPM: three header lines ("P6", the size, the largest value), then the pixels.
    const std::string region = std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
                               std::to_string(height);
    const std::string image = run(kGrim, {"-g", region, "-t", "ppm", "-"}).out;
    std::size_t at = std::string::npos;  // the search starts at npos + 1, the first byte
    for (int line = 0; line < 3; ++line) {
      if ((at = image.find('\n', at + 1)) == std::string::npos) return {};
    }
    return image.substr(at + 1);
  }
  return run(kImport, {"-window", "root", "-crop", area, "-depth", "8", "rgb:-"}).out;
}

std::string Road::storeValue(const std::string& key, const std::string& name) const {
  const auto query = run("qv-reg", {"query", key, name});
  if (query.status != 0) return {};
  // "    NAME    REG_TYPE    DATA" on the last line.
  std::smatch m;
  static const std::regex line("\\s+\\S+\\s+REG_[A-Z_]+ {4}(.*)\\n?$");
  return std::regex_search(query.out, m, line) ? m[1].str() : std::string{};
}

void Road::keys(const std::string& keys) const {
  if (wayland_) {
    run(kWtype, wtypeArguments(keys));
  } else {
    std::vector<std::string> args{"key", "--clearmodifiers"};
    std::istringstream chords(keys);
    for (std::string chord; chords >> chord;) args.push_back(chord);
    xdotool(args);
  }
}

std::string Road::driverState() const { return run("qv-driverctl", {"state"}).out; }

std::optional<int> pressUntilEnded(Road& road, const Window& window, const std::string& keys) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    keyTo(window, keys);
    if (auto status = road.panel().waitExit(scaled(10s))) return status;
  }
  return std::nullopt;
}

std::size_t countOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace qv::e2e
