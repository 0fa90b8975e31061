// The drawing test against a running qv-driverd in a private machine root, on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise:
//   - a press: the handler with its statistics request, until its drawings are painted;
//   - a move with the pen down: from the pointer event to its segment painted;
//   - a burst of 1000 moves given faster than the window paints: every segment must be
//     painted, each starting where the one before ended (exit status 1 otherwise);
//   - against a driver that takes the statistics request and never answers: 20 runs of a
//     tap, a drag of 100 moves and a tap, each input's drawing painted within 50 ms of the
//     input (exit status 1 otherwise); the slowest of each run, median and worst.
//
//   drawtest_bench [samples]     (default 2000 presses and moves)
//
// Ends with one "@figure <name> <value>" line per figure for a table maker.
#include "driver/driver_channel.h"
#include "drawtest/qt/draw_form.h"
#include "drawtest/qt/paint_box.h"
#include "drawtest/statistics_reader.h"
#include "platform/posix/socket_device_io.h"
#include "platform/qt/qt_event_loop.h"
#include "support/driverd_process.h"
#include "support/private_root.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace qv;
using Clock = std::chrono::steady_clock;

struct Figures {
  double median = 0, p90 = 0, max = 0;
};

Figures figures(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[us.size() * 9 / 10], us.back()};
}

void print(const char* what, const Figures& f) {
  std::printf("%-44s median %8.1f us   p90 %8.1f us   max %8.1f us\n", what, f.median, f.p90, f.max);
}

double since(Clock::time_point t0) { return std::chrono::duration<double, std::micro>(Clock::now() - t0).count(); }

void send(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent e(type, QPointF(at), to->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(to, &e);
}

// A tap, a drag of 100 moves and a tap against a driver that never answers the statistics
// request, 20 times: for each run, the slowest time from an input to its drawing painted.
std::vector<double> silentDriverRuns(const std::filesystem::path& root) {
  const std::filesystem::path device = root / "dev" / "SILENT.VXD";
  test::DriverdProcess silent({"--socket=" + device.string(), "--log=" + (root / "silent.log").string(),
                               "--hold-code=12"});
  if (!silent.ready()) return {};
  platform::SocketDeviceIo io;
  driver::DriverChannel channel(io, device);
  platform::QtEventLoop loop;
  drawtest::StatisticsReader reader(channel, loop);
  drawtest::DrawTestState state;
  drawtest::TDrawForm form(state, reader);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return {};
  drawtest::PaintBox* canvas = form.paintBox1();
  double slowest = 0;
  auto input = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    const auto t0 = Clock::now();
    send(canvas, type, at, button, held);
    while (canvas->awaitingPaint()) QApplication::processEvents(QEventLoop::AllEvents);
    slowest = std::max(slowest, since(t0));
  };
  auto tap = [&](QPoint at) {
    input(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    input(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  };
  std::vector<double> runs;
  for (int run = 0; run < 20; ++run) {
    slowest = 0;
    tap(QPoint(300, 300));
    input(QEvent::MouseButtonPress, QPoint(200, 400), Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 100; ++i) input(QEvent::MouseMove, QPoint(200 + 4 * i, 400 + (i % 7)), Qt::NoButton, Qt::LeftButton);
    input(QEvent::MouseButtonRelease, QPoint(600, 402), Qt::LeftButton, Qt::NoButton);
    tap(QPoint(500, 300));
    runs.push_back(slowest);
  }
  return runs;
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  test::PrivateRoot root;
  const std::vector<double> silentRuns = silentDriverRuns(root.path());
  if (silentRuns.empty()) {
    std::fprintf(stderr, "drawtest_bench: the silent qv-driverd did not start\n");
    return 2;
  }
  test::DriverdProcess driverd;
  if (!driverd.ready()) {
    std::fprintf(stderr, "drawtest_bench: qv-driverd did not start\n");
    return 2;
  }
  platform::SocketDeviceIo io;
  driver::DriverChannel channel(io);
  platform::QtEventLoop loop;
  drawtest::StatisticsReader reader(channel, loop);
  drawtest::DrawTestState state;
  drawtest::TDrawForm form(state, reader);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return 2;
  drawtest::PaintBox* canvas = form.paintBox1();
  long painted = 0;
  std::vector<drawtest::CanvasOp> lines;
  canvas->OnPainted = [&](const drawtest::CanvasOp& op) {
    ++painted;
    if (op.kind == drawtest::CanvasOp::Kind::Line) lines.push_back(op);
  };
  auto paintUntil = [&](long count) {
    while (painted < count) QApplication::processEvents(QEventLoop::AllEvents);
  };
  const QPoint at(300, 300);

  // Press: its text, the dot and the four statistics lines (six drawings).
  std::vector<double> press, release;
  for (int i = 0; i < samples; ++i) {
    auto t0 = Clock::now();
    send(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    const double handled = since(t0);
    paintUntil(painted + 6);
    press.push_back(since(t0));
    if (i == 0) std::printf("first press handled in %.1f us\n", handled);
    t0 = Clock::now();
    send(canvas, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    paintUntil(painted + 5);
    release.push_back(since(t0));
  }
  const Figures pressFigures = figures(press);
  print("press, statistics included, painted", pressFigures);
  print("release, statistics included, painted", figures(release));

  // Move with the pen down: one segment each.
  std::vector<double> move;
  send(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  paintUntil(painted + 6);
  for (int i = 1; i <= samples; ++i) {
    const QPoint to(200 + i % 500, 250 + (i / 500) % 400);
    const auto t0 = Clock::now();
    send(canvas, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    paintUntil(painted + 1);
    move.push_back(since(t0));
  }
  const Figures moveFigures = figures(move);
  print("move to its segment painted", moveFigures);

  // A burst: 1000 moves before the window gets to paint.
  lines.clear();
  const long before = painted;
  QPoint last(200 + samples % 500, 250 + (samples / 500) % 400);
  const drawtest::Point start{last.x(), last.y()};
  const auto t0 = Clock::now();
  for (int i = 0; i < 1000; ++i) {
    last = QPoint(150 + (i * 7) % 600, 150 + (i * 3) % 450);
    send(canvas, QEvent::MouseMove, last, Qt::NoButton, Qt::LeftButton);
  }
  paintUntil(before + 1000);
  const double burstUs = since(t0);
  int dropped = 1000 - static_cast<int>(lines.size());
  drawtest::Point pen = start;
  for (const auto& l : lines) {
    if (!(l.from == pen)) ++dropped;  // a gap: a segment went missing before this one
    pen = l.to;
  }
  send(canvas, QEvent::MouseButtonRelease, last, Qt::LeftButton, Qt::NoButton);
  std::printf("1000 moves in a burst: %zu segments painted, %d dropped, %.1f ms in all\n", lines.size(), dropped,
              burstUs / 1000);
  // The same figures for a table maker.
  std::printf("@figure drawtest.press_median_us %.3f\n@figure drawtest.move_median_us %.3f\n", pressFigures.median,
              moveFigures.median);
  std::printf("@figure drawtest.burst_dropped %d\n", dropped);

  const Figures silent = figures(silentRuns);
  std::printf("silent driver, slowest input of a run (tap, 100-move drag, tap; 20 runs): median %.1f us, worst %.1f us\n",
              silent.median, silent.max);
  std::printf("@figure drawtest.silent_run_median_us %.3f\n@figure drawtest.silent_run_worst_us %.3f\n",
              silent.median, silent.max);
  return dropped == 0 && silent.max <= 50000 ? 0 : 1;
}
