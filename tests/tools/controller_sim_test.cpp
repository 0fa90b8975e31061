// qv-controller-sim answers the detection's probes as the controller it was told to be,
// at its own line speed only; checked through the serial port component.
#include "controller_model.h"
#include "platform/manual_event_loop.h"
#include "serial/comm.h"
#include "support/child_process.h"
#include "support/private_root.h"
#include "touch_commands.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <thread>

namespace qv {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kProbe1{0x44, 0x47, 0x0B, 0x00, 0x00};
const Bytes kProbe2{0xF0, 0x00, 0x00, 0x00, 0x00};
const Bytes kProbe3{0x44, 0x47, 0x02, 0x80, 0x00};

bool waitForLink(const std::filesystem::path& link) {
  for (int i = 0; i < 200; ++i) {
    if (std::filesystem::is_symlink(link)) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

class ControllerSim : public ::testing::Test {
protected:
  void start(std::vector<std::string> args) {
    // The build names the program's path; QV_BIN_DIR may point elsewhere.
    sim = std::make_unique<test::ChildProcess>(QV_CONTROLLER_SIM_PATH, args);
    ASSERT_TRUE(sim->started());
    ASSERT_TRUE(waitForLink(root.path() / "dev" / "COM2"));
    comm.setCommName("COM2");
    comm.OnReceiveData = [this](serial::TComm&, const std::uint8_t* b, std::uint16_t n) { replies.emplace_back(b, b + n); };
    comm.OnRequestHangup = [this](serial::TComm&) { hungUp = true; };
    comm.OpenPort();
  }
  // Sends a probe at a speed and collects what comes back within 400 ms.
  std::vector<Bytes> ask(std::int32_t baud, const Bytes& probe) {
    replies.clear();
    comm.setBaudRate(baud);
    comm.SendData(probe.data(), static_cast<std::uint16_t>(probe.size()));
    loop.runFor(400ms);
    const auto deadline = std::chrono::steady_clock::now() + 400ms;
    while (std::chrono::steady_clock::now() < deadline) loop.runFor(50ms);
    return replies;
  }

  test::PrivateRoot root;
  platform::ManualEventLoop loop;
  serial::TComm comm{loop};
  std::unique_ptr<test::ChildProcess> sim;
  std::vector<Bytes> replies;
  bool hungUp = false;
};

TEST_F(ControllerSim, OlderChipAnswersFirmwareAndAcknowledgementAtItsOwnSpeedOnly) {
  start({"--port", "COM2", "--model", "T302", "--firmware", "1234"});
  EXPECT_TRUE(ask(19200, kProbe1).empty());
  EXPECT_TRUE(ask(19200, kProbe3).empty());
  EXPECT_EQ(ask(9600, kProbe1), (std::vector<Bytes>{{0xFF, 0x12, 0x34}}));
  EXPECT_TRUE(ask(9600, kProbe2).empty());
  EXPECT_EQ(ask(9600, kProbe3), (std::vector<Bytes>{{0xFF, 0x70, 0x00}}));
  comm.ClosePort();
  EXPECT_EQ(sim->stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(root.path() / "dev" / "COM2")));
}

TEST_F(ControllerSim, NewerChipNamesItsModelAndSplitRepliesComeInTwoParts) {
  start({"--port", "COM2", "--model", "7C4A", "--split"});
  EXPECT_EQ(ask(19200, kProbe2), (std::vector<Bytes>{{0xF0}, {0x00, 0x7C, 0x4A}}));
  EXPECT_TRUE(ask(19200, kProbe3).empty());
}

TEST_F(ControllerSim, HangsUpAfterTheGivenNumberOfProbes) {
  start({"--port", "COM2", "--model", "T201", "--hangup-after", "2"});
  EXPECT_EQ(ask(1200, kProbe3), (std::vector<Bytes>{{0xFF, 0x70, 0x00}}));
  ask(1200, kProbe1);
  EXPECT_TRUE(loop.runUntil([&] { return hungUp; }, 3s));
  EXPECT_EQ(sim->waitExit(), 0);
}

TEST(ControllerSimHangup, TheLastReplyReachesThePeerBeforeTheLineGoesDown) {
  // The reply written just before hanging up used to be discarded unread most times.
  for (int run = 0; run < 10; ++run) {
    test::PrivateRoot root;
    platform::ManualEventLoop loop;
    serial::TComm comm{loop};
    Bytes received;
    bool hungUp = false;
    comm.OnReceiveData = [&](serial::TComm&, const std::uint8_t* b, std::uint16_t n) {
      received.insert(received.end(), b, b + n);
    };
    comm.OnRequestHangup = [&](serial::TComm&) { hungUp = true; };
    test::ChildProcess sim(QV_CONTROLLER_SIM_PATH, {"--port", "COM2", "--model", "T303", "--hangup-after", "1"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(waitForLink(root.path() / "dev" / "COM2"));
    comm.setCommName("COM2");
    comm.setBaudRate(19200);
    comm.OpenPort();
    comm.SendData(kProbe3.data(), static_cast<std::uint16_t>(kProbe3.size()));
    ASSERT_TRUE(loop.runUntil([&] { return hungUp; }, 10s)) << "run " << run;
    EXPECT_EQ(received, (Bytes{0xFF, 0x70, 0x00})) << "run " << run;
    comm.ClosePort();
    EXPECT_EQ(sim.waitExit(), 0);
  }
}

TEST(ControllerModel, ArgumentsAndReplies) {
  std::string error;
  EXPECT_FALSE(sim::parseArguments({"--port", "COM2", "--model", "T999"}, error));
  EXPECT_FALSE(sim::parseArguments({"--port", "../x", "--model", "T201"}, error));
  EXPECT_FALSE(sim::parseArguments({"--port", "COM2", "--model", "T201", "--firmware", "12"}, error));
  const auto garbage = sim::parseArguments({"--port", "COM2", "--model", "T303", "--garbage"}, error);
  ASSERT_TRUE(garbage);
  EXPECT_EQ(garbage->baudRate, 19200u);
  EXPECT_EQ(sim::replyTo(*garbage, 3, 19200), (Bytes{0x55, 0xAA, 0x5A}));
  auto silent = *garbage;
  silent.silent = true;
  EXPECT_TRUE(sim::replyTo(silent, 3, 19200).empty());

  // Probes are found however the bytes are cut, and noise between them is skipped.
  sim::ProbeScanner scanner;
  const Bytes stream{0x13, 0x44, 0x47, 0x0B, 0x00, 0x00, 0x44, 0x47, 0x02, 0x80, 0x00, 0xF0, 0x00, 0x00};
  EXPECT_EQ(scanner.feed(stream.data(), 8), (std::vector<int>{1}));
  EXPECT_EQ(scanner.feed(stream.data() + 8, stream.size() - 8), (std::vector<int>{3}));
  const Bytes rest{0x00, 0x00};
  EXPECT_EQ(scanner.feed(rest.data(), rest.size()), (std::vector<int>{2}));
}

TEST(TouchCommands, ParsedAndPlayedAsReports) {
  std::string error;
  EXPECT_FALSE(sim::parseTouchCommand("  # a comment", error));
  EXPECT_TRUE(error.empty());
  for (const char* wrong : {"down 256 0", "move 1", "tap -1 2", "down nan 2", "up 1 2", "press 1 2", "down 1 2x"}) {
    EXPECT_FALSE(sim::parseTouchCommand(wrong, error)) << wrong;
    EXPECT_FALSE(error.empty()) << wrong;
  }

  // Seven high and seven low bits of units × 64 per axis; the top of the range stays in 14 bits.
  sim::TouchPlayer player;
  const auto play = [&](const char* line) {
    const auto command = sim::parseTouchCommand(line, error);
    return command ? player.play(*command, error) : std::vector<sim::TimedReport>{};
  };
  EXPECT_TRUE(play("up").empty());
  EXPECT_FALSE(error.empty());
  const auto down = play("down\t12.5 255.999");
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].bytes, (sim::Report{0xC1, 0x06, 0x20, 0x7F, 0x7F}));
  const auto up = play("up");
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].bytes, (sim::Report{0xC0, 0x06, 0x20, 0x7F, 0x7F}));
  const auto tap = play("tap 100 0.5");
  ASSERT_EQ(tap.size(), 2u);
  EXPECT_EQ(tap[0].bytes, (sim::Report{0xC1, 0x32, 0x00, 0x00, 0x20}));
  EXPECT_EQ(tap[1].after, sim::kTapLength);
  EXPECT_EQ(tap[1].bytes[0], 0xC0);
  EXPECT_TRUE(play("move 1 1").empty()) << "a tap ends with the pen up";
  EXPECT_EQ(sim::lineTime(5, 9600), std::chrono::microseconds(5208));
}

}  // namespace
}  // namespace qv
