// qv-controller-sim: plays the touch-screen controller on a pseudo-terminal so that the
// panel's detection can find it and the driver gets its touches. See --help.
#include "cli/command_line.h"
#include "controller_model.h"
#include "platform/machine_root.h"
#include "touch_commands.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using qv::sim::ControllerOptions;

struct Line {
  int master = -1;
  int slave = -1;  // held so the line stays up while the panel has the port closed
  std::string slaveName;

  ~Line() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
};

bool openLine(Line& line) {
  line.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line.master < 0 || ::grantpt(line.master) != 0 || ::unlockpt(line.master) != 0) return false;
  char name[128] = {};
  if (::ptsname_r(line.master, name, sizeof name) != 0) return false;
  line.slaveName = name;
  line.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line.slave < 0) return false;
  // Raw from the start: no echo of what the controller sends before the panel sets the line.
  termios t{};
  ::tcgetattr(line.slave, &t);
  ::cfmakeraw(&t);
  ::cfsetspeed(&t, B9600);
  ::tcsetattr(line.slave, TCSANOW, &t);
  return true;
}

std::uint32_t lineBaudRate(int slave) {
  termios t{};
  if (::tcgetattr(slave, &t) != 0) return 0;
  switch (::cfgetospeed(&t)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
  }
}

void writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

// Waits, for at most a few seconds, until the panel has read everything written to the
// line: closing the master hangs the line up, and the kernel then discards what the
// panel has not read. A poll of the slave first hands over bytes still on their way to
// it, so "not readable" means "read by the panel". There is no event for the slave
// becoming empty, hence the short naps.
void waitUntilReadByPeer(const Line& line) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (;;) {
    pollfd unread{line.slave, POLLIN, 0};
    if (::poll(&unread, 1, 0) <= 0 || (unread.revents & POLLIN) == 0) return;
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char part[4];
  for (const auto b : bytes) {
    std::snprintf(part, sizeof part, "%02X ", b);
    text += part;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

// Touch commands on standard input, one a line. When the input ends the controller goes
// on answering; a line that is wrong is said on standard error and skipped.
class CommandInput {
public:
  // Standard input while it is open; -1 (which poll skips) once it has ended.
  int fd() const { return open_ ? STDIN_FILENO : -1; }

  template <typename OnLine>
  void read(OnLine onLine) {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      open_ = false;
      if (!pending_.empty() && !overlong_) onLine(pending_);
      pending_.clear();
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') {
        if (pending_.size() < kMaxLine) {
          pending_ += buffer[i];
        } else {
          overlong_ = true;
        }
        continue;
      }
      if (overlong_) {
        std::cerr << "qv-controller-sim: command line too long, skipped\n";
      } else {
        onLine(pending_);
      }
      pending_.clear();
      overlong_ = false;
    }
  }

private:
  static constexpr std::size_t kMaxLine = 256;
  std::string pending_;
  bool open_ = true;
  bool overlong_ = false;
};

// Reports waiting for their time on the line. Each takes its line time at the speed the
// driver set, so a report is written when its last byte would have arrived; the next one
// starts no earlier than that. While the pen is down the controller keeps reporting, one
// report after the other: the last pen-down report is repeated wherever the line is free.
class ReportLine {
public:
  using Clock = std::chrono::steady_clock;

  struct Due {
    qv::sim::Report bytes;
    bool repeated = false;  // a repeat of the held pen down
  };

  void schedule(const std::vector<qv::sim::TimedReport>& reports, std::uint32_t baudRate) {
    reportTime_ = qv::sim::lineTime(sizeof(qv::sim::Report), baudRate);
    for (const auto& report : reports) {
      const auto start = std::max(Clock::now(), lineFreeAt_ + report.after);
      lineFreeAt_ = start + qv::sim::lineTime(report.bytes.size(), baudRate);
      queue_.push_back({lineFreeAt_, report.bytes});
    }
  }

