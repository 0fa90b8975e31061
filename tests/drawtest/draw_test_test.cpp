// The drawing test's logic: the event column, the pen trace and the line statistics,
// against a recording canvas and a recording driver.
#include "drawtest/draw_test.h"
#include "drawtest/line_statistics_text.h"
#include "platform/manual_event_loop.h"
#include "recording_canvas.h"
#include "support/private_root.h"
#include "support/recording_device_io.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv::drawtest {
namespace {

using Ops = std::vector<std::string>;
constexpr std::uint32_t kReadLineStatistics = 0x0C;

std::vector<std::uint8_t> statisticsBytes(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  const auto bytes = driver::LineStatistics{a, b, c, d}.toBytes();
  return {bytes.begin(), bytes.end()};
}

Ops statisticsOps(const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
  return {"text 10,100 [Over Run : " + a + "]", "text 10,120 [Frame Error : " + b + "]",
          "text 10,140 [PenDown : " + c + "]", "text 10,160 [PenUp : " + d + "]"};
}

Ops concat(std::initializer_list<Ops> parts) {
  Ops all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct Rig {
  Rig() : channel(io) { io.setReply(kReadLineStatistics, statisticsBytes(3, 0xFFFFFFFF, 0x80000000, 7)); }
  DrawTest open() { return DrawTest(state, reader, canvas); }
  // Until every reading asked for was drawn.
  void settle() { ASSERT_TRUE(loop.runUntil([&] { return !reader.busy(); }, std::chrono::seconds(10))); }

  test::PrivateRoot root;
  test::RecordingDeviceIo io;
  driver::DriverChannel channel;
  test::RecordingCanvas canvas;
  DrawTestState state;
  platform::ManualEventLoop loop;
  StatisticsReader reader{channel, loop};
};

TEST(EventColumn, LinesOf17FillAnOuterHeightOf608ThenStartAtTheTop) {
  DrawTestState state{false, 0, 17};
  std::vector<int> tops;
  for (int i = 0; i < 36; ++i) tops.push_back(takeEventLine(state, 608));
  for (int i = 0; i < 35; ++i) EXPECT_EQ(tops[i], 17 * i);
  EXPECT_EQ(tops[34], 578);
  EXPECT_EQ(tops[35], 0);
  EXPECT_EQ(state.EventLine, 1);

  // A window too low for two lines writes every text at the top.
  DrawTestState low{false, 0, 17};
  EXPECT_EQ(takeEventLine(low, 30), 0);
  EXPECT_EQ(takeEventLine(low, 30), 0);
}

TEST(DrawTest, TapWritesItsTextsADotAndTheStatisticsTwice) {
  Rig r;
  DrawTest draw = r.open();
  EXPECT_EQ(r.state.EventLineHeight, 17);
  draw.PaintBox1MouseDown(PointerButton::Left, {40, 50});
  EXPECT_TRUE(r.state.PenIsDown);
  r.settle();
  draw.PaintBox1MouseUp(PointerButton::Left, {40, 50});
  EXPECT_FALSE(r.state.PenIsDown);
  r.settle();

  const Ops stats = statisticsOps("3", "-1", "-2147483648", "7");
  EXPECT_EQ(r.canvas.ops, concat({{"text 708,0 [Left down            ]", "pixel 40,50"}, stats,
                                  {"text 708,17 [Left up            ]"}, stats}));
  // One open, one request and one close for the press and again for the release.
  const auto sessions = r.io.sessions();
  ASSERT_EQ(sessions.size(), 2u);
  for (const auto& s : sessions) {
    EXPECT_TRUE(s.closed);
    ASSERT_EQ(s.requests.size(), 1u);
    EXPECT_EQ(s.requests[0], (test::RecordedRequest{kReadLineStatistics, {}, 20, true}));
  }
  // The white under a statistics line reaches as far as its longest possible text.
  EXPECT_EQ(r.canvas.widths[2], 7 * static_cast<int>(std::string("Over Run : not available").size()));
}

TEST(DrawTest, DragDrawsFromPointToPointAndShowsThePenLocationWhenTicked) {
  Rig r;
  DrawTest draw = r.open();
  draw.PaintBox1MouseMove({1, 1});  // no button: nothing drawn, no text
  draw.M1Click();
  draw.PaintBox1MouseMove({2, 2});  // location shown without a button held
  draw.PaintBox1MouseDown(PointerButton::Right, {10, 10});
  r.canvas.ops.clear();
  draw.PaintBox1MouseMove({-4, 12});  // beyond the canvas's left edge while it holds the pointer
  draw.PaintBox1MouseMove({-6, -3});
  draw.M1Click();
  draw.PaintBox1MouseMove({20, 30});
  EXPECT_EQ(r.canvas.ops, (Ops{"text 708,34 [(-4,12)                  ]", "line 10,10 -4,12",
                               "text 708,51 [(-6,-3)                  ]", "line -4,12 -6,-3", "line -6,-3 20,30"}));
  EXPECT_EQ(draw.penPosition(), (Point{20, 30}));
}

TEST(DrawTest, StatisticsSayNotAvailableWithoutAnAnswer) {
  Rig r;
  DrawTest draw = r.open();
  const Ops missing = statisticsOps("not available", "not available", "not available", "not available");

  r.io.setAbsent(true);
  draw.PaintBox1MouseDown(PointerButton::Middle, {5, 5});
  r.settle();
  EXPECT_EQ(r.canvas.ops, concat({{"text 708,0 [Middle down          ]", "pixel 5,5"}, missing}));

  r.io.setAbsent(false);
  r.io.setFailing(kReadLineStatistics);
  r.canvas.ops.clear();
  draw.PaintBox1MouseUp(PointerButton::Middle, {5, 5});
  r.settle();
  EXPECT_EQ(r.canvas.ops, concat({{"text 708,17 [Middle up          ]"}, missing}));
  EXPECT_EQ(r.io.openHandles(), 0u);

  r.io.setFailing(kReadLineStatistics, false);
  r.io.setReply(kReadLineStatistics, {5, 0, 0, 0, 6, 0, 0, 0, 7});  // too short for the last two counters
  draw.PaintBox1MouseUp(PointerButton::Middle, {5, 5});
  r.settle();
  EXPECT_EQ(Ops(r.canvas.ops.end() - 4, r.canvas.ops.end()), statisticsOps("5", "6", "not available", "not available"));
}

TEST(DrawTest, ASilentDriverHoldsNothingUpAndAsksWhileItWaitsMergeIntoOneReading) {
  Rig r;
  const auto readingsDrawn = [&] { return std::ranges::count(r.canvas.ops, "text 10,100 [Over Run : 3]"); };
  r.io.holdReplies(true);
  {
    DrawTest draw = r.open();
    draw.PaintBox1MouseDown(PointerButton::Left, {1, 1});
    draw.PaintBox1MouseUp(PointerButton::Left, {1, 1});
    draw.PaintBox1MouseDown(PointerButton::Left, {1, 1});
    ASSERT_TRUE(test::waitFor([&] { return r.io.requests().size() == 1; }));
    r.io.holdReplies(false);
    r.settle();
    EXPECT_EQ(r.io.requests().size(), 2u);  // the one on its way, then one for the asks it kept waiting
    EXPECT_EQ(readingsDrawn(), 2);
    r.io.holdReplies(true);
    draw.PaintBox1MouseUp(PointerButton::Left, {1, 1});
    draw.PaintBox1MouseDown(PointerButton::Left, {1, 1});  // merged, for a window about to close
  }  // closed with a reading on its way: nothing waits for it, and it is drawn nowhere
  DrawTest next = r.open();
  r.io.holdReplies(false);
  r.settle();
  EXPECT_EQ(readingsDrawn(), 2);
  EXPECT_EQ(r.io.requests().size(), 3u);  // none for the closed window's merged ask
}

TEST(DrawTest, ClearingAndReopeningKeepTheEventLine) {
  Rig r;
  {
    DrawTest draw = r.open();
    draw.PaintBox1MouseDown(PointerButton::Left, {1, 1});
    draw.PaintBox1DblClick();
    draw.C1Click();
    r.settle();
    EXPECT_EQ(r.canvas.ops.back(), "clear");  // the press's reading came after: not drawn
    r.canvas.ops.clear();
    draw.PaintBox1MouseUp(PointerButton::Left, {1, 1});
    EXPECT_EQ(r.canvas.ops.front(), "text 708,34 [Left up            ]");
    draw.PaintBox1MouseDown(PointerButton::Left, {1, 1});  // the window closes with the pen down
  }
  r.state.EventLineHeight = 0;
  r.canvas.outer = {1000, 700};
  r.canvas.ops.clear();
  DrawTest again = r.open();  // a new window measures the line height again
  EXPECT_EQ(r.state.EventLineHeight, 17);
  EXPECT_FALSE(r.state.PenIsDown);  // the new window's first hover draws nothing
  again.PaintBox1MouseMove({30, 30});
  again.PaintBox1DblClick();
  EXPECT_EQ(r.canvas.ops, (Ops{"text 900,68 [Double Click      ]"}));
}

}  // namespace
}  // namespace qv::drawtest
