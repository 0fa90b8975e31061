#include "driver_server.h"

#include "machine_store.h"
#include "platform/machine_root.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/unix_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qv::driverd {

namespace {

// Bytes kept from a client whose current request is not answered yet.
constexpr std::size_t kMaxBuffered = 1024 * 1024;
// Connections served at once. Beyond it, only a connection idle for longer than a caller
// waits for a reply may be closed to make room; live ones never are, and newcomers wait in
// the socket's queue until room comes.
constexpr std::size_t kMaxClients = 256;
constexpr auto kIdleLimit = platform::SocketDeviceIo::kDefaultReplyTimeout;
// How long accepting rests when the process is out of descriptors.
constexpr auto kAcceptRest = std::chrono::milliseconds(100);

using Clock = std::chrono::steady_clock;
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

std::optional<uid_t> peerUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return std::nullopt;
  return cred.uid;
}

// An InitializeDriver whose reply waits until its outcome is in the store.
struct StoreJob {
  std::uint64_t client = 0;
  std::string outcome;  // `Vxd Init` as it is to be written
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;  // for the log line
  Reply reply;                      // as the model answered, the store aside
  bool recorded = false;            // filled in by the writer
};

// Records InitializeDriver outcomes in the store on a thread of its own: a write may wait
// for the store's lock as long as another program holds it, and meanwhile every other
// client must still be served. Jobs are written in the order they were added.
class StoreWriter {
public:
  using Write = std::function<bool(const std::string& outcome)>;

  explicit StoreWriter(Write write)
      : write_(std::move(write)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), thread_([this] { run(); }) {}
  // Finishes the write under way; those not started are dropped with their clients.
  ~StoreWriter() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  StoreWriter(const StoreWriter&) = delete;
  StoreWriter& operator=(const StoreWriter&) = delete;

  bool ok() const { return static_cast<bool>(wake_); }
  // Readable when finished jobs wait to be taken.
  int wakeFd() const { return wake_.get(); }

  void add(StoreJob job) {
    {
      std::lock_guard lock(mutex_);
      todo_.push_back(std::move(job));
    }
    changed_.notify_all();
  }

  std::vector<StoreJob> takeFinished() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto ignored = ::read(wake_.get(), &count, sizeof count);
    std::lock_guard lock(mutex_);
    return std::exchange(finished_, {});
  }

private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
      if (stopping_) return;
      StoreJob job = std::move(todo_.front());
      todo_.pop_front();
      lock.unlock();
      job.recorded = write_(job.outcome);
      lock.lock();
      finished_.push_back(std::move(job));
      const std::uint64_t one = 1;
      [[maybe_unused]] const auto ignored = ::write(wake_.get(), &one, sizeof one);
    }
  }

  Write write_;
  UniqueFd wake_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<StoreJob> todo_;
  std::vector<StoreJob> finished_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts after everything it uses exists
};

struct Client {
  Client(UniqueFd connection, std::uint64_t number) : fd(std::move(connection)), id(number) {}
  UniqueFd fd;
  std::uint64_t id;
  std::vector<std::uint8_t> in;
  std::vector<std::uint8_t> out;
  bool held = false;          // the current request is never answered; later ones wait forever
  bool awaitingStore = false;  // the current request's reply waits for the store writer
  bool dropped = false;       // closed; removed from the list after this round
  bool readEnded = false;     // the client sent all it will send; it still gets what it is owed
  Clock::time_point lastHeard = Clock::now();

  // Nothing heard and nothing owed for longer than a caller waits for a reply.
  bool idleAt(Clock::time_point now) const { return !awaitingStore && now - lastHeard > kIdleLimit; }
  // A client that sent its last bytes is done once its replies have gone out.
  bool finished() const { return readEnded && !awaitingStore && out.empty(); }
};

}  // namespace

struct DriverServer::Impl {
  ServerOptions options;
  platform::RegistryStore* store;
  DriverIo io;
  DriverModel model;
  std::vector<TouchSample> samples;  // read from the touch input, reused
  UniqueFd lockFd, listenFd, signalFd, logFd;
  dev_t socketDev = 0;
  ino_t socketIno = 0;
  bool bound = false;
  std::list<Client> clients;
  std::uint64_t nextClient = 0;
  Clock::time_point acceptRestUntil{};
  std::unique_ptr<StoreWriter> writer;

  void log(std::uint32_t code, std::span<const std::uint8_t> input, const char* outcome) {
    char head[16];
    std::snprintf(head, sizeof head, "%08x ", code);
    logLine(head + hex(input) + " " + outcome);
  }