  // How long poll may wait before the next report is due; nullopt when none waits.
  std::optional<timespec> wait() const {
    const auto next = nextAt();
    if (!next) return std::nullopt;
    const auto left = std::max(Clock::duration::zero(), *next - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  }

  // The reports whose time has come, in order.
  std::vector<Due> due() {
    std::vector<Due> out;
    const auto now = Clock::now();
    for (;;) {
      const auto repeat = repeatAt();
      if (!queue_.empty() && queue_.front().writeAt <= now && (!repeat || queue_.front().writeAt <= *repeat)) {
        const qv::sim::Report bytes = queue_.front().bytes;
        held_ = bytes[0] == qv::driver::kPenDownHead ? std::optional(bytes) : std::nullopt;
        nextRepeat_ = queue_.front().writeAt + reportTime_;
        queue_.pop_front();
        out.push_back({bytes, false});
      } else if (repeat && *repeat <= now && out.size() < kMostAtOnce) {
        out.push_back({*held_, true});
        nextRepeat_ += reportTime_;
        lastRepeat_ = now;
      } else {
        break;
      }
    }
    // A line that fell behind (the machine was busy) goes on from now.
    if (held_ && nextRepeat_ < now) nextRepeat_ = now + reportTime_;
    return out;
  }

private:
  // Repeats leave a few milliseconds between writes at high speeds: the bytes are the same.
  static constexpr auto kLeastNap = std::chrono::milliseconds(2);
  static constexpr std::size_t kMostAtOnce = 64;

  // When the next repeat is written: while the pen is held, when it fits in before the
  // next report waiting.
  std::optional<Clock::time_point> repeatAt() const {
    if (!held_ || reportTime_ <= Clock::duration::zero()) return std::nullopt;
    if (!queue_.empty() && nextRepeat_ > queue_.front().writeAt - reportTime_) return std::nullopt;
    return nextRepeat_;
  }
  std::optional<Clock::time_point> nextAt() const {
    std::optional<Clock::time_point> next;
    if (!queue_.empty()) next = queue_.front().writeAt;
    if (const auto repeat = repeatAt()) {
      const auto at = std::max(*repeat, lastRepeat_ + kLeastNap);
      next = next ? std::min(*next, at) : at;
    }
    return next;
  }

  struct Scheduled {
    Clock::time_point writeAt;
    qv::sim::Report bytes;
  };
  std::deque<Scheduled> queue_;
  Clock::time_point lineFreeAt_{};
  Clock::duration reportTime_{};
  std::optional<qv::sim::Report> held_;  // the pen-down report last written, while the pen is down
  Clock::time_point nextRepeat_{};
  Clock::time_point lastRepeat_{};
};

// A report goes out only when the line takes it: bytes nobody reads are lost on a real
// line too, and the controller must not stall on them. Repeats of a held pen go unsaid.
void sendReport(int master, const ReportLine::Due& report) {
  const std::vector<std::uint8_t> bytes(report.bytes.begin(), report.bytes.end());
  pollfd room{master, POLLOUT, 0};
  if (::poll(&room, 1, 0) <= 0 || (room.revents & POLLOUT) == 0) {
    if (!report.repeated) std::cout << "report " << hex(bytes) << " lost: nobody reads the line" << std::endl;
    return;
  }
  writeAll(master, bytes);
  if (!report.repeated) {
    std::cout << "report " << hex(bytes) << ": " << qv::sim::describeReport(report.bytes) << std::endl;
  }
}

int run(const ControllerOptions& options) {
  // SIGTERM and SIGINT arrive as readable events, so the link is always removed.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  // Started in the background of an interactive shell, reading the terminal fails instead
  // of stopping the program; that ends its command input only.
  ::signal(SIGTTIN, SIG_IGN);
  const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signals < 0) {
    std::perror("qv-controller-sim: signalfd");
    return 1;
  }

