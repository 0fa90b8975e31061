#include "platform/posix/socket_device_io.h"

#include "platform/machine_root.h"
#include "platform/little_endian.h"
#include "platform/posix/unix_socket.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace qv::platform {

namespace {

class SocketDeviceHandle : public DeviceHandle {
public:
  SocketDeviceHandle(UniqueFd fd, std::chrono::milliseconds timeout) : fd_(std::move(fd)), timeout_(timeout) {}

  bool control(std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    return controlFilled(code, in, out).has_value();
  }

  std::optional<std::size_t> controlFilled(std::uint32_t code, std::span<const std::uint8_t> in,
                                           std::span<std::uint8_t> out) override {
    if (failed_) return std::nullopt;  // a request on this connection failed before
    const auto deadline = SocketClock::now() + timeout_;

    std::vector<std::uint8_t> frame(12 + in.size());
    putLe32(&frame[0], code);
    putLe32(&frame[4], static_cast<std::uint32_t>(in.size()));
    putLe32(&frame[8], static_cast<std::uint32_t>(out.size()));
    if (!in.empty()) std::memcpy(&frame[12], in.data(), in.size());

    std::uint8_t header[8];
    if (!sendAll(fd_.get(), frame.data(), frame.size(), deadline) ||
        receiveExactly(fd_.get(), header, sizeof header, deadline) != ReceiveResult::Done) {
      return broken();
    }
    const std::uint32_t ok = getLe32(&header[0]);
    const std::uint32_t n = getLe32(&header[4]);
    if (n > out.size()) return broken();  // would overrun the caller's record
    // Received into a buffer first, so a reply cut off half-way leaves out untouched.
    std::vector<std::uint8_t> reply(n);
    if (n > 0 && receiveExactly(fd_.get(), reply.data(), n, deadline) != ReceiveResult::Done) {
      return broken();
    }
    std::copy(reply.begin(), reply.end(), out.begin());
    if (ok != 1) return std::nullopt;
    return std::size_t{n};
  }

  void shutdown() override { ::shutdown(fd_.get(), SHUT_RDWR); }

private:
  std::optional<std::size_t> broken() {
    // After a lost or garbled reply the stream position is unknown: nothing more can be
    // read on it reliably, so the connection ends here. The descriptor itself stays until
    // the handle goes, so that shutdown from another thread never meets a reused number.
    failed_ = true;
    shutdown();
    return std::nullopt;
  }

  const UniqueFd fd_;
  std::chrono::milliseconds timeout_;
  bool failed_ = false;  // on the requesting thread only
};

}  // namespace

std::unique_ptr<DeviceHandle> SocketDeviceIo::open(const std::filesystem::path& device) {
  return open(device, nullptr);
}

std::unique_ptr<DeviceHandle> SocketDeviceIo::open(const std::filesystem::path& device, std::string* why) {
  if (auto problem = socketPathProblem(device)) {
    if (why) *why = std::move(*problem);
    return nullptr;
  }
  // A blocking connect, bounded by the reply timeout: a listener whose backlog is full
  // makes it wait, and a driver that never accepts must not hold the caller forever.
  // Requests wait by polling, so the socket's blocking mode matters only here.
  UniqueFd fd = connectUnixSocket(device, timeout_);
  if (!fd) {
    if (why) *why = "Cannot connect to " + device.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<SocketDeviceHandle>(std::move(fd), timeout_);
}

}  // namespace qv::platform
