#include "support/virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace qv::bench {

namespace {

constexpr const char* kServer = "/usr/bin/Xvfb";

// Reads the display number Xvfb writes to fd, up to its line end, within limit.
std::string readDisplayNumber(int fd, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::string text;
  while (text.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd in{fd, POLLIN, 0};
    const int r = ::poll(&in, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return {};
    char buf[32];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return {};  // the server ended without telling
    text.append(buf, static_cast<std::size_t>(n));
  }
  text.erase(text.find('\n'));
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos ? text : std::string{};
}

}  // namespace

VirtualDisplay::VirtualDisplay(const std::string& screen) {
  int report[2];
  if (::pipe(report) != 0) return;
  // Only the write end reaches the server; its other output goes nowhere.
  ::fcntl(report[0], F_SETFD, FD_CLOEXEC);
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  server_ = std::make_unique<test::ChildProcess>(
      kServer,
      std::vector<std::string>{"-displayfd", std::to_string(report[1]), "-screen", "0", screen, "-nolisten", "tcp",
                               "-noreset"},
      quiet);
  ::close(report[1]);
  if (quiet >= 0) ::close(quiet);
  const std::string number = server_->started() ? readDisplayNumber(report[0], std::chrono::seconds(15)) : "";
  ::close(report[0]);
  if (!number.empty()) name_ = ":" + number;
}

void VirtualDisplay::useForQtPrograms() const {
  ::setenv("DISPLAY", name_.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

}  // namespace qv::bench