  Line line;
  if (!openLine(line)) {
    std::perror("qv-controller-sim: cannot open a pseudo-terminal");
    return 1;
  }
  fs::path link;
  try {
    const fs::path dev = qv::platform::deviceDir();
    qv::platform::ensureDirectory(dev, 0700);
    link = dev / options.port;
  } catch (const std::exception& e) {
    std::cerr << "qv-controller-sim: " << e.what() << "\n";
    return 1;
  }
  std::error_code ec;
  const auto existing = fs::symlink_status(link, ec);
  if (fs::exists(existing)) {
    if (!fs::is_symlink(existing)) {
      std::cerr << "qv-controller-sim: " << link.string() << " exists and is no link\n";
      return 1;
    }
    if (fs::exists(link, ec)) {
      std::cerr << "qv-controller-sim: " << link.string() << " already leads to a live device\n";
      return 1;
    }
    fs::remove(link, ec);  // a dangling link left by a run that was killed
  }
  fs::create_symlink(line.slaveName, link, ec);
  if (ec) {
    std::cerr << "qv-controller-sim: cannot link " << link.string() << ": " << ec.message() << "\n";
    return 1;
  }
  std::cout << link.string() << " -> " << line.slaveName << std::endl;

  qv::sim::ProbeScanner scanner;
  qv::sim::TouchPlayer player;
  CommandInput commands;
  ReportLine reports;
  // The speed the driver set; a speed termios has no name for here counts as our own.
  const auto baudNow = [&] {
    const std::uint32_t baud = lineBaudRate(line.slave);
    return baud != 0 ? baud : options.baudRate;
  };
  int probes = 0;
  bool stop = false;
  while (!stop) {
    pollfd fds[3] = {{signals, POLLIN, 0}, {line.master, POLLIN, 0}, {commands.fd(), POLLIN, 0}};
    const auto wait = reports.wait();
    if (::ppoll(fds, 3, wait ? &*wait : nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) break;
    for (const auto& report : reports.due()) sendReport(line.master, report);
    if (fds[2].revents != 0) {
      commands.read([&](const std::string& text) {
        std::string error;
        const auto command = qv::sim::parseTouchCommand(text, error);
        if (command) reports.schedule(player.play(*command, error), baudNow());
        if (!error.empty()) std::cerr << "qv-controller-sim: " << error << ": " << text << "\n";
      });
    }
    if ((fds[1].revents & POLLIN) == 0) continue;
    std::uint8_t buffer[512];
    const ssize_t n = ::read(line.master, buffer, sizeof buffer);
    if (n <= 0) continue;
    for (const int probe : scanner.feed(buffer, static_cast<std::size_t>(n))) {
      ++probes;
      const std::uint32_t baud = lineBaudRate(line.slave);
      const auto reply = qv::sim::replyTo(options, probe, baud);
      std::cout << "probe " << probe << " at " << baud << " baud: "
                << (reply.empty() ? std::string("no answer") : "answered " + hex(reply)) << std::endl;
      if (!reply.empty()) {
        if (options.split && reply.size() > 1) {
          writeAll(line.master, {reply.front()});
          std::this_thread::sleep_for(std::chrono::milliseconds(250));
          writeAll(line.master, std::vector<std::uint8_t>(reply.begin() + 1, reply.end()));
        } else {
          writeAll(line.master, reply);
        }
      }
      if (options.hangupAfter > 0 && probes >= options.hangupAfter) {
        waitUntilReadByPeer(line);
        std::cout << "hanging up" << std::endl;
        stop = true;
        break;
      }
    }
  }
  fs::remove(link, ec);
  ::close(signals);
  return 0;  // Line closes both ends, which hangs the line up for the panel
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = qv::sim::usageText();
  if (auto status = qv::cli::answerHelpOrVersion({"qv-controller-sim", usage}, argc, argv)) return *status;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = qv::sim::parseArguments(args, error);
  if (!options) {
    std::cerr << "qv-controller-sim: " << error << "\n\n" << qv::sim::usageText();
    return 2;
  }
  if (options->help) {
    std::cout << qv::sim::usageText();
    return 0;
  }
  return run(*options);
}
