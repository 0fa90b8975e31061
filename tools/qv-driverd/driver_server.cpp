#include "driver_server.h"

#include "machine_store.h"
#include "platform/machine_root.h"
#include "platform/posix/unix_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <utility>
#include <vector>

namespace qv::driverd {

namespace {

// Larger inputs than any request needs are a malformed frame, not a reason to buffer.
constexpr std::uint32_t kMaxInput = 64 * 1024;
// Bytes kept from a client whose current request is held unanswered.
constexpr std::size_t kMaxBuffered = 1024 * 1024;
constexpr std::size_t kMaxClients = 64;

using platform::getLe32;
using platform::UniqueFd;

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::string hex(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return "-";
  static constexpr char digits[] = "0123456789abcdef";
  std::string s;
  for (auto b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

struct Client {
  explicit Client(UniqueFd connection) : fd(std::move(connection)) {}
  UniqueFd fd;
  std::vector<std::uint8_t> in;
  std::vector<std::uint8_t> out;
  bool held = false;  // the current request is never answered; later ones wait forever
  bool evicted = false;  // dropped to make room for a newer client
  std::chrono::steady_clock::time_point lastHeard = std::chrono::steady_clock::now();
};

}  // namespace

struct DriverServer::Impl {
  ServerOptions options;
  platform::RegistryStore* store;
  DriverModel model;
  UniqueFd lockFd, listenFd, signalFd, logFd;
  dev_t socketDev = 0;
  ino_t socketIno = 0;
  bool bound = false;
  std::list<Client> clients;

  void log(std::uint32_t code, std::span<const std::uint8_t> input, const char* outcome) {
    if (!logFd) return;
    char head[16];
    std::snprintf(head, sizeof head, "%08x ", code);
    const std::string line = head + hex(input) + " " + outcome + "\n";
    // One write with O_APPEND: a line is never torn, also with a second writer.
    [[maybe_unused]] auto n = ::write(logFd.get(), line.data(), line.size());
  }

  bool reportInit(bool initialised) {
    const std::string text = initialised ? "Success" : options.initFailureText;
    if (!store) {
      std::fprintf(stderr, "qv-driverd: no registry store; Vxd Init not written\n");
      return false;
    }
    std::string error;
    if (!writeInitOutcome(*store, text, &error)) {
      std::fprintf(stderr, "qv-driverd: cannot write Vxd Init: %s\n", error.c_str());
      return false;
    }
    return true;
  }

  // Sends what is queued for the client; false when the connection is gone.
  static bool flush(Client& c) {
    while (!c.out.empty()) {
      const ssize_t n = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.out.erase(c.out.begin(), c.out.begin() + n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return true;  // the rest goes when poll says the client can take it
      } else {
        return false;
      }
    }
    return true;
  }

  // Answers the complete requests in the client's buffer, one at a time: the next is
  // taken only after the previous reply has gone out. False when the connection must end.
  bool serve(Client& c) {
    while (!c.held && c.out.empty() && c.in.size() >= 12) {
      const std::uint32_t code = getLe32(&c.in[0]);
      const std::uint32_t inLength = getLe32(&c.in[4]);
      const std::uint32_t outLength = getLe32(&c.in[8]);
      if (inLength > kMaxInput) {
        std::fprintf(stderr, "qv-driverd: malformed request (input of %u bytes); connection closed\n", inLength);
        return false;
      }
      if (c.in.size() < 12 + std::size_t{inLength}) return true;
      const std::span<const std::uint8_t> input(c.in.data() + 12, inLength);
      if (options.holdCode && *options.holdCode == code) {
        log(code, input, "held");
        c.held = true;
        return true;
      }
      const Reply reply = handleRequest(model, options.behaviour, code, input, outLength,
                                        [this](bool ok) { return reportInit(ok); });
      log(code, input, reply.ok ? "ok" : "fail");
      c.in.erase(c.in.begin(), c.in.begin() + 12 + inLength);
      putU32(c.out, reply.ok ? 1 : 0);
      putU32(c.out, static_cast<std::uint32_t>(reply.bytes.size()));
      c.out.insert(c.out.end(), reply.bytes.begin(), reply.bytes.end());
      if (!flush(c)) return false;
    }
    return true;
  }

  enum class Received { More, Ended, Broken };

  // Reads what the client sent so far.
  static Received receive(Client& c) {
    std::uint8_t buf[4096];
    for (;;) {
      const ssize_t n = ::recv(c.fd.get(), buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        c.lastHeard = std::chrono::steady_clock::now();
        c.in.insert(c.in.end(), buf, buf + n);
        if (c.in.size() > kMaxBuffered) return Received::Broken;
        continue;
      }
      if (n == 0) return Received::Ended;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? Received::More : Received::Broken;
    }
  }

  void acceptClients() {
    std::size_t live = 0;
    for (const auto& c : clients) live += c.evicted ? 0 : 1;
    for (;;) {
      UniqueFd fd(::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!fd) return;  // EAGAIN: no more waiting; other errors: try again on the next poll
      if (live >= kMaxClients) {
        // Room for the newcomer: the client silent for longest goes, so that idle or
        // stuck connections can never lock everyone else out.
        Client* quietest = nullptr;
        for (auto& c : clients) {
          if (!c.evicted && (!quietest || c.lastHeard < quietest->lastHeard)) quietest = &c;
        }
        if (!quietest) continue;
        quietest->evicted = true;
        --live;
      }
      clients.emplace_back(std::move(fd));
      ++live;
    }
  }
};

DriverServer::DriverServer(ServerOptions options, platform::RegistryStore* store)
    : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->store = store;
}

DriverServer::~DriverServer() {
  if (!impl_->bound) return;
  // Only our own socket is removed: a later driver may already have replaced it.
  struct stat st {};
  if (::lstat(impl_->options.socketPath.c_str(), &st) == 0 && st.st_dev == impl_->socketDev &&
      st.st_ino == impl_->socketIno) {
    ::unlink(impl_->options.socketPath.c_str());
  }
}

std::optional<std::string> DriverServer::start() {
  auto& m = *impl_;
  const auto& path = m.options.socketPath;
  if (auto problem = platform::socketPathProblem(path)) return *problem;
  if (path.has_parent_path() && !platform::ensureDirectory(path.parent_path(), 0700)) {
    return "cannot create the folder " + path.parent_path().string();
  }

  // The lock decides between two drivers starting at once; the connect test below
  // catches anything else that already serves the socket.
  const std::string lockPath = path.string() + ".lock";
  m.lockFd.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!m.lockFd) return "cannot open " + lockPath + ": " + std::strerror(errno);
  if (::flock(m.lockFd.get(), LOCK_EX | LOCK_NB) != 0) {
    return "another qv-driverd already serves " + path.string();
  }

