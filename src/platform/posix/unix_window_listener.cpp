#include "platform/posix/unix_window_listener.h"

#include "platform/little_endian.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_endpoints.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace qv::platform {

namespace fs = std::filesystem;
using Clock = SocketClock;

namespace {

// A reply the peer does not take within this time ends its connection, like a frame that
// does not arrive in time.
constexpr auto kReplySendLimit = kFrameReadLimit;
// Frames read from one connection before the others get their turn.
constexpr int kFramesPerTurn = 16;
// How long accepting rests when the process is out of descriptors.
constexpr auto kAcceptRest = std::chrono::milliseconds(100);

bool peerIsOwnUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == ::geteuid();
}

void signalEvent(int eventFd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto ignored = ::write(eventFd, &one, sizeof one);
}

void drainEvent(int eventFd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto ignored = ::read(eventFd, &count, sizeof count);
}

// The loop's answer to one sent message; no result when the handler did not finish.
struct Answer {
  std::uint64_t connection = 0;
  std::optional<std::uint32_t> result;
};

// What the listener thread and the work it posted to the loop share. The posted work
// holds it too, so it stays valid when the endpoint is gone before the work runs.
struct ListenerShared {
  ListenerShared(WindowEndpoint::Handler h, UniqueFd w) : handler(std::move(h)), wake(std::move(w)) {}
  WindowEndpoint::Handler handler;
  std::atomic<bool> alive{true};           // false once the endpoint is being destroyed
  std::atomic<std::size_t> queued{0};      // frames posted to the loop and not yet run
  const UniqueFd wake;                     // signalled when answers wait or the loop made room
  std::mutex mutex;
  std::vector<Answer> answers;             // guarded by mutex
};

// Runs on the loop thread when one posted frame's work ends, whether the handler ran,
// was skipped or threw: gives room back and, for a sent message, hands over the answer.
class FrameDone {
public:
  FrameDone(ListenerShared& shared, std::optional<std::uint64_t> connection)
      : shared_(shared), connection_(connection) {}
  ~FrameDone() {
    bool wake = shared_.queued.fetch_sub(1) == kMaxQueuedFrames;
    if (connection_) {
      std::lock_guard lock(shared_.mutex);
      shared_.answers.push_back({*connection_, result});
      wake = true;
    }
    if (wake) signalEvent(shared_.wake.get());
  }
  FrameDone(const FrameDone&) = delete;
  FrameDone& operator=(const FrameDone&) = delete;

  std::optional<std::uint32_t> result;

private:
  ListenerShared& shared_;
  std::optional<std::uint64_t> connection_;
};

struct Connection {
  enum class State {
    Reading,    // taking the bytes of the next frame
    Handling,   // a sent message is with the loop; nothing more is read meanwhile
    Answering,  // the answer is being written
  };
  explicit Connection(UniqueFd socket, Clock::time_point due) : fd(std::move(socket)), deadline(due) {}
  UniqueFd fd;
  State state = State::Reading;
  FrameBytes frame{};
  std::size_t have = 0;  // bytes of frame received so far
  std::uint8_t answer[4]{};
  std::size_t answered = 0;
  Clock::time_point deadline;  // for the frame being read or the answer being written
};

class UnixWindowEndpoint final : public WindowEndpoint {
public:
  UnixWindowEndpoint(fs::path path, UniqueFd listener, UniqueFd stop, UniqueFd wake,
                     const struct stat& identity, EventLoop& loop, Handler handler)
      : path_(std::move(path)),
        listener_(std::move(listener)),
        stop_(std::move(stop)),
        dev_(identity.st_dev),
        ino_(identity.st_ino),
        loop_(loop),
        shared_(std::make_shared<ListenerShared>(std::move(handler), std::move(wake))),
        thread_([this] { run(); }) {}

