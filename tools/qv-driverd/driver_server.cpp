#include "driver_server.h"

#include "driver_clients.h"
#include "driver_log.h"
#include "machine_store.h"
#include "platform/little_endian.h"
#include "platform/machine_root.h"
#include "platform/posix/unix_socket.h"
#include "store_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <utility>
#include <vector>

namespace qv::driverd {

namespace {

// How long accepting rests when the process is out of descriptors.
constexpr auto kAcceptRest = std::chrono::milliseconds(100);

using Clock = ClientClock;
using platform::getLe32;
using platform::UniqueFd;

}  // namespace

struct DriverServer::Impl {
  Impl(ServerOptions serverOptions, platform::RegistryStore* registry, DriverIo io)
      : options(std::move(serverOptions)),
        store(registry),
        model(startModel(options.behaviour)),
        log(options.logTimes),
        road(std::move(io), model, log, trueLimitsGiven()) {}

  ServerOptions options;
  platform::RegistryStore* store;
  DriverModel model;
  DriverLog log;
  TouchRoad road;
  UniqueFd lockFd, listenFd, signalFd;
  dev_t socketDev = 0;
  ino_t socketIno = 0;
  bool bound = false;
  std::list<Client> clients;
  std::uint64_t nextClient = 0;
  Clock::time_point acceptRestUntil{};
  std::unique_ptr<StoreWriter> writer;

  // Runs on the store writer's thread during run(): touches only the store.
  bool reportInit(const std::string& text) {
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

  // Answers the complete requests in the client's buffer, one at a time: the next is
  // taken only after the previous reply has gone out. False when the connection must end.
  bool serve(Client& c) {
    while (!c.held && !c.awaitingStore && c.out.empty()) {
      const RequestFrame frame = readRequestFrame(c.in);
      if (frame.status == RequestFrame::Status::Malformed) {
        std::fprintf(stderr, "qv-driverd: malformed request (input of %u bytes); connection closed\n", getLe32(&c.in[4]));
        return false;
      }
      if (frame.status == RequestFrame::Status::Incomplete) return true;
      const std::uint32_t code = frame.code;
      const std::uint32_t outLength = frame.outLength;
      const std::span<const std::uint8_t> input = frame.input;
      if (options.holdCode && *options.holdCode == code) {
        log.request(code, input, "held");
        c.held = true;
        return true;
      }
      // InitializeDriver opens the touch input anew; where it cannot, the driver fails.
      std::optional<std::string> inputProblem;
      if (code == static_cast<std::uint32_t>(driver::RequestCode::InitializeDriver) && input.size() == 10) {
        inputProblem = road.openInput();
      }
      const bool inputFails = inputProblem && !trueLimitsGiven();
      // The model answers at once; an outcome that must be in the store first is only
      // noted here and written by the store writer, and the reply waits for it.
      std::optional<bool> storeOutcome;
      Reply reply = handleRequest(model, inputFails ? failingBehaviour() : options.behaviour, code, input, outLength,
                                  [&](bool initialised) {
                                    storeOutcome = initialised;
                                    return true;
                                  });
      for (const TouchEffect& effect : reply.effects) road.carryOut(effect);
      // A new calibration may belong to another monitor.
      if ((code == static_cast<std::uint32_t>(driver::RequestCode::SetCalibration) ||
           code == static_cast<std::uint32_t>(driver::RequestCode::InitializeDriver)) &&
          reply.ok) {
        road.followMonitor();
      }
      if (storeOutcome) {
        writer->add({c.id, outcomeText(*storeOutcome, inputProblem), code, {input.begin(), input.end()}, std::move(reply)});
        c.awaitingStore = true;
      } else {
        log.request(code, input, reply.ok ? "ok" : "fail");
        queueReply(c, reply);
      }
      c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(frame.size));
      if (!flush(c)) return false;
    }
    return true;
  }

  // Replies to the requests whose outcome reached the store (or failed to), then serves
  // what those clients sent meanwhile.
  void finishStoreJobs() {
    for (StoreJob& job : writer->takeFinished()) {
      job.reply.ok = job.reply.ok && job.recorded;
      log.request(job.code, job.input, job.reply.ok ? "ok" : "fail");
      // The client may have hung up meanwhile: the outcome is recorded all the same.
      const auto it = std::find_if(clients.begin(), clients.end(),
                                   [&](const Client& c) { return c.id == job.client && !c.dropped; });
      if (it == clients.end()) continue;
      it->awaitingStore = false;
      queueReply(*it, job.reply);
      if (!flush(*it) || !serve(*it) || it->finished()) it->dropped = true;
    }
  }

  bool trueLimitsGiven() const { return options.behaviour.trueLimits.has_value(); }

  ModelBehaviour failingBehaviour() const {
    ModelBehaviour b = options.behaviour;
    b.failInitialize = true;
    return b;
  }

  // `Vxd Init` after an InitializeDriver: "Success", else the failure the options name or
  // why the touch input could not be opened.
  std::string outcomeText(bool initialised, const std::optional<std::string>& inputProblem) const {
    if (initialised) return "Success";
    if (options.behaviour.failInitialize || !inputProblem) return options.initFailureText;
    return *inputProblem;
  }

