#include "wayland_desktop.h"

#include "support/private_root.h"
#include "support/program_run.h"
#include "support/wait_for.h"

#include <fcntl.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <sstream>

namespace qv::e2e {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSwaymsg = "/usr/bin/swaymsg";

// The first entry of folder whose name starts with prefix and that is a socket.
std::string socketIn(const fs::path& folder, const std::string& prefix) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().filename().string().starts_with(prefix) && entry.is_socket(ec)) return entry.path();
  }
  return {};
}

int number(const QJsonObject& object, const char* name) { return object.value(QLatin1String(name)).toInt(); }

// Collects the views (nodes with a client) below node; output is the monitor node lies on.
void collectViews(const QJsonObject& node, std::string output, std::vector<WaylandView>& views) {
  if (node.value(QLatin1String("type")).toString() == QLatin1String("output")) {
    output = node.value(QLatin1String("name")).toString().toStdString();
  }
  if (node.contains(QLatin1String("pid"))) {
    // rect is the container's (borders and title included); window_rect the client's in it.
    const QJsonObject rect = node.value(QLatin1String("rect")).toObject();
    const QJsonObject client = node.value(QLatin1String("window_rect")).toObject();
    views.push_back(WaylandView{static_cast<long long>(node.value(QLatin1String("id")).toDouble()),
                                node.value(QLatin1String("name")).toString().toStdString(),
                                number(node, "pid"),
                                number(rect, "x") + number(client, "x"),
                                number(rect, "y") + number(client, "y"),
                                number(client, "width"),
                                number(client, "height"),
                                number(node, "fullscreen_mode") != 0,
                                node.value(QLatin1String("visible")).toBool(),
                                output});
  }
  for (const char* children : {"nodes", "floating_nodes"}) {
    for (const auto child : node.value(QLatin1String(children)).toArray()) {
      collectViews(child.toObject(), output, views);
    }
  }
}

}  // namespace

WaylandDesktop::WaylandDesktop(const fs::path& log, std::chrono::milliseconds limit) {
  if (!fs::exists(kSwaymsg)) {
    problem_ = "swaymsg is missing: scripts/setup installs sway";
    return;
  }
  // The compositor's user must reach its runtime folder: a folder of its own in /tmp
  // (the machine root is private to the test's user).
  std::string pattern = "/tmp/qvw-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    problem_ = "mkdtemp failed";
    return;
  }
  folder_ = pattern;
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const fs::path runtime = folder_ / "run";
  const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  compositor_ = std::make_unique<test::ChildProcess>(QV_SOURCE_DIR "/scripts/headless-sway",
                                                     std::vector<std::string>{runtime.string()}, out);
  if (out >= 0) ::close(out);
  const bool up = test::waitFor(
      [&] {
        display_ = socketIn(runtime, "wayland-");
        controlSocket_ = socketIn(runtime, "sway-ipc.");
        return (!display_.empty() && !controlSocket_.empty() && !outputs().empty()) ||
               compositor_->waitExit(std::chrono::milliseconds(0)).has_value();
      },
      limit);
  if (!up || outputs().empty()) problem_ = "sway did not start: " + test::readFile(log);
}

WaylandDesktop::~WaylandDesktop() {
  compositor_.reset();
  std::error_code ec;
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

bool WaylandDesktop::command(const std::string& text) const {
  const auto done = test::runProgram(kSwaymsg, {text}, {{"SWAYSOCK", controlSocket_}});
  return done.status == 0 && done.out.find("\"success\": false") == std::string::npos;
}

std::vector<WaylandView> WaylandDesktop::views() const {
  const auto tree = test::runProgram(kSwaymsg, {"-r", "-t", "get_tree"}, {{"SWAYSOCK", controlSocket_}});
  std::vector<WaylandView> found;
  collectViews(QJsonDocument::fromJson(QByteArray::fromStdString(tree.out)).object(), {}, found);
  return found;
}

std::vector<WaylandOutput> WaylandDesktop::outputs() const {
  if (controlSocket_.empty()) return {};
  const auto shown = test::runProgram(kSwaymsg, {"-r", "-t", "get_outputs"}, {{"SWAYSOCK", controlSocket_}});
  std::vector<WaylandOutput> found;
  for (const auto entry : QJsonDocument::fromJson(QByteArray::fromStdString(shown.out)).array()) {
    const QJsonObject rect = entry.toObject().value(QLatin1String("rect")).toObject();
    found.push_back(WaylandOutput{entry.toObject().value(QLatin1String("name")).toString().toStdString(),
                                  number(rect, "x"), number(rect, "y"), number(rect, "width"), number(rect, "height")});
  }
  return found;
}

std::vector<std::string> wtypeArguments(const std::string& keys) {
  std::vector<std::string> args{"-s", "500"};
  std::istringstream chords(keys);
  for (std::string chord; chords >> chord;) {
    std::vector<std::string> parts;
    std::istringstream split(chord);
    for (std::string part; std::getline(split, part, '+');) parts.push_back(part);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) args.insert(args.end(), {"-M", parts[i]});
    args.insert(args.end(), {"-k", parts.back()});
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) args.insert(args.end(), {"-m", parts[i]});
  }
  return args;
}

}  // namespace qv::e2e