  sockaddr_un addr;
  platform::unixSocketAddress(path, addr);  // fits: checked above
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (probe && ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      return "another driver already serves " + path.string();
    }
    if (!S_ISSOCK(st.st_mode)) return path.string() + " exists and is not a socket";
    ::unlink(path.c_str());  // stale socket of a driver that did not stop cleanly
  }

  // As a driver loaded at boot: initialised before anyone can reach it.
  if (m.options.initialiseAtStart) {
    m.model.initialised = true;
    if (!m.reportInit(true)) return "cannot record the start-up initialisation in the store";
  }

  m.listenFd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!m.listenFd) return std::string("socket: ") + std::strerror(errno);
  if (::bind(m.listenFd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    return "cannot bind " + path.string() + ": " + std::strerror(errno);
  }
  m.bound = true;
  if (::lstat(path.c_str(), &st) == 0) {
    m.socketDev = st.st_dev;
    m.socketIno = st.st_ino;
  }
  if (::listen(m.listenFd.get(), 32) != 0) return std::string("listen: ") + std::strerror(errno);

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  m.signalFd.reset(::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!m.signalFd) return std::string("signalfd: ") + std::strerror(errno);
  ::signal(SIGPIPE, SIG_IGN);

  if (!m.options.logPath.empty()) {
    m.logFd.reset(::open(m.options.logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (!m.logFd) return "cannot open the log " + m.options.logPath.string() + ": " + std::strerror(errno);
  }
  return std::nullopt;
}

int DriverServer::run() {
  auto& m = *impl_;
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({m.signalFd.get(), POLLIN, 0});
    fds.push_back({m.listenFd.get(), POLLIN, 0});
    for (auto& c : m.clients) {
      // A client is read also while its request is held, so that its hang-up is seen.
      short events = POLLIN;
      if (!c.out.empty()) events |= POLLOUT;
      fds.push_back({c.fd.get(), events, 0});
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      std::perror("qv-driverd: poll");
      return 1;
    }
    if (fds[0].revents & POLLIN) return 0;  // SIGTERM or SIGINT
    if (fds[1].revents & POLLIN) m.acceptClients();

    std::size_t i = 2;
    for (auto it = m.clients.begin(); it != m.clients.end() && i < fds.size(); ++i) {
      const short ev = fds[i].revents;
      bool alive = !it->evicted;
      if (alive && (ev & POLLOUT)) alive = Impl::flush(*it);
      if (alive && (ev & (POLLIN | POLLHUP | POLLERR))) {
        const auto r = Impl::receive(*it);
        // Requests that arrived before the client hung up still take effect.
        const bool served = r != Impl::Received::Broken && m.serve(*it);
        alive = served && r == Impl::Received::More;
      } else if (alive) {
        alive = m.serve(*it);
      }
      it = alive ? std::next(it) : m.clients.erase(it);
    }
    m.clients.remove_if([](const Client& c) { return c.evicted; });
  }
}

}  // namespace qv::driverd
