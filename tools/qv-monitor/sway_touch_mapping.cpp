#include "sway_touch_mapping.h"

#include "calibration/calibrating_monitor.h"
#include "calibration/libinput_matrix.h"
#include "calibration/monitor_matching.h"
#include "stored_monitor.h"
#include "settings/monitor_values.h"
#include "sway_ipc.h"
#include "sway_replies.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace qv::tools {

namespace {

// The driver's pointer device, as qv-driverd makes it.
constexpr const char* kTouchScreenName = "Quorvane Touch Screen";
constexpr std::uint16_t kTouchScreenVendor = 0x5156;
constexpr std::uint16_t kTouchScreenProduct = 0x5453;

// Whether the desktop turns a mapped touch device's positions with its output's transform
// itself. sway 1.7 does (wlroots turns the touches of a device mapped to an output with
// that output's transform), so the matrix stays the identity and nothing is turned twice;
// the identity is still sent, in place of any matrix set earlier. A desktop that left the
// turning to the device would take the output's rotation as its calibration matrix.
constexpr bool kDesktopTurnsMappedTouches = true;

// Without output events (sway before 1.9) the outputs are asked for this often, so that a
// monitor turned or moved is followed; plugging one is seen at once by its workspaces.
constexpr int kOutputPollMs = 500;
// How long to wait before reaching the IPC again after it failed.
constexpr int kRetryMs = 5000;

using Matrix = std::array<float, 6>;
constexpr Matrix kIdentity{1, 0, 0, 0, 1, 0};

struct Mapping {
  std::string output;  // a connector, or "*" for the whole desktop
  Matrix matrix = kIdentity;
  bool operator==(const Mapping&) const = default;
};


bool sameMonitors(const std::vector<calibration::DesktopMonitor>& a, const std::vector<calibration::DesktopMonitor>& b) {
  auto fields = [](const calibration::DesktopMonitor& m) {
    return std::tie(m.connector, m.maker, m.model, m.serial, m.left, m.top, m.width, m.height, m.rotation);
  };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fields(a[i]) != fields(b[i])) return false;
  }
  return true;
}

std::string number(float v) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return error == std::errc{} ? std::string(buffer, end) : "0";
}

class Mapper {
public:
  explicit Mapper(Say say) : say_(std::move(say)) {}

  // Maps from the store and the desktop now. Unless forced, only when the outputs changed
  // since the last time: the outputs are asked for often, the store only then.
  void apply(SwayIpc& ipc, bool force) {
    const auto monitors = swayMonitors(ipc.request(sway::kGetOutputs));
    if (!force && seen_ && sameMonitors(*seen_, monitors)) return;
    seen_ = monitors;

    auto read = readStoredMonitor();
    if (const auto* failure = std::get_if<std::string>(&read)) {
      sayOnce(*failure);
      return;
    }
    settings::CalibratedMonitor stored = std::get<settings::CalibratedMonitor>(read);
    const auto device = swayInput(ipc.request(sway::kGetInputs), kTouchScreenName);
    // A device not there yet is named as it will be: sway keeps the setting and applies it
    // when the device comes.
    const std::string identifier =
        device ? device->identifier : swayInputIdentifier(kTouchScreenVendor, kTouchScreenProduct, kTouchScreenName);

    // While the calibration screen is shown, its monitor; the mapping before it is kept,
    // to be put back when the screen closes with no monitor stored. sway does not tell a
    // device's output: the one set here last, else the whole desktop.
    const auto calibrating = calibration::calibratingMonitor();
    if (calibrating && !before_) {
      before_ = applied_ ? *applied_ : Mapping{"*", device && device->matrix ? *device->matrix : kIdentity};
    }
    if (!calibrating && before_ && !namesMonitor(stored)) {
      if (set(ipc, identifier, *before_)) sayOnce("touch screen: the calibration ended; its mapping is as it was");
      before_.reset();
      return;
    }
    if (!calibrating) before_.reset();
    stored = calibration::monitorToMap(stored, calibrating);
    auto candidates = monitors;
    // The panel learns no serial number from a Wayland desktop: a monitor stored without
    // one is known by its model (and connector) alone.
    if (stored.serial.empty()) {
      for (auto& m : candidates) m.serial.clear();
    }
    const auto found = calibration::findCalibratedMonitor(stored, candidates);
    Mapping mapping{"*", kIdentity};
    std::string outcome;
    if (found) {
      const calibration::DesktopMonitor& m = monitors[*found];
      mapping.output = m.connector;
      if (!kDesktopTurnsMappedTouches) mapping.matrix = calibration::libinputRotationMatrix(m.rotation);
      outcome = mappedLine(m);
    } else if (!namesMonitor(stored)) {
      // Nothing to keep it on: a mapping the user made stays.
      sayOnce("touch screen: no monitor calibrated yet; its mapping is left as it is");
      return;
    } else {
      outcome = "touch screen: its monitor " + (stored.connector.empty() ? stored.model : stored.connector) +
                " is not connected; touches span the whole desktop until it is";
    }
    if (!set(ipc, identifier, mapping)) return;
    sayOnce((calibrating ? "calibrating: " : "") + outcome +
            (device ? "" : " (the driver's device \"" + std::string(kTouchScreenName) +
                               "\" is not there yet; sway maps it so when it comes)"));
  }

