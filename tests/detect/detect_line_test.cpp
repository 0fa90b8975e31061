// The probe on real lines: pseudo-terminals linked under the machine root, with
// qv-controller-sim playing the controller. Ticks are given by the test: each waits until
// the controller has seen the probes sent so far, so no test waits out 13 x 500 ms.
#include "detect/comm_probe_line.h"
#include "detect/machine_ports.h"
#include "detect/port_prober.h"
#include "serial/pty_pair.h"
#include "support/child_process.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>

namespace qv::detect {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// qv-controller-sim on a port of the private root; what it prints goes to a file.
class SimulatedController {
public:
  SimulatedController(const test::PrivateRoot& root, const std::string& port, std::vector<std::string> args)
      : log_(root.path() / ("sim-" + port + ".log")) {
    const int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<std::string> all{"--port", port};
    all.insert(all.end(), args.begin(), args.end());
    process_ = std::make_unique<test::ChildProcess>(QV_CONTROLLER_SIM_PATH, all, fd);
    ::close(fd);
    linked_ = test::waitFor([&] { return fs::is_symlink(root.path() / "dev" / port); }, 5s);
  }
  ~SimulatedController() { process_->stop(SIGTERM); }
  bool ready() const { return process_->started() && linked_; }
  std::string log() const { return test::readFile(log_); }
  int probesSeen() const { return count("probe "); }
  int count(const std::string& text) const {
    const std::string all = log();
    int n = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
  }

private:
  fs::path log_;
  std::unique_ptr<test::ChildProcess> process_;
  bool linked_ = false;
};

// Probes sent by the end of a tick: ticks 4, 8 and 12 stay silent, 13 ends the showing.
int probesSentBy(int tick) {
  int n = 0;
  for (int t = 1; t <= std::min(tick, 12); ++t) n += t % 4 != 0;
  return n;
}

// After the tick at which the reply is due, waits for the window to close; after any other
// tick, until the controller has read every probe sent so far and each reply it gave has
// reached the probe as a burst of its own (as 500 ms between ticks would make sure).
struct SteppedTicks {
  TickWait wait(const SimulatedController* sim, int dueTick) {
    return [this, sim, dueTick](platform::ManualEventLoop& loop, const std::function<bool()>& closed) {
      const int tick = prober ? prober->ticks() : 0;
      if (tick == dueTick) {
        loop.runUntil(closed, 10s);
        return;
      }
      if (sim) {
        test::waitFor([&] { return sim->probesSeen() >= probesSentBy(tick); }, 5s);
        const int answered = sim->count("answered");
        loop.runUntil([&] { return closed() || prober->bursts() >= answered; }, 5s);
      }
      loop.runUntil(closed, 20ms);
    };
  }
  PortProber* prober = nullptr;
};

TEST(DetectLine, EachChipModelIsFoundAtItsOwnRate) {
  struct Case {
    std::vector<std::string> args;
    int tick;
    std::int32_t baud;
    const char* chip;
    const char* firmware;
  };
  const Case cases[] = {
      {{"--model", "7C4A"}, 2, 19200, "7C4A", ""},
      {{"--model", "T303"}, 3, 19200, "T303", "1000"},
      {{"--model", "T302", "--firmware", "1234"}, 7, 9600, "T302", "1234"},
      {{"--model", "T201"}, 11, 1200, "T201", "1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    test::PrivateRoot root;
    SimulatedController sim(root, "COM2", c.args);
    ASSERT_TRUE(sim.ready());
    ProbeState state;
    SteppedTicks ticks;
    PortProber prober(state, ticks.wait(&sim, c.tick), machinePortOpener());
    ticks.prober = &prober;
    ASSERT_TRUE(machinePortPresent("COM2"));
    prober.setPortName("COM2");
    prober.showModal();
    const DetectResult& r = prober.result();
    EXPECT_TRUE(r.DetFound);
    EXPECT_EQ(prober.ticks(), c.tick);
    EXPECT_EQ(r.DetPort, "COM2");
    EXPECT_EQ(r.DetBaudRate, c.baud);
    EXPECT_EQ(r.DetChipType, c.chip);
    EXPECT_EQ(r.DetFirmware, c.firmware);
  }
}

TEST(DetectLine, ASilentPortCostsItsThirteenTicksAtEachRate) {
  test::PrivateRoot root;
  SimulatedController sim(root, "COM2", {"--model", "T303", "--silent"});
  ASSERT_TRUE(sim.ready());
  ProbeState state;
  SteppedTicks ticks;
  PortProber prober(state, ticks.wait(&sim, -1), machinePortOpener());
  ticks.prober = &prober;
  prober.setPortName("COM2");
  prober.showModal();
  EXPECT_FALSE(prober.result().DetFound);
  EXPECT_EQ(prober.ticks(), 13);
  EXPECT_EQ(prober.baudRate(), 0);
  EXPECT_EQ(prober.progress(), "Detecting on COM2  ...");
  EXPECT_TRUE(test::waitFor([&] { return sim.probesSeen() == 9; }));
  EXPECT_EQ(sim.count("at 19200 baud"), 3);
  EXPECT_EQ(sim.count("at 9600 baud"), 3);
  EXPECT_EQ(sim.count("at 1200 baud"), 3);
}

TEST(DetectLine, AbsentPortsAndPortsInUseAreSkippedAtOnce) {
  test::PrivateRoot root;
  test::PtyPair held("COM3");
  const platform::SerialOpenResult other = platform::openSerialPort("COM3");  // another program has it
  ASSERT_EQ(other.status, platform::SerialOpenStatus::Ok);
  EXPECT_FALSE(machinePortPresent("COM1"));
  EXPECT_FALSE(machinePortPresent("COM3"));

  ProbeState state;
  SteppedTicks ticks;
  PortProber prober(state, ticks.wait(nullptr, -1), machinePortOpener());
  for (const char* name : {"COM1", "COM3"}) {
    prober.setPortName(name);
    prober.showModal();
    EXPECT_FALSE(prober.result().DetFound) << name;
    EXPECT_EQ(prober.ticks(), 0) << name;
  }

  // A machine root that cannot be made (under a file that is no folder) holds no port either.
  ::setenv("QUORVANE_HOME", "/dev/null/root", 1);
  EXPECT_FALSE(machinePortPresent("COM1"));
  EXPECT_NE(machinePortOpener()("COM1").status, platform::SerialOpenStatus::Ok);
  ::setenv("QUORVANE_HOME", root.path().c_str(), 1);
}

TEST(DetectLine, RepliesOfAnEarlierOpeningAreNotTakenForThisOne) {
  test::PrivateRoot root;
  test::PtyPair pty("COM4");
  platform::ManualEventLoop loop;
  serial::TComm comm(loop, machinePortOpener());
  configureComm1(comm);
  comm.setCommName("COM4");
  std::vector<Bytes> replies;
  CommProbeLine line(comm, loop, [&](std::span<const std::uint8_t> b) { replies.emplace_back(b.begin(), b.end()); });

  line.open();
  pty.send({0xFF, 0x70, 0x00});
  ASSERT_TRUE(test::waitFor([&] { return loop.pendingCount() > 0; }));  // queued, not yet handled
  line.close();
  line.open();
  loop.runPending();
  EXPECT_TRUE(replies.empty());

  pty.send({0xF0, 0x00, 0x7C, 0x4A});
  EXPECT_TRUE(loop.runUntil([&] { return !replies.empty(); }, 5s));
  EXPECT_EQ(replies, (std::vector<Bytes>{{0xF0, 0x00, 0x7C, 0x4A}}));
  line.close();
  loop.runPending();
}

// qvdetect run from a folder of its own, as the panel starts it.
struct ToolRun {
  explicit ToolRun(const test::PrivateRoot& root, std::vector<std::string> args = {}) {
    const fs::path dir = root.path() / "prog";
    fs::create_directories(dir);
    fs::copy_file(QV_QVDETECT_PATH, dir / "qvdetect", fs::copy_options::overwrite_existing);
    config = root.path() / "run" / "qvmouse.cfg";
    const fs::path log = root.path() / "qvdetect.log";
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    test::ChildProcess tool((dir / "qvdetect").string(), args, fd);
    ::close(fd);
    exitCode = tool.waitExit(60s);
    output = test::readFile(log);
  }
  fs::path config;
  std::optional<int> exitCode;
  std::string output;
};

TEST(Qvdetect, FindsTheSimulatedControllerAndWritesItsPort) {
  test::PrivateRoot root;
  SimulatedController sim(root, "COM2", {"--model", "7C4A"});
  ASSERT_TRUE(sim.ready());
  ToolRun run(root);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("COM1: absent or in use, skipped"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("COM2: found 7C4A at 19200 baud"), std::string::npos) << run.output;
  const std::string bytes = test::readFile(run.config);
  ASSERT_EQ(bytes.size(), 43u);
  EXPECT_EQ(bytes[9], 2);
  EXPECT_EQ(bytes[11], 3);
}

TEST(Qvdetect, WritesNothingWithoutAControllerAndRefusesUnknownArguments) {
  test::PrivateRoot root;
  ToolRun none(root);
  EXPECT_EQ(none.exitCode, 1) << none.output;
  EXPECT_FALSE(fs::exists(none.config));
  EXPECT_NE(none.output.find("nothing written"), std::string::npos);

  ToolRun help(root, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("Usage: qvdetect"), std::string::npos);
  ToolRun wrong(root, {"--fast"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_NE(wrong.output.find("unknown option --fast"), std::string::npos);
}

// Whether a terminal is held exclusively. Root's opens pass the hold, so it is read from
// the terminal itself; any other user meets it as a busy device.
bool heldExclusively(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  int held = 0;
  const bool known = ::ioctl(fd, TIOCGEXCL, &held) == 0;
  ::close(fd);
  return known && held != 0;
}

TEST(Qvdetect, GivesBackThePortItProbesWhenStopped) {
  test::PrivateRoot root;
  SimulatedController sim(root, "COM1", {"--model", "T201", "--silent"});
  ASSERT_TRUE(sim.ready());
  const fs::path port = root.path() / "dev" / "COM1";
  test::ChildProcess tool(QV_QVDETECT_PATH, {}, test::ChildProcess::Output::Discard);
  ASSERT_TRUE(test::waitFor([&] { return heldExclusively(port); }, 10s));
  EXPECT_EQ(tool.stop(SIGTERM, 10s), 3);
  EXPECT_FALSE(heldExclusively(port));
}

}  // namespace
}  // namespace qv::detect
