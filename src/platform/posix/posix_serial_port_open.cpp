// Port names, the exclusive open and the presence test.
#include "platform/machine_root.h"
#include "platform/posix/posix_serial_port.h"
#include "platform/user_identity.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

namespace qv::platform {

namespace {

// n of "COMn" for n >= 1, else 0.
unsigned comNumber(std::string_view name) {
  if (name.size() < 4 || name.substr(0, 3) != "COM") return 0;
  const std::string_view digits = name.substr(3);
  unsigned n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return 0;
  return n;
}

// Puts a freshly opened terminal into raw byte mode at its present speed, so that it
// neither echoes nor edits lines before (or when) line settings are refused.
void makeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  SerialLineState state;
  state.outX = state.inX = false;
  posix::readLineState(t, state);
  state.outX = state.inX = state.parityCheck = false;
  if (!posix::speedForBaud(state.baudRate)) state.baudRate = 9600;
  if (posix::applyLineState(t, state)) ::tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

std::optional<std::filesystem::path> serialDevicePath(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  const std::filesystem::path own = deviceDir() / std::string(name);
  const unsigned n = comNumber(name);
  if (n == 0 || privateMachine()) return own;
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(own, ec))) return own;
  return std::filesystem::path("/dev/ttyS" + std::to_string(n - 1));
}

namespace {

// The device path of name; nullopt also when the machine root cannot be made.
std::optional<std::filesystem::path> devicePathOrNothing(std::string_view name) {
  try {
    return serialDevicePath(name);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

SerialOpenResult openSerialPort(std::string_view name) {
  SerialOpenResult result;
  const auto path = devicePathOrNothing(name);
  if (!path) {
    result.reason = "not a port name of this machine";
    return result;
  }
  const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    result.reason = path->string() + ": " + (errno == EBUSY ? "held by another program" : std::strerror(errno));
    return result;
  }
  // Held by another opener of this or another program: not ours to use.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    result.reason = path->string() + ": held by another program";
    return result;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
    ::close(fd);
    result.status = SerialOpenStatus::NotCharDevice;
    result.reason = path->string() + ": not a serial device";
    return result;
  }
  if (::isatty(fd)) {
    ::ioctl(fd, TIOCEXCL);
    makeRaw(fd);
  }
  result.status = SerialOpenStatus::Ok;
  result.port = std::make_unique<posix::PosixSerialPort>(fd);
  return result;
}

SerialPortOpener systemSerialPortOpener() {
  return [](std::string_view name) { return openSerialPort(name); };
}

bool serialPortPresent(std::string_view name) {
  const auto path = devicePathOrNothing(name);
  if (!path) return false;
  const int fd = ::open(path->c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool present = ::isatty(fd) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return present;
}

std::string serialPortGroupNeeded(std::string_view name) {
  const auto path = devicePathOrNothing(name);
  if (!path || ::access(path->c_str(), R_OK | W_OK) == 0 || errno != EACCES) return {};
  struct stat info {};
  if (::stat(path->c_str(), &info) != 0) return {};
  return groupName(info.st_gid);
}

}  // namespace qv::platform
