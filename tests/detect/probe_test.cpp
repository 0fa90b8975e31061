// The detection window's probe, tick by tick, over a recording line: the schedule of one
// port, the reply forms, and what carries over from one showing to the next.
#include "detect/detect_probe.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <vector>

namespace qv::detect {
namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingLine final : public ProbeLine {
public:
  void open() override {
    if (refuseOpen) throw std::runtime_error("Error opening serial port");
    isOpen = true;
  }
  void close() override { isOpen = false; }
  std::string portName() const override { return name; }
  void setPortName(std::string n) override { name = std::move(n); }
  std::int32_t baudRate() const override { return baud; }
  void setBaudRate(std::int32_t rate) override { baud = rate; }
  void send(std::span<const std::uint8_t> bytes) override { sent.emplace_back(bytes.begin(), bytes.end()); }

  bool refuseOpen = false;
  bool isOpen = false;
  std::string name = "COM2";
  std::int32_t baud = 19200;
  std::vector<Bytes> sent;
};

class RecordingWindow final : public ProbeWindow {
public:
  void setTimerEnabled(bool enabled) override { timer = enabled; }
  void showProgress(const std::string& text) override { progress = text; }
  void closeWindow() override { closed = true; }

  bool timer = false;
  bool closed = false;
  std::string progress;
};

struct Rig {
  Rig() : probe(state, line, window) {}
  // Shows the window for a port; false when it closed at once.
  bool show(const std::string& port) {
    line.setPortName(port);
    window.closed = false;
    return probe.FormShow();
  }
  // Ticks until the window closes or `ticks` ran; returns the ticks run.
  int tickUntilClosed(int ticks = 20) {
    int n = 0;
    while (!window.closed && n < ticks) {
      ++n;
      probe.Timer1Timer();
      if (auto it = replies.find(n); it != replies.end()) {
        for (const Bytes& b : it->second) probe.Comm1ReceiveData(b);
      }
    }
    return n;
  }