  // The outputs are asked for anew at the next apply, whatever they are.
  void forget() { seen_.reset(); }

  void sayOnce(const std::string& line) {
    if (line == said_) return;
    said_ = line;
    say_(line);
  }

private:
  bool set(SwayIpc& ipc, const std::string& identifier, const Mapping& mapping) {
    const auto device = swayArgument(identifier);
    const auto output = mapping.output == "*" ? std::optional<std::string>("*") : swayArgument(mapping.output);
    if (!device || !output) {
      sayOnce("touch screen: sway names the device or the output with characters that cannot be passed on (" +
              identifier + ", " + mapping.output + "); its mapping is left as it is");
      return false;
    }
    std::string command = "input " + *device + " map_to_output " + *output + "; input " + *device + " calibration_matrix";
    for (const float v : mapping.matrix) command += " " + number(v);
    const std::string failure = swayCommandFailure(ipc.request(sway::kRunCommand, command));
    if (!failure.empty()) {
      sayOnce("touch screen: sway did not take the mapping (" + failure + ")");
      return false;
    }
    applied_ = mapping;
    return true;
  }

  Say say_;
  std::string said_;
  std::optional<std::vector<calibration::DesktopMonitor>> seen_;
  std::optional<Mapping> applied_;  // what was set here last
  std::optional<Mapping> before_;   // the mapping before the calibration screen took it
};

}  // namespace

SwayTouchMapping::SwayTouchMapping(std::string socketPath, Say say)
    : socketPath_(std::move(socketPath)), say_(std::move(say)) {}

SwayTouchMapping::~SwayTouchMapping() = default;  // the thread stops and joins first

void SwayTouchMapping::reapply() { thread_.wake(); }

namespace {

// Waits for fd or the wake eventfd, at most timeoutMs (-1: no limit); tells which woke.
struct Woken {
  bool fd = false;
  bool wake = false;
};
Woken waitForEither(int fd, MappingThread& thread, int timeoutMs) {
  pollfd fds[2] = {{thread.wakeFd(), POLLIN, 0}, {fd, POLLIN, 0}};
  const nfds_t count = fd < 0 ? 1 : 2;
  if (::poll(fds, count, timeoutMs) <= 0) return {};
  const Woken woken{count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0, (fds[0].revents & POLLIN) != 0};
  if (woken.wake) thread.clearWake();
  return woken;
}

}  // namespace

void SwayTouchMapping::run() {
  if (thread_.wakeFd() < 0) {
    say_("touch screen: no event descriptor; the desktop maps the touch screen itself");
    return;
  }
  Mapper mapper(say_);
  while (!thread_.stopping()) {
    try {
      SwayIpc requests(socketPath_);
      SwayIpc events(socketPath_);
      // An event list with one name the desktop does not know is refused whole: the output
      // event alone first.
      events.send(sway::kSubscribe, R"(["output"])");
      const bool outputEvents = swaySubscribed(events.next().payload);
      events.send(sway::kSubscribe, outputEvents ? R"(["input"])" : R"(["input","workspace"])");
      if (!swaySubscribed(events.next().payload)) throw SwayIpcError("sway refused to send its input events");
      mapper.forget();
      mapper.apply(requests, true);
      while (!thread_.stopping()) {
        const Woken woken = waitForEither(events.fd(), thread_, outputEvents ? -1 : kOutputPollMs);
        bool look = woken.wake || !woken.fd;  // a notification, or time to ask for the outputs
        bool force = woken.wake;
        if (woken.fd) {
          const SwayMessage event = events.next();
          if (event.type == sway::kShutdownEvent) throw SwayIpcError("sway is ending");
          if (event.type == sway::kInputEvent) {
            // Only the driver's device coming again matters; the changes made here come
            // back as events too and must not start another round.
            const SwayInputChange change = swayInputChange(event.payload);
            const bool ours = change.change == "added" && change.name == kTouchScreenName;
            look = look || ours;
            force = force || ours;
          } else {
            look = true;  // outputs or workspaces changed
          }
        }
        if (look && !thread_.stopping()) mapper.apply(requests, force);
      }
    } catch (const std::exception& e) {  // a desktop that misbehaves never ends the program
      mapper.sayOnce(std::string("touch screen: ") + e.what() + "; trying again in " +
                     std::to_string(kRetryMs / 1000) + " s");
    }
    if (!thread_.stopping()) waitForEither(-1, thread_, kRetryMs);
  }
}

}  // namespace qv::tools
