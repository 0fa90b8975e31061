#include "support/driverd_process.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qv::test {

namespace {

using namespace std::chrono_literals;

// Where qv-driverd serves: --socket=PATH when given, else the machine root's device.
std::filesystem::path socketOf(const std::vector<std::string>& options) {
  const char* home = std::getenv("QUORVANE_HOME");
  std::filesystem::path socket = std::filesystem::path(home ? home : "") / "dev" / "QV.VXD";
  for (const auto& o : options) {
    if (o.starts_with("--socket=")) socket = o.substr(9);
  }
  return socket;
}

// The test machines have no controller: the driver plays the touch screen there, as it
// did before it read one, unless the options say which one it plays.
std::vector<std::string> playingTouchScreen(std::vector<std::string> options, bool playing) {
  if (!playing) return options;
  const bool said = std::any_of(options.begin(), options.end(), [](const std::string& o) { return o.starts_with("--true-limits"); });
  if (!said) options.insert(options.begin(), "--true-limits");
  return options;
}

}  // namespace

bool socketAnswers(const std::filesystem::path& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof addr.sun_path) return false;
  std::strcpy(addr.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

DriverdProcess::DriverdProcess(std::vector<std::string> options, bool playing)
    : process_("qv-driverd", playingTouchScreen(options, playing)), socket_(socketOf(options)) {
  if (!process_.started()) return;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (process_.waitExit(0ms)) return;  // it ended: never ready
    if (socketAnswers(socket_)) {
      ready_ = true;
      return;
    }
    std::this_thread::sleep_for(5ms);
  }
}

int runProgram(const std::string& name, const std::vector<std::string>& args, std::string* output) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  ChildProcess child(name, args, pipeFds[1]);
  ::close(pipeFds[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  if (!child.started()) return -1;
  if (output) *output = text;
  // Its output has ended; a program that then hangs is stopped by the child's end.
  return child.waitExit(60s).value_or(-1);
}

}  // namespace qv::test
