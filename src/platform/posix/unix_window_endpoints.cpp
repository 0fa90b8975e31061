#include "platform/posix/unix_window_endpoints.h"

#include "platform/machine_root.h"
#include "platform/little_endian.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_listener.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

namespace qv::platform {

namespace fs = std::filesystem;
using Clock = SocketClock;

namespace {

bool fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

}  // namespace

FrameBytes encodeFrame(const WindowMessage& msg, FrameMode mode) {
  FrameBytes out{};
  putLe32(out.data(), msg.message);
  putLe32(out.data() + 4, msg.wParam);
  putLe32(out.data() + 8, msg.lParam);
  putLe32(out.data() + 12, static_cast<std::uint32_t>(mode));
  return out;
}

std::optional<std::pair<WindowMessage, FrameMode>> decodeFrame(const FrameBytes& bytes) {
  const std::uint32_t mode = getLe32(bytes.data() + 12);
  if (mode != static_cast<std::uint32_t>(FrameMode::Posted) &&
      mode != static_cast<std::uint32_t>(FrameMode::Sent)) {
    return std::nullopt;
  }
  WindowMessage msg{getLe32(bytes.data()), getLe32(bytes.data() + 4), getLe32(bytes.data() + 8)};
  return std::pair{msg, static_cast<FrameMode>(mode)};
}

std::string escapeEndpointPart(std::string_view part) {
  std::string out;
  out.reserve(part.size());
  for (const char c : part) {
    switch (c) {
      case '%': out += "%25"; break;
      case '/': out += "%2F"; break;
      case '\0': out += "%00"; break;
      default: out += c;
    }
  }
  return out;
}

fs::path endpointPath(std::string_view className, std::string_view title) {
  return runDir() / (escapeEndpointPart(className) + "@" + escapeEndpointPart(title));
}

bool UnixWindowMessenger::windowExists(std::string_view className, std::string_view title) {
  return static_cast<bool>(connectUnixSocket(endpointPath(className, title), connectLimit()));
}

bool UnixWindowMessenger::post(std::string_view className, std::string_view title,
                               WindowMessage msg) {
  const UniqueFd sock = connectUnixSocket(endpointPath(className, title), connectLimit());
  if (!sock) return false;
  const FrameBytes frame = encodeFrame(msg, FrameMode::Posted);
  return sendAll(sock.get(), frame.data(), frame.size(), Clock::now() + sendLimit_);
}

std::optional<std::uint32_t> UnixWindowMessenger::send(std::string_view className,
                                                       std::string_view title, WindowMessage msg) {
  const auto deadline = Clock::now() + sendLimit_;
  const UniqueFd sock = connectUnixSocket(endpointPath(className, title), connectLimit());
  if (!sock) return std::nullopt;
  const FrameBytes frame = encodeFrame(msg, FrameMode::Sent);
  if (!sendAll(sock.get(), frame.data(), frame.size(), Clock::now() + sendLimit_)) return std::nullopt;
  std::uint8_t reply[4];
  if (receiveExactly(sock.get(), reply, sizeof reply, deadline) != ReceiveResult::Done) return std::nullopt;
  return getLe32(reply);
}

std::unique_ptr<WindowEndpoint> UnixWindowEndpointFactory::listen(std::string_view className,
                                                                  std::string_view title,
                                                                  EventLoop& loop,
                                                                  WindowEndpoint::Handler handler,
                                                                  std::string* error) {
  fs::path path;
  try {
    path = endpointPath(className, title);
  } catch (const std::exception& e) {
    fail(error, e.what());
    return nullptr;
  }
  if (auto problem = socketPathProblem(path)) {
    fail(error, *problem);
    return nullptr;
  }

  // Two programs starting the same window at once must not both judge the socket stale
  // and take it from each other: the check and the bind happen under a lock on the folder.
  const UniqueFd runFolder(::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!runFolder || ::flock(runFolder.get(), LOCK_EX) != 0) {
    fail(error, "Cannot lock " + path.parent_path().string() + ": " + std::strerror(errno));
    return nullptr;
  }

  struct stat existing{};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      fail(error, "Not a window endpoint, left alone: " + path.string());
      return nullptr;
    }
    if (connectUnixSocket(path, std::chrono::milliseconds(1000))) {
      fail(error, "Another window already listens on " + path.string());
      return nullptr;
    }
    ::unlink(path.c_str());  // stale: nobody answers on it
  }

  sockaddr_un addr;
  unixSocketAddress(path, addr);
  // Non-blocking: the listener takes every waiting connection and then goes back to poll.
  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!sock) {
    fail(error, std::string("Cannot create a socket: ") + std::strerror(errno));
    return nullptr;
  }
  if (::bind(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    fail(error, "Cannot listen on " + path.string() + ": " + std::strerror(errno));
    return nullptr;
  }
  struct stat identity{};
  if (::listen(sock.get(), SOMAXCONN) != 0 || ::lstat(path.c_str(), &identity) != 0) {
    fail(error, "Cannot listen on " + path.string() + ": " + std::strerror(errno));
    ::unlink(path.c_str());
    return nullptr;
  }
  auto endpoint = serveWindowEndpoint(path, std::move(sock), identity, loop, std::move(handler), error);
  if (!endpoint) ::unlink(path.c_str());
  return endpoint;
}

}  // namespace qv::platform