  ProbeState state{3, true};  // left over from an earlier window: creation resets ProbeStep
  RecordingLine line;
  RecordingWindow window;
  DetectProbe probe;
  std::map<int, std::vector<Bytes>> replies;  // bursts that arrive after a tick
};

TEST(DetectProbe, OnePortThatNeverAnswersFollowsTheThirteenTickSchedule) {
  Rig r;
  EXPECT_EQ(r.state.ProbeStep, 0);
  r.line.baud = 0;  // as a previous showing left it: the first tick sets 19200 again
  ASSERT_TRUE(r.show("COM1"));
  EXPECT_TRUE(r.line.isOpen);
  EXPECT_TRUE(r.window.timer);
  EXPECT_TRUE(r.window.progress.empty());

  struct Tick {
    std::int32_t baud;
    int probe;  // 0: nothing sent
  };
  const Tick schedule[13] = {{19200, 1}, {19200, 2}, {19200, 3}, {19200, 0}, {9600, 1}, {9600, 2}, {9600, 3},
                             {9600, 0},  {1200, 1},  {1200, 2},  {1200, 3},  {1200, 0}, {0, 0}};
  for (int t = 0; t < 13; ++t) {
    SCOPED_TRACE("tick " + std::to_string(t + 1));
    const std::size_t sentBefore = r.line.sent.size();
    r.probe.Timer1Timer();
    EXPECT_EQ(r.line.baud, schedule[t].baud);
    if (schedule[t].probe == 0) {
      EXPECT_EQ(r.line.sent.size(), sentBefore);
    } else {
      ASSERT_EQ(r.line.sent.size(), sentBefore + 1);
      const auto& expected = kProbeMessages[static_cast<std::size_t>(schedule[t].probe - 1)];
      EXPECT_EQ(r.line.sent.back(), Bytes(expected.begin(), expected.end()));
    }
    EXPECT_EQ(r.window.closed, t == 12);
    EXPECT_EQ(r.state.FirstPass, t < 3);
  }
  EXPECT_EQ(r.window.progress, "Detecting on COM1  ...");
  EXPECT_FALSE(r.probe.result().DetFound);
  EXPECT_FALSE(r.line.isOpen);
  EXPECT_TRUE(r.window.timer);  // keeps its rhythm into the next showing
  EXPECT_EQ(r.state.ProbeStep, 0);
}

TEST(DetectProbe, APortThatCannotBeOpenedClosesTheWindowBeforeAnyTick) {
  Rig r;
  r.line.refuseOpen = true;
  EXPECT_FALSE(r.show("COM3"));
  EXPECT_TRUE(r.window.closed);
  EXPECT_FALSE(r.window.timer);
  EXPECT_FALSE(r.probe.result().DetFound);
  EXPECT_TRUE(r.line.sent.empty());
}

TEST(DetectProbe, RepliesOfTheOlderAndNewerChips) {
  struct Case {
    const char* name;
    std::map<int, std::vector<Bytes>> replies;
    int foundTick;
    std::int32_t baud;
    const char* chip;
    const char* firmware;
  };
  const Case cases[] = {
      {"firmware then acknowledgement at 9600", {{5, {{0xFF, 0x12, 0x34}}}, {7, {{0xFF, 0x70, 0x00}}}}, 7, 9600,
       "T302", "1234"},
      {"acknowledgement alone at 1200", {{11, {{0xFF, 0x70, 0x00}}}}, 11, 1200, "T201", "1000"},
      {"newer chip names its model", {{2, {{0xF0, 0x00, 0x12, 0xAB}}}}, 2, 19200, "12AB", ""},
      {"extra bytes after the acknowledgement", {{3, {{0xFF, 0x70, 0x00, 0xFF, 0x12, 0x34}}}}, 3, 19200, "T303",
       "1000"},
      {"acknowledgement split over two bursts is no acknowledgement", {{3, {{0xFF}, {0x70, 0x00}}}}, 13, 0, "",
       ""},
      {"a lone FF empties the firmware", {{1, {{0xFF, 0x12, 0x34}}}, {2, {{0xFF}}}}, 13, 0, "", ""},
      {"FF 70 is firmware, no acknowledgement", {{1, {{0xFF, 0x70}}}}, 13, 0, "", "70"},
      {"bursts of no known form are ignored", {{1, {{0x12, 0xFF, 0x70, 0x00}}}}, 13, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.replies = c.replies;
    ASSERT_TRUE(r.show("COM1"));
    EXPECT_EQ(r.tickUntilClosed(), c.foundTick);
    const DetectResult& res = r.probe.result();
    EXPECT_EQ(res.DetFound, c.foundTick != 13);
    EXPECT_EQ(r.window.timer, c.foundTick == 13);
    EXPECT_FALSE(r.line.isOpen);
    EXPECT_EQ(res.DetFirmware, c.firmware);
    if (!res.DetFound) continue;
    EXPECT_EQ(res.DetBaudRate, c.baud);
    EXPECT_EQ(res.DetPort, "COM1");
    EXPECT_EQ(res.DetChipType, c.chip);
  }
}

TEST(DetectProbe, FirmwareOfOnePortCarriesOverToTheNextShowing) {
  Rig r;
  r.replies = {{1, {{0xFF, 0x56, 0x78}}}};
  ASSERT_TRUE(r.show("COM1"));
  EXPECT_EQ(r.tickUntilClosed(), 13);
  EXPECT_EQ(r.line.baud, 0);

  r.replies = {{3, {{0xFF, 0x70, 0x00}}}};
  ASSERT_TRUE(r.show("COM2"));
  EXPECT_EQ(r.state.ProbeStep, 0);
  EXPECT_EQ(r.tickUntilClosed(), 3);
  EXPECT_EQ(r.probe.result().DetPort, "COM2");
  EXPECT_EQ(r.probe.result().DetBaudRate, 19200);
  EXPECT_EQ(r.probe.result().DetChipType, "T303");
  EXPECT_EQ(r.probe.result().DetFirmware, "5678");  // the "1000" default is only for an empty text
}

}  // namespace
}  // namespace qv::detect
