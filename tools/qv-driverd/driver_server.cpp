#include "driver_server.h"

#include "driver_clients.h"
#include "driver_log.h"
#include "instance_lock.h"
#include "machine_store.h"
#include "peer_policy.h"
#include "platform/little_endian.h"
#include "platform/machine_root.h"
#include "platform/posix/unix_socket.h"
#include "stop_signals.h"
#include "store_writer.h"

#include <poll.h>
#include <signal.h>
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
        road(std::move(io), model, log, trueLimitsGiven(), options.probeWait) {}

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
  PeerPolicy peers{::geteuid(), std::nullopt};
  std::string lastInitText;  // `Vxd Init` as the driver last wrote it

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
    while (!c.held && !c.owed() && c.out.empty()) {
      const RequestFrame frame = readRequestFrame(c.in);
      if (frame.status == RequestFrame::Status::Malformed) {
        std::fprintf(stderr, "qv-driverd: malformed request (input of %u bytes); connection closed\n", getLe32(&c.in[4]));
        return false;
      }
      if (frame.status == RequestFrame::Status::Incomplete) return true;
      if (options.holdCode && *options.holdCode == frame.code) {
        log.request(frame.code, frame.input, "held");
        c.held = true;
        return true;
      }
      // InitializeDriver opens the touch input anew; where it cannot, or the controller
      // does not answer, the driver fails. The answer is waited for in the poll loop, and
      // the request stays in the buffer until then.
      std::optional<InputOutcome> outcome;
      if (isInitialize(frame)) {
        outcome = road.openInput(Clock::now());
        if (!outcome) {
          c.awaitingInput = true;
          return true;
        }
        settleWaiters(*outcome);  // those that waited for the answer this open cut short
      }
      answer(c, frame, outcome);
      if (!flush(c)) return false;
    }
    return true;
  }

  static bool isInitialize(const RequestFrame& frame) {
    return frame.code == static_cast<std::uint32_t>(driver::RequestCode::InitializeDriver) && frame.input.size() == 10;
  }

  // Answers the frame at the start of the client's buffer and takes it out; an
  // InitializeDriver with what initialising the input came to.
  void answer(Client& c, const RequestFrame& frame, const std::optional<InputOutcome>& outcome) {
    const std::uint32_t code = frame.code;
    const std::span<const std::uint8_t> input = frame.input;
    std::optional<std::string> inputFailure;
    if (outcome && !outcome->initialised) inputFailure = outcome->problem.value_or(options.initFailureText);
    // The model answers at once; an outcome that must be in the store first is only
    // noted here and written by the store writer, and the reply waits for it.
    std::optional<bool> storeOutcome;
    Reply reply = handleRequest(model, inputFailure ? failingBehaviour() : options.behaviour, code, input,
                                frame.outLength, [&](bool initialised) {
                                  storeOutcome = initialised;
                                  return true;
                                });
    for (const TouchEffect& effect : reply.effects) road.carryOut(effect);
    // A new calibration may belong to another monitor.
    if (reply.ok && (code == static_cast<std::uint32_t>(driver::RequestCode::SetCalibration) ||
                     code == static_cast<std::uint32_t>(driver::RequestCode::InitializeDriver))) {
      road.followMonitor();
    }
    if (storeOutcome) {
      lastInitText = outcomeText(*storeOutcome, inputFailure);
      writer->add({c.id, lastInitText, code, {input.begin(), input.end()}, std::move(reply)});
      c.awaitingStore = true;
    } else {
      log.request(code, input, reply.ok ? "ok" : "fail");
      queueReply(c, reply);
    }
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(frame.size));
  }

  // Answers the InitializeDriver requests that waited for the controller; false when none did.
  bool settleWaiters(const InputOutcome& outcome) {
    bool any = false;
    for (Client& c : clients) {
      if (c.dropped || !c.awaitingInput) continue;
      c.awaitingInput = false;
      any = true;
      answer(c, readRequestFrame(c.in), outcome);
    }
    return any;
  }

  // What initialising the input came to without a request: at start, the controller's
  // answer, a port gone or back. Those who wait for it are answered; else `Vxd Init` is
  // written when it says something new.
  void settle(const InputOutcome& outcome) {
    if (settleWaiters(outcome)) return;
    model.initialised = outcome.initialised;
    const std::string text = initText(outcome);
    if (!store || text == lastInitText) return;
    lastInitText = text;
    writer->add({std::nullopt, text, 0, {}, {}});
  }

  static std::string initText(const InputOutcome& outcome) {
    return outcome.initialised ? std::string("Success") : outcome.problem.value_or("Failed");
  }

  // At start, before anyone can reach the driver: the input opened and, for a controller,
  // its answer waited for here (no client can be kept waiting yet).
  InputOutcome initialiseAtStart() {
    auto outcome = road.openInput(Clock::now());
    while (!outcome) {
      const auto deadline = road.probeDeadline();
      if (!deadline) break;
      pollfd input{road.inputFd(), POLLIN, 0};
      const int timeout = platform::pollTimeoutUntil(*deadline, Clock::now());
      if (::poll(&input, 1, timeout) < 0 && errno != EINTR) break;
      if (input.revents != 0) outcome = road.readInput();
      if (!outcome) outcome = road.expireProbe(Clock::now());
    }
    return outcome.value_or(InputOutcome{false, "the controller's answer could not be waited for"});
  }

  // Replies to the requests whose outcome reached the store (or failed to), then serves
  // what those clients sent meanwhile.
  void finishStoreJobs() {
    for (StoreJob& job : writer->takeFinished()) {
      if (!job.client) continue;  // the driver's own record: nobody waits
      job.reply.ok = job.reply.ok && job.recorded;
      log.request(job.code, job.input, job.reply.ok ? "ok" : "fail");
      // The client may have hung up meanwhile: the outcome is recorded all the same.
      const auto it = std::find_if(clients.begin(), clients.end(),
                                   [&](const Client& c) { return c.id == *job.client && !c.dropped; });
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
      const auto peer = peerCredentials(fd.get());
      if (!peer || !peerAllowed(peers, *peer)) {
        if (peer) std::fprintf(stderr, "qv-driverd: refused a client of user %u\n", static_cast<unsigned>(peer->uid));
        continue;
      }
      clients.emplace_back(std::move(fd), nextClient++);
    }
  }

  // The socket's mode, before anyone may connect: the driver's own user alone, or, when
  // shared, also the group of the socket's folder (the service's group).
  std::optional<std::string> shareSocket() {
    const auto& path = options.socketPath;
    if (!options.sharedSocket) {
      ::chmod(path.c_str(), 0600);
      return std::nullopt;
    }
    struct stat folder {};
    const auto parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (::stat(parent.c_str(), &folder) == 0 && folder.st_gid != ::getegid() && ::chown(path.c_str(), -1, folder.st_gid) != 0) {
      std::fprintf(stderr, "qv-driverd: cannot give %s the group of its folder: %s\n", path.c_str(), std::strerror(errno));
    }
    if (::chmod(path.c_str(), 0660) != 0) return "cannot set the mode of " + path.string() + ": " + std::strerror(errno);
    struct stat socket {};
    if (::stat(path.c_str(), &socket) != 0) return "cannot look at " + path.string() + ": " + std::strerror(errno);
    peers.sharedGroup = socket.st_gid;
    return std::nullopt;
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

std::optional<std::string> DriverServer::start(platform::UniqueFd heldLock) {
  auto& m = *impl_;
  const auto& path = m.options.socketPath;
  // The lock decides between two drivers starting at once; the connect test below
  // catches anything else that already serves the socket.
  if (heldLock) {
    m.lockFd = std::move(heldLock);
  } else {
    InstanceLock lock = takeInstanceLock(path, m.options.sharedSocket ? 0750 : 0700);
    if (!lock.fd) return lock.error;
    m.lockFd = std::move(lock.fd);
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

  if (m.options.logPath == kLogToStandardError) {
    if (auto problem = m.log.openStandardError()) return *problem;
  } else if (!m.options.logPath.empty()) {
    if (auto problem = m.log.open(m.options.logPath)) return *problem;
  }
  if (!m.road.hasOutput()) {
    // Said once: the driver goes on serving, reading and counting without it.
    std::fprintf(stderr, "qv-driverd: %s\n", m.road.whyNoOutput().c_str());
    m.log.note(m.road.whyNoOutput());
  }

  // As a driver loaded at boot: initialised before anyone can reach it. --fail-init is
  // about InitializeDriver requests; the start succeeds as its input does. A store that
  // cannot take the outcome does not keep the touch screen from working.
  const InputOutcome outcome = m.initialiseAtStart();
  m.model.initialised = outcome.initialised;
  if (m.store) {
    const std::string text = Impl::initText(outcome);
    if (m.reportInit(text)) {
      m.lastInitText = text;
    } else {
      m.log.note("cannot record the start-up initialisation in the store");
    }
  }

  m.listenFd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!m.listenFd) return std::string("socket: ") + std::strerror(errno);
  if (::bind(m.listenFd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    return "cannot bind " + path.string() + ": " + std::strerror(errno);
  }
  m.bound = true;
  if (auto problem = m.shareSocket()) return *problem;
  if (::lstat(path.c_str(), &st) == 0) {
    m.socketDev = st.st_dev;
    m.socketIno = st.st_ino;
  }
  if (::listen(m.listenFd.get(), SOMAXCONN) != 0) return std::string("listen: ") + std::strerror(errno);

  blockStopSignals();
  const sigset_t stopping = stopSignals();
  m.signalFd.reset(::signalfd(-1, &stopping, SFD_CLOEXEC | SFD_NONBLOCK));
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
    if (const auto deadline = m.road.probeDeadline()) wakeAt = std::min(wakeAt, *deadline);
    if (const auto roadWake = m.road.wakeAt()) wakeAt = std::min(wakeAt, *roadWake);
    fds.clear();
    fds.push_back({m.signalFd.get(), POLLIN, 0});
    fds.push_back({m.writer->wakeFd(), POLLIN, 0});
    fds.push_back({accepting ? m.listenFd.get() : -1, POLLIN, 0});
    fds.push_back({m.road.inputFd(), POLLIN, 0});
    fds.push_back({m.road.watchFd(), POLLIN, 0});
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
    if (fds[3].fd >= 0 && fds[3].fd == m.road.inputFd() && fds[3].revents != 0) {
      if (const auto outcome = m.road.readInput()) m.settle(*outcome);
    }
    if (const auto outcome = m.road.expireProbe(Clock::now())) m.settle(*outcome);
    if (fds[4].fd >= 0 && fds[4].revents != 0) {
      if (const auto outcome = m.road.inputMayBeBack(Clock::now())) m.settle(*outcome);
    }
    // After the read: a touch ends on a quiet line only when nothing came meanwhile.
    m.road.onTime(Clock::now());

    // Each connection polled above is served on its own; new ones wait for the next round.
    constexpr std::size_t kFirstClient = 5;
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
