// WaitEvent on an eventfd: set writes to the counter, so the descriptor stays readable
// (signalled) until reset drains it.
#include "platform/serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

namespace qv::platform {

std::optional<WaitEvent> WaitEvent::create() {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return std::nullopt;
  return WaitEvent(fd);
}

WaitEvent::WaitEvent(WaitEvent&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

WaitEvent& WaitEvent::operator=(WaitEvent&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

WaitEvent::~WaitEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void WaitEvent::set() const {
  const std::uint64_t one = 1;
  // A full counter (never reached in practice) still leaves the event readable.
  [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

void WaitEvent::reset() const {
  std::uint64_t value = 0;
  [[maybe_unused]] const auto taken = ::read(fd_, &value, sizeof value);
}

bool WaitEvent::isSet() const {
  pollfd fd{fd_, POLLIN, 0};
  return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN);
}

int waitForAny(std::span<const WaitEvent* const> events) {
  std::vector<pollfd> fds;
  fds.reserve(events.size());
  for (const WaitEvent* event : events) fds.push_back({event->nativeHandle(), POLLIN, 0});
  for (;;) {
    const int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return -1;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents & POLLIN) return static_cast<int>(i);
      if (fds[i].revents & (POLLNVAL | POLLERR)) return -1;
    }
  }
}

}  // namespace qv::platform
