#include "platform/posix/unix_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv::platform {

bool unixSocketAddress(const std::filesystem::path& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string& native = path.native();
  if (native.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, native.data(), native.size());
  return true;
}

UniqueFd connectUnixSocket(const std::filesystem::path& path, std::chrono::milliseconds limit) {
  sockaddr_un addr;
  if (!unixSocketAddress(path, addr)) {
    errno = ENAMETOOLONG;
    return UniqueFd();
  }
  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!sock) return UniqueFd();
  const auto bound = std::max(limit, std::chrono::milliseconds(1));
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(bound);
  timeval tv{static_cast<time_t>(secs.count()),
             static_cast<suseconds_t>(std::chrono::duration_cast<std::chrono::microseconds>(bound - secs).count())};
  ::setsockopt(sock.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  int rc;
  do {
    rc = ::connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);  // a Unix connect that was interrupted has not happened
  if (rc != 0) {
    const int why = errno;  // closing the socket must not hide it
    sock.reset();
    errno = why;
    return UniqueFd();
  }
  return sock;
}

bool waitUntilReady(int fd, short events, SocketClock::time_point deadline, int stopFd) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SocketClock::now());
    if (left.count() < 0) return false;
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    // Round up so that a sub-millisecond remainder still waits instead of spinning.
    const int rc = ::poll(fds, stopFd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left.count() + 1, 60'000)));
    if (rc > 0) return !(stopFd >= 0 && fds[1].revents != 0);
    if (rc < 0 && errno != EINTR) return false;
    if (rc == 0 && SocketClock::now() >= deadline) return false;
  }
}

bool sendAll(int fd, const std::uint8_t* data, std::size_t size, SocketClock::time_point deadline,
             int stopFd) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitUntilReady(fd, POLLOUT, deadline, stopFd)) return false;
      continue;
    }
    return false;
  }
  return true;
}

ReceiveResult receiveExactly(int fd, std::uint8_t* data, std::size_t size,
                             SocketClock::time_point deadline, int stopFd) {
  std::size_t got = 0;
  while (got < size) {
    // Waiting first lets a signalled stop event win over bytes that are already there.
    if (!waitUntilReady(fd, POLLIN, deadline, stopFd)) return ReceiveResult::Broken;
    const ssize_t n = ::recv(fd, data + got, size - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return got == 0 ? ReceiveResult::Closed : ReceiveResult::Broken;
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    return ReceiveResult::Broken;
  }
  return ReceiveResult::Done;
}

int pollTimeoutUntil(SocketClock::time_point wakeAt, SocketClock::time_point now) {
  if (wakeAt == SocketClock::time_point::max()) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count();
  return static_cast<int>(std::clamp<long long>(left + 1, 0, 60'000));
}

}  // namespace qv::platform