  ~UnixWindowEndpoint() override {
    shared_->alive = false;
    signalEvent(stop_.get());
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
  using Connections = std::map<std::uint64_t, Connection>;  // in the order accepted

  void run() {
    Connections connections;
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> polled;  // the connection of each fds entry from the fourth on
    for (;;) {
      const auto now = Clock::now();
      // While the loop is behind, no time runs against peers that are not being read.
      const bool loopBehind = shared_->queued.load() >= kMaxQueuedFrames;
      const bool accepting = connections.size() < kMaxEndpointConnections && now >= acceptRestUntil_;
      fds.assign({{stop_.get(), POLLIN, 0}, {shared_->wake.get(), POLLIN, 0}, {accepting ? listener_.get() : -1, POLLIN, 0}});
      polled.clear();
      auto wakeAt = accepting ? Clock::time_point::max() : acceptRestUntil_;
      for (auto& [id, c] : connections) {
        short events = 0;
        if (c.state == Connection::State::Reading) {
          if (loopBehind) {
            c.deadline = now + kFrameReadLimit;
            continue;
          }
          events = POLLIN;
        } else if (c.state == Connection::State::Answering) {
          events = POLLOUT;
        } else {
          continue;  // waits for the loop; a hang-up is seen when the answer is written
        }
        fds.push_back({c.fd.get(), events, 0});
        polled.push_back(id);
        wakeAt = std::min(wakeAt, c.deadline);
      }
      const int timeout = pollTimeoutUntil(wakeAt, now);
      if (::poll(fds.data(), fds.size(), timeout) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents != 0) return;
      if (fds[1].revents != 0) {
        drainEvent(shared_->wake.get());
        takeAnswers(connections);
      }
      if (fds[2].revents & (POLLERR | POLLNVAL)) return;
      if (fds[2].revents & POLLIN) acceptWaiting(connections);
      for (std::size_t i = 3; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        const auto it = connections.find(polled[i - 3]);
        if (it == connections.end()) continue;
        if (!serve(it->first, it->second)) connections.erase(it);
      }
      std::erase_if(connections, [later = Clock::now()](const auto& entry) {
        const Connection& c = entry.second;
        return c.state != Connection::State::Handling && c.deadline <= later;
      });
    }
  }

  void acceptWaiting(Connections& connections) {
    while (connections.size() < kMaxEndpointConnections) {
      UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!client) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        // Out of descriptors: the listening socket stays readable, so rest a little
        // instead of spinning on it.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          acceptRestUntil_ = Clock::now() + kAcceptRest;
        }
        return;  // nobody else waits
      }
      if (!peerIsOwnUser(client.get())) continue;
      connections.emplace(nextId_++, Connection(std::move(client), Clock::now() + kFrameReadLimit));
    }
  }

  // Moves one connection on after poll reported it; false when it ends.
  bool serve(std::uint64_t id, Connection& c) {
    if (c.state == Connection::State::Answering) return writeAnswer(c);
    for (int frames = 0; frames < kFramesPerTurn && c.state == Connection::State::Reading;) {
      if (shared_->queued.load() >= kMaxQueuedFrames) return true;  // read on when the loop caught up
      const ssize_t n = ::recv(c.fd.get(), c.frame.data() + c.have, c.frame.size() - c.have, MSG_DONTWAIT);
      if (n > 0) {
        c.have += static_cast<std::size_t>(n);
        if (c.have < c.frame.size()) continue;
        c.have = 0;
        ++frames;
        if (!deliver(id, c)) return false;
        continue;
      }
      if (n == 0) return false;  // the peer is done; a frame it cut off is dropped
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
  }

  // Hands one complete frame to the loop; false for a malformed frame, after which the
  // stream cannot be trusted.
  bool deliver(std::uint64_t id, Connection& c) {
    const auto frame = decodeFrame(c.frame);
    if (!frame) return false;
    const auto& [msg, mode] = *frame;
    c.deadline = Clock::now() + kFrameReadLimit;
    ++shared_->queued;
    if (mode == FrameMode::Posted) {
      loop_.post([shared = shared_, msg = msg] {
        FrameDone done(*shared, std::nullopt);
        if (shared->alive) shared->handler(msg);
      });
      return true;
    }
    c.state = Connection::State::Handling;
    loop_.post([shared = shared_, msg = msg, id] {
      FrameDone done(*shared, id);
      if (shared->alive) done.result = shared->handler(msg);
    });
    return true;
  }

  void takeAnswers(Connections& connections) {
    std::vector<Answer> answers;
    {
      std::lock_guard lock(shared_->mutex);
      answers.swap(shared_->answers);
    }
    for (const Answer& a : answers) {
      const auto it = connections.find(a.connection);
      if (it == connections.end()) continue;
      Connection& c = it->second;
      if (!a.result) {
        // Not handled: the sender sees the connection close unanswered.
        connections.erase(it);
        continue;
      }
      putLe32(c.answer, *a.result);
      c.answered = 0;
      c.state = Connection::State::Answering;
      c.deadline = Clock::now() + kReplySendLimit;
      if (!writeAnswer(c)) connections.erase(it);
    }
  }

  // Writes what the peer takes of the answer; false when the connection failed.
  static bool writeAnswer(Connection& c) {
    while (c.answered < sizeof c.answer) {
      const ssize_t n = ::send(c.fd.get(), c.answer + c.answered, sizeof c.answer - c.answered,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.answered += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);  // the rest when it has room
      }
    }
    c.state = Connection::State::Reading;
    c.deadline = Clock::now() + kFrameReadLimit;
    return true;
  }

  fs::path path_;
  UniqueFd listener_;
  UniqueFd stop_;
  dev_t dev_;
  ino_t ino_;
  EventLoop& loop_;
  std::shared_ptr<ListenerShared> shared_;
  // Used by the listener thread only.
  std::uint64_t nextId_ = 0;
  Clock::time_point acceptRestUntil_{};
  std::thread thread_;  // last: starts after everything it uses exists
};

}  // namespace

std::unique_ptr<WindowEndpoint> serveWindowEndpoint(fs::path path, UniqueFd listener, const struct stat& identity,
                                                    EventLoop& loop, WindowEndpoint::Handler handler,
                                                    std::string* error) {
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!stop || !wake) {
    if (error) *error = std::string("Cannot create an event: ") + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<UnixWindowEndpoint>(std::move(path), std::move(listener), std::move(stop),
                                              std::move(wake), identity, loop, std::move(handler));
}

}  // namespace qv::platform
