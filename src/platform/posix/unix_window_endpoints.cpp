#include "platform/posix/unix_window_endpoints.h"

#include "platform/machine_root.h"
#include "platform/posix/unix_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace qv::platform {

namespace fs = std::filesystem;
using Clock = SocketClock;

namespace {

// A reply the peer does not take within this time ends its connection, like a frame that
// does not arrive in time: one stalled peer must not hold up the others for long.
constexpr auto kReplySendLimit = kFrameReadLimit;

bool peerIsOwnUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == ::geteuid();
}

// What the listener thread and the work it posted to the loop thread share. The posted
// work holds it too, so it stays valid when the endpoint is gone before the work runs.
struct ListenerShared {
  explicit ListenerShared(WindowEndpoint::Handler h) : handler(std::move(h)) {}
  WindowEndpoint::Handler handler;
  std::atomic<bool> alive{true};
  std::mutex mutex;
  std::condition_variable changed;
  bool stopping = false;
};

// The answer to one sent message, filled in on the loop thread.
struct PendingReply {
  bool done = false;
  bool handled = false;
  std::uint32_t result = 0;
};

class UnixWindowEndpoint final : public WindowEndpoint {
public:
  UnixWindowEndpoint(fs::path path, UniqueFd listener, UniqueFd stop, const struct stat& identity,
                     EventLoop& loop, Handler handler)
      : path_(std::move(path)),
        listener_(std::move(listener)),
        stop_(std::move(stop)),
        dev_(identity.st_dev),
        ino_(identity.st_ino),
        loop_(loop),
        shared_(std::make_shared<ListenerShared>(std::move(handler))),
        thread_([this] { run(); }) {}

  ~UnixWindowEndpoint() override {
    shared_->alive = false;
    {
      std::lock_guard lock(shared_->mutex);
      shared_->stopping = true;
    }
    shared_->changed.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
    // Remove the socket file only when it is still ours: a later listener may have taken
    // the name over.
    struct stat now{};
    if (::lstat(path_.c_str(), &now) == 0 && now.st_dev == dev_ && now.st_ino == ino_) {
      ::unlink(path_.c_str());
    }
  }

  UnixWindowEndpoint(const UnixWindowEndpoint&) = delete;
  UnixWindowEndpoint& operator=(const UnixWindowEndpoint&) = delete;

private:
  void run() {
    for (;;) {
      pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      if (fds[0].revents & (POLLERR | POLLNVAL)) return;
      if (!(fds[0].revents & POLLIN)) continue;
      UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!client) {
        // Out of descriptors: the listening socket stays readable, so wait a little
        // (or for the stop event) instead of spinning on it.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          pollfd stopOnly{stop_.get(), POLLIN, 0};
          ::poll(&stopOnly, 1, 100);
        }
        continue;
      }
      if (!peerIsOwnUser(client.get())) continue;
      serve(client.get());
    }
  }

  // Handles the frames of one connection in order until it closes or sends a bad frame.
  void serve(int fd) {
    for (;;) {
      FrameBytes bytes{};
      if (receiveExactly(fd, bytes.data(), bytes.size(), Clock::now() + kFrameReadLimit, stop_.get()) !=
          ReceiveResult::Done) {
        return;
      }
      const auto frame = decodeFrame(bytes);
      if (!frame) return;  // a malformed frame; the stream cannot be trusted after it
      const auto& [msg, mode] = *frame;
      if (mode == FrameMode::Posted) {
        loop_.post([shared = shared_, msg = msg] {
          if (shared->alive) shared->handler(msg);
        });
        continue;
      }
      const auto result = deliverAndWait(msg);
      if (!result) return;  // stopping: the sender sees the connection close unanswered
      std::uint8_t reply[4];
      putLe32(reply, *result);
      if (!sendAll(fd, reply, sizeof reply, Clock::now() + kReplySendLimit, stop_.get())) return;
    }
  }

  // Runs the handler on the loop thread and waits for it. Unlike a plain postAndWait, the
  // wait also ends when this endpoint is being destroyed, so destroying it on the loop
  // thread while a sent message is queued there cannot deadlock.
  std::optional<std::uint32_t> deliverAndWait(const WindowMessage& msg) {
    auto reply = std::make_shared<PendingReply>();
    loop_.post([shared = shared_, reply, msg] {
      struct Finish {
        ListenerShared& shared;
        PendingReply& reply;
        ~Finish() {
          {
            std::lock_guard lock(shared.mutex);
            reply.done = true;
          }
          shared.changed.notify_all();
        }
      } finish{*shared, *reply};
      if (!shared->alive) return;
      const std::uint32_t result = shared->handler(msg);
      std::lock_guard lock(shared->mutex);
      reply->result = result;
      reply->handled = true;
    });
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [&] { return reply->done || shared_->stopping; });
    if (!reply->handled) return std::nullopt;
    return reply->result;
  }

  fs::path path_;
  UniqueFd listener_;
  UniqueFd stop_;
  dev_t dev_;
  ino_t ino_;
  EventLoop& loop_;
  std::shared_ptr<ListenerShared> shared_;
  std::thread thread_;  // last: starts after everything it uses exists
};

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
  return static_cast<bool>(connectUnixSocket(endpointPath(className, title), sendLimit_));
}

bool UnixWindowMessenger::post(std::string_view className, std::string_view title,
                               WindowMessage msg) {
  const UniqueFd sock = connectUnixSocket(endpointPath(className, title), sendLimit_);
  if (!sock) return false;
  const FrameBytes frame = encodeFrame(msg, FrameMode::Posted);
  return sendAll(sock.get(), frame.data(), frame.size(), Clock::now() + sendLimit_);
}

std::optional<std::uint32_t> UnixWindowMessenger::send(std::string_view className,
                                                       std::string_view title, WindowMessage msg) {
  const auto deadline = Clock::now() + sendLimit_;
  const UniqueFd sock = connectUnixSocket(endpointPath(className, title), sendLimit_);
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
  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
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
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!stop) {
    fail(error, std::string("Cannot create an event: ") + std::strerror(errno));
    ::unlink(path.c_str());
    return nullptr;
  }
  return std::make_unique<UnixWindowEndpoint>(std::move(path), std::move(sock), std::move(stop),
                                              identity, loop, std::move(handler));
}

}  // namespace qv::platform