  void acceptClients() {
    for (;;) {
      const auto now = Clock::now();
      if (!roomForAnother(clients, now)) return;
      UniqueFd fd(::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!fd) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          // Out of descriptors: an idle connection gives its own back, else accepting rests.
          if (closeIdleClient(clients, now)) {
            clients.remove_if([](const Client& c) { return c.dropped; });
            continue;
          }
          acceptRestUntil = now + kAcceptRest;
        }
        return;  // EAGAIN: nobody else waits
      }
      const auto uid = peerUser(fd.get());
      if (!uid || *uid != ::geteuid()) {
        // Only programs of the driver's own user may reach it, as with window endpoints.
        if (uid) std::fprintf(stderr, "qv-driverd: refused a client of user %u\n", static_cast<unsigned>(*uid));
        continue;
      }
      clients.emplace_back(std::move(fd), nextClient++);
    }
  }

  // Whether the listening socket is worth polling now, and when to look again if not.
  bool accepting(Clock::time_point now, Clock::time_point& wakeAt) const {
    if (now < acceptRestUntil) {
      wakeAt = std::min(wakeAt, acceptRestUntil);
      return false;
    }
    return roomAt(clients, now, wakeAt);
  }
};

DriverServer::DriverServer(ServerOptions options, platform::RegistryStore* store, DriverIo io)
    : impl_(std::make_unique<Impl>(std::move(options), store, std::move(io))) {}

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

  if (!m.options.logPath.empty()) {
    if (auto problem = m.log.open(m.options.logPath)) return *problem;
  }
  if (!m.road.hasOutput()) {
    // Said once: the driver goes on serving, reading and counting without it.
    std::fprintf(stderr, "qv-driverd: %s\n", m.road.whyNoOutput().c_str());
    m.log.note(m.road.whyNoOutput());
  }
  const auto inputProblem = m.road.openInput();

  // As a driver loaded at boot: initialised before anyone can reach it.
  if (m.options.initialiseAtStart) {
    // --fail-init is about InitializeDriver requests; the start succeeds as its input does.
    m.model.initialised = !inputProblem || m.trueLimitsGiven();
    if (!m.reportInit(m.model.initialised ? "Success" : *inputProblem)) {
      return "cannot record the start-up initialisation in the store";
    }
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
  if (::listen(m.listenFd.get(), SOMAXCONN) != 0) return std::string("listen: ") + std::strerror(errno);

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  m.signalFd.reset(::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!m.signalFd) return std::string("signalfd: ") + std::strerror(errno);
  ::signal(SIGPIPE, SIG_IGN);

  m.writer = std::make_unique<StoreWriter>([&m](const std::string& outcome) { return m.reportInit(outcome); });
  if (!m.writer->ok()) return std::string("eventfd: ") + std::strerror(errno);
  return std::nullopt;
}

int DriverServer::run() {
  auto& m = *impl_;
  std::vector<pollfd> fds;
  for (;;) {
    const auto now = Clock::now();
    auto wakeAt = Clock::time_point::max();
    const bool accepting = m.accepting(now, wakeAt);
    fds.clear();
    fds.push_back({m.signalFd.get(), POLLIN, 0});
    fds.push_back({m.writer->wakeFd(), POLLIN, 0});
    fds.push_back({accepting ? m.listenFd.get() : -1, POLLIN, 0});
    fds.push_back({m.road.inputFd(), POLLIN, 0});
    for (auto& c : m.clients) {
      // A client is read also while its request waits, so that its hang-up is seen. One
      // that has sent its last bytes is watched only while a reply waits to go out.
      short events = c.readEnded ? 0 : POLLIN;
      if (!c.out.empty()) events |= POLLOUT;
      fds.push_back({events != 0 ? c.fd.get() : -1, events, 0});
    }
    const int timeout = platform::pollTimeoutUntil(wakeAt, now);
    if (::poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      std::perror("qv-driverd: poll");
      return 1;
    }
    if (fds[0].revents & POLLIN) return 0;  // SIGTERM or SIGINT
    if (fds[1].revents & POLLIN) m.finishStoreJobs();
    // A touch input opened anew by a request of this round is read in the next.
    if (fds[3].fd >= 0 && fds[3].fd == m.road.inputFd() && fds[3].revents != 0) m.road.readInput();

    // Each connection polled above is served on its own; new ones wait for the next round.
    constexpr std::size_t kFirstClient = 4;
    std::size_t i = kFirstClient;
    for (auto it = m.clients.begin(); it != m.clients.end() && i < fds.size(); ++it, ++i) {
      Client& c = *it;
      const short ev = fds[i].revents;
      if (c.dropped) continue;
      bool alive = true;
      if (ev & POLLOUT || (c.readEnded && (ev & (POLLHUP | POLLERR)))) alive = flush(c);
      if (alive && !c.readEnded && (ev & (POLLIN | POLLHUP | POLLERR))) {
        const auto r = receive(c);
        // Requests that arrived before the client stopped sending still take effect and
        // are answered, also one whose reply waits for the store.
        c.readEnded = r == Received::Ended;
        alive = r != Received::Broken && m.serve(c);
      } else if (alive) {
        alive = m.serve(c);
      }
      if (!alive || c.finished() || (c.readEnded && c.held)) c.dropped = true;
    }
    if (fds[2].revents & POLLIN) m.acceptClients();
    m.clients.remove_if([](const Client& c) { return c.dropped; });
  }
}

}  // namespace qv::driverd