  // A line of what the driver has to say beside the requests.
  void note(const std::string& text) { logLine("# " + text); }

  void logLine(std::string line) {
    if (!logFd) return;
    if (options.logTimes) {
      // Microseconds of CLOCK_MONOTONIC, so that another program can time a request.
      timespec now{};
      ::clock_gettime(CLOCK_MONOTONIC, &now);
      char at[32];
      std::snprintf(at, sizeof at, " %lld", static_cast<long long>(now.tv_sec) * 1'000'000LL + now.tv_nsec / 1000);
      line += at;
    }
    line += "\n";
    // One write with O_APPEND: a line is never torn, also with a second writer.
    [[maybe_unused]] auto n = ::write(logFd.get(), line.data(), line.size());
  }

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

  static void queueReply(Client& c, const Reply& reply) {
    putU32(c.out, reply.ok ? 1 : 0);
    putU32(c.out, static_cast<std::uint32_t>(reply.bytes.size()));
    c.out.insert(c.out.end(), reply.bytes.begin(), reply.bytes.end());
    c.lastHeard = Clock::now();  // answered just now: not idle
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
        log(code, input, "held");
        c.held = true;
        return true;
      }
      // InitializeDriver opens the touch input anew; where it cannot, the driver fails.
      std::optional<std::string> inputProblem;
      if (code == static_cast<std::uint32_t>(driver::RequestCode::InitializeDriver) && input.size() == 10) {
        inputProblem = openInput();
      }
      const bool inputFails = inputProblem && !playing();
      // The model answers at once; an outcome that must be in the store first is only
      // noted here and written by the store writer, and the reply waits for it.
      std::optional<bool> storeOutcome;
      Reply reply = handleRequest(model, inputFails ? failingBehaviour() : options.behaviour, code, input, outLength,
                                  [&](bool initialised) {
                                    storeOutcome = initialised;
                                    return true;
                                  });
      for (const TouchEffect& effect : reply.effects) carryOut(effect);
      if (storeOutcome) {
        writer->add({c.id, outcomeText(*storeOutcome, inputProblem), code, {input.begin(), input.end()}, std::move(reply)});
        c.awaitingStore = true;
      } else {
        log(code, input, reply.ok ? "ok" : "fail");
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
      log(job.code, job.input, job.reply.ok ? "ok" : "fail");
      // The client may have hung up meanwhile: the outcome is recorded all the same.
      const auto it = std::find_if(clients.begin(), clients.end(),
                                   [&](const Client& c) { return c.id == job.client && !c.dropped; });
      if (it == clients.end()) continue;
      it->awaitingStore = false;
      queueReply(*it, job.reply);
      if (!flush(*it) || !serve(*it) || it->finished()) it->dropped = true;
    }
  }

  bool playing() const { return options.behaviour.trueLimits.has_value(); }

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

  // Opens the touch input (anew); why it could not, when it could not.
  std::optional<std::string> openInput() {
    if (!io.input) return std::nullopt;
    carryOut(releaseTouch(model));  // a touch held on the old input ends here
    auto problem = io.input->reopen();
    if (problem) {
      note(playing() ? *problem + "; touches come only from qv-driverctl" : *problem);
    } else {
      note("reading touches from the " + io.input->what());
    }
    return problem;
  }

  // One touch's effect on the pointer device and the beeper.
  void carryOut(const TouchEffect& effect) {
    if (io.output) {
      switch (effect.pointer) {
        case TouchEffect::Pointer::Down: io.output->penDown(effect.at.x, effect.at.y); break;
        case TouchEffect::Pointer::Move: io.output->move(effect.at.x, effect.at.y); break;
        case TouchEffect::Pointer::Up: io.output->penUp(); break;
        case TouchEffect::Pointer::None: break;
      }
    }
    if (effect.beep) {
      note(effect.longBeep ? "long beep" : "beep");
      if (io.beeper) io.beeper->beep(effect.longBeep);
    }
  }

  // Takes what the touch input has: samples, line errors, what it skipped, a hang-up.
  void readInput() {
    samples.clear();
    const TouchInput::Reading r = io.input->read(samples);
    for (const TouchSample& sample : samples) carryOut(applyTouch(model, sample));
    model.line.overrunErrors += r.overrunErrors;
    model.line.framingErrors += r.framingErrors;
    if (r.skipped.any()) {
      note("skipped on the " + io.input->what() + ": noise bytes " + std::to_string(r.skipped.noiseBytes) +
           ", reports cut short " + std::to_string(r.skipped.cutShort));
    }
    if (r.gone) {
      carryOut(releaseTouch(model));
      note("the " + io.input->what() + " is gone (" + *r.gone + "); it is opened again on the next InitializeDriver");
    }
  }

  enum class Received { More, Ended, Broken };

  // Reads what the client sent so far.
  static Received receive(Client& c) {
    std::uint8_t buf[4096];
    for (;;) {
      const ssize_t n = ::recv(c.fd.get(), buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        c.lastHeard = Clock::now();
        c.in.insert(c.in.end(), buf, buf + n);
        if (c.in.size() > kMaxBuffered) return Received::Broken;
        continue;
      }
      if (n == 0) return Received::Ended;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? Received::More : Received::Broken;
    }
  }

  std::size_t liveClients() const {
    return static_cast<std::size_t>(std::count_if(clients.begin(), clients.end(), [](const Client& c) { return !c.dropped; }));
  }

  // Closes the connection idle for longest, when one is idle past the limit.
  bool closeIdleClient(Clock::time_point now) {
    Client* quietest = nullptr;
    for (auto& c : clients) {
      if (!c.dropped && c.idleAt(now) && (!quietest || c.lastHeard < quietest->lastHeard)) quietest = &c;
    }
    if (!quietest) return false;
    quietest->dropped = true;
    return true;
  }

  // True while there is room for another connection, making it from an idle one if need be.
  bool roomForAnother(Clock::time_point now) {
    return liveClients() < kMaxClients || closeIdleClient(now);
  }

  void acceptClients() {
    for (;;) {
      const auto now = Clock::now();
      if (!roomForAnother(now)) return;
      UniqueFd fd(::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!fd) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          // Out of descriptors: an idle connection gives its own back, else accepting rests.
          if (closeIdleClient(now)) {
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
    if (liveClients() < kMaxClients) return true;
    // Full: look again when the quietest connection that owes nothing may be closed.
    for (const auto& c : clients) {
      if (c.dropped) continue;
      if (c.idleAt(now)) return true;
      if (!c.awaitingStore) wakeAt = std::min(wakeAt, c.lastHeard + kIdleLimit + std::chrono::milliseconds(1));
    }
    return false;
  }
};

DriverServer::DriverServer(ServerOptions options, platform::RegistryStore* store, DriverIo io)
    : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->store = store;
  impl_->io = std::move(io);
  impl_->model = startModel(impl_->options.behaviour);
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

  if (!m.options.logPath.empty()) {
    m.logFd.reset(::open(m.options.logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (!m.logFd) return "cannot open the log " + m.options.logPath.string() + ": " + std::strerror(errno);
  }
  if (!m.io.output) {
    // Said once: the driver goes on serving, reading and counting without it.
    std::fprintf(stderr, "qv-driverd: %s\n", m.io.whyNoOutput.c_str());
    m.note(m.io.whyNoOutput);
  }
  const auto inputProblem = m.openInput();

  // As a driver loaded at boot: initialised before anyone can reach it.
  if (m.options.initialiseAtStart) {
    // --fail-init is about InitializeDriver requests; the start succeeds as its input does.
    m.model.initialised = !inputProblem || m.playing();
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
    fds.push_back({m.io.input ? m.io.input->fd() : -1, POLLIN, 0});
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
    if (fds[3].fd >= 0 && fds[3].fd == m.io.input->fd() && fds[3].revents != 0) m.readInput();

    // Each connection polled above is served on its own; new ones wait for the next round.
    constexpr std::size_t kFirstClient = 4;
    std::size_t i = kFirstClient;
    for (auto it = m.clients.begin(); it != m.clients.end() && i < fds.size(); ++it, ++i) {
      Client& c = *it;
      const short ev = fds[i].revents;
      if (c.dropped) continue;
      bool alive = true;
      if (ev & POLLOUT || (c.readEnded && (ev & (POLLHUP | POLLERR)))) alive = Impl::flush(c);
      if (alive && !c.readEnded && (ev & (POLLIN | POLLHUP | POLLERR))) {
        const auto r = Impl::receive(c);
        // Requests that arrived before the client stopped sending still take effect and
        // are answered, also one whose reply waits for the store.
        c.readEnded = r == Impl::Received::Ended;
        alive = r != Impl::Received::Broken && m.serve(c);
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
