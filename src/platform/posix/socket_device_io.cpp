#include "platform/posix/socket_device_io.h"

#include "platform/machine_root.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace qv::platform {

namespace {

using Clock = std::chrono::steady_clock;

class UniqueFd {
public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_;
};

void putU32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// Waits until fd is ready for events or the deadline passes; signals do not cut it short.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) return false;
    // Round up so that a sub-millisecond remainder still waits instead of spinning.
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count() + 1, 60'000)));
    if (r > 0) return true;  // ready, or an error/hang-up the next call will report
    if (r < 0 && errno != EINTR) return false;
    if (r == 0 && Clock::now() >= deadline) return false;
  }
}

bool sendAll(int fd, const std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitFor(fd, POLLOUT, deadline)) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool receiveAll(int fd, std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return false;  // the driver closed the connection
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!waitFor(fd, POLLIN, deadline)) return false;
      continue;
    }
    return false;
  }
  return true;
}

class SocketDeviceHandle : public DeviceHandle {
public:
  SocketDeviceHandle(UniqueFd fd, std::chrono::milliseconds timeout) : fd_(std::move(fd)), timeout_(timeout) {}

  bool control(std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    if (!fd_) return false;  // a request on this connection failed before
    const auto deadline = Clock::now() + timeout_;

    std::vector<std::uint8_t> frame(12 + in.size());
    putU32(&frame[0], code);
    putU32(&frame[4], static_cast<std::uint32_t>(in.size()));
    putU32(&frame[8], static_cast<std::uint32_t>(out.size()));
    if (!in.empty()) std::memcpy(&frame[12], in.data(), in.size());

    std::uint8_t header[8];
    if (!sendAll(fd_.get(), frame.data(), frame.size(), deadline) ||
        !receiveAll(fd_.get(), header, sizeof header, deadline)) {
      return broken();
    }
    const std::uint32_t ok = getU32(&header[0]);
    const std::uint32_t n = getU32(&header[4]);
    if (n > out.size()) return broken();  // would overrun the caller's record
    // Received into a buffer first, so a reply cut off half-way leaves out untouched.
    std::vector<std::uint8_t> reply(n);
    if (n > 0 && !receiveAll(fd_.get(), reply.data(), n, deadline)) return broken();
    std::copy(reply.begin(), reply.end(), out.begin());
    return ok == 1;
  }

private:
  bool broken() {
    // After a lost or garbled reply the stream position is unknown: nothing more can be
    // read on it reliably, so the connection ends here.
    fd_.reset();
    return false;
  }

  UniqueFd fd_;
  std::chrono::milliseconds timeout_;
};

}  // namespace

std::unique_ptr<DeviceHandle> SocketDeviceIo::open(const std::filesystem::path& device) {
  if (socketPathProblem(device)) return nullptr;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, device.c_str(), device.native().size());

  // A blocking connect, bounded by the send timeout: a listener whose backlog is full
  // makes it wait, and a driver that never accepts must not hold the caller forever.
  // Requests use MSG_DONTWAIT and poll, so the socket's blocking mode matters only here.
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return nullptr;
  // A zero timeval would mean "wait forever".
  const auto limit = std::max(timeout_, std::chrono::milliseconds(1));
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(limit);
  timeval tv{static_cast<time_t>(secs.count()),
             static_cast<suseconds_t>(std::chrono::duration_cast<std::chrono::microseconds>(limit - secs).count())};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  int r;
  do {
    r = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  } while (r != 0 && errno == EINTR);  // a Unix connect that was interrupted has not happened
  if (r != 0) return nullptr;
  return std::make_unique<SocketDeviceHandle>(std::move(fd), timeout_);
}

}  // namespace qv::platform
