#include "sway_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace qv::tools {

namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeaderSize = kMagic.size() + 8;
// sway answers at once; far longer means it is stuck.
constexpr std::chrono::milliseconds kAnswerTime{3000};

using Clock = std::chrono::steady_clock;

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Waits until fd is ready for events or the deadline passed; false when it passed.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) throw SwayIpcError(systemError("waiting for sway's IPC"));
  }
}

// Reads exactly size bytes; started tells whether a message was already under way.
void readExactly(int fd, char* out, std::size_t size, Clock::time_point deadline, bool started,
                 std::chrono::milliseconds timeout) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::recv(fd, out + got, size - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      started = true;
    } else if (n == 0) {
      throw SwayIpcError(started ? "a message from sway's IPC ends early" : "sway closed its IPC connection");
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!waitFor(fd, POLLIN, deadline)) {
        throw SwayIpcError("sway's IPC gave no whole message within " + std::to_string(timeout.count()) + " ms");
      }
    } else if (errno != EINTR) {
      throw SwayIpcError(systemError("reading from sway's IPC"));
    }
  }
}

std::uint32_t word(const char* at) {
  std::uint32_t v = 0;
  std::memcpy(&v, at, sizeof v);
  return v;
}

}  // namespace

std::string swayMessageBytes(std::uint32_t type, std::string_view payload) {
  std::string bytes(kMagic);
  const auto length = static_cast<std::uint32_t>(payload.size());
  bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
  bytes.append(reinterpret_cast<const char*>(&type), sizeof type);
  bytes.append(payload);
  return bytes;
}

SwayMessage readSwayMessage(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  char header[kHeaderSize];
  readExactly(fd, header, kHeaderSize, deadline, false, timeout);
  if (std::string_view(header, kMagic.size()) != kMagic) {
    throw SwayIpcError("sway's IPC sent a message without the \"i3-ipc\" mark");
  }
  const std::uint32_t length = word(header + kMagic.size());
  if (length > sway::kMaxPayload) {
    throw SwayIpcError("sway's IPC sent a message of " + std::to_string(length) + " bytes, over the " +
                       std::to_string(sway::kMaxPayload) + " taken");
  }
  SwayMessage message;
  message.type = word(header + kMagic.size() + 4);
  message.payload.resize(length);
  readExactly(fd, message.payload.data(), length, deadline, true, timeout);
  return message;
}

SwayIpc::SwayIpc(const std::string& socketPath) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (!fd_) throw SwayIpcError(systemError("no socket for sway's IPC"));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
    throw SwayIpcError("SWAYSOCK names no usable socket: \"" + socketPath + "\"");
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw SwayIpcError(systemError("cannot reach sway's IPC at " + socketPath));
  }
}

std::string SwayIpc::request(std::uint32_t type, std::string_view payload) {
  send(type, payload);
  SwayMessage reply = next();
  if (reply.type != type) {
    throw SwayIpcError("sway's IPC answered message " + std::to_string(type) + " with one of type " +
                       std::to_string(reply.type));
  }
  return std::move(reply.payload);
}

void SwayIpc::send(std::uint32_t type, std::string_view payload) {
  const std::string bytes = swayMessageBytes(type, payload);
  const auto deadline = Clock::now() + kAnswerTime;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!waitFor(fd_.get(), POLLOUT, deadline)) throw SwayIpcError("sway's IPC takes no message");
    } else if (errno != EINTR) {
      throw SwayIpcError(systemError("writing to sway's IPC"));
    }
  }
}

SwayMessage SwayIpc::next() { return readSwayMessage(fd_.get(), kAnswerTime); }

}  // namespace qv::tools
