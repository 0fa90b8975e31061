// Cost of the animated image: composing one frame of the double-click animation, painting
// it, and the processor time that 30 s of running animation takes (QV_ANIM_BENCH_SECONDS
// changes the length).
#include "anim/double_click_animation.h"
#include "anim/frame_composer.h"
#include "anim/gif_decoder.h"
#include "anim/qt/gif_image.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace {


std::span<const std::uint8_t> gifBytes() { return qv::anim::doubleClickAnimationData().subspan(4); }

void BM_ComposeFrame(benchmark::State& state) {
  qv::anim::GifDecoder gif;
  if (!gif.LoadFromBytes(gifBytes())) {
    state.SkipWithError("animation does not load");
    return;
  }
  auto picture = qv::anim::makeComposition(gif.ImageWidth(), gif.ImageHeight(), gif.AnyTransparent());
  int frame = 1;
  for (auto _ : state) {
    const int previous = frame;
    frame = frame % gif.FrameCount() + 1;
    qv::anim::disposeFrame(gif, picture, previous);
    qv::anim::drawFrame(gif, picture, frame);
    benchmark::DoNotOptimize(picture.Composite.pixels.data());
  }
}
BENCHMARK(BM_ComposeFrame)->MinTime(0.2);

// The test area: an 80 x 60 white panel filled by the stretched picture.
struct TestArea {
  QWidget panel;
  qv::anim::TGIFImage* image;
  TestArea() {
    panel.resize(80, 60);
    QPalette p = panel.palette();
    p.setColor(QPalette::Window, Qt::white);
    panel.setPalette(p);
    panel.setAutoFillBackground(true);
    image = new qv::anim::TGIFImage(&panel);
    image->setGeometry(0, 0, 80, 60);
    image->SetCenter(true);
    image->SetStretch(true);
    image->SetStretchRatio(true);
    image->ReadData(qv::anim::doubleClickAnimationData());
    image->Loaded();
  }
};

// One animation step as a tick makes it: dispose, draw, and the direct repaint of the picture.
void BM_StepAndRepaint(benchmark::State& state) {
  TestArea area;
  area.panel.show();
  if (!QTest::qWaitForWindowExposed(&area.panel)) state.SkipWithError("window not exposed");
  int frame = 1;
  for (auto _ : state) {
    frame = frame % 8 + 1;
    area.image->SetCurrentFrame(frame);
  }
}
BENCHMARK(BM_StepAndRepaint)->MinTime(0.2);

// Painting the composed picture only (as a general repaint of the control does).
void BM_PaintOnly(benchmark::State& state) {
  TestArea area;
  QImage target(80, 60, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    area.panel.render(&target);
    benchmark::DoNotOptimize(target.bits());
  }
}
BENCHMARK(BM_PaintOnly)->MinTime(0.2);

double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Processor time of the running animation in the test area (threaded timer, 250 ms frames),
// as a share of one core.
void BM_AnimationCpu(benchmark::State& state) {
  const char* env = std::getenv("QV_ANIM_BENCH_SECONDS");
  const int seconds = env ? std::max(1, std::atoi(env)) : 30;
  for (auto _ : state) {
    TestArea area;
    int steps = 0;
    area.image->OnChange = [&](qv::anim::TGIFImage&) { ++steps; };
    area.image->SetAnimate(true);
    area.panel.show();
    if (!QTest::qWaitForWindowExposed(&area.panel)) state.SkipWithError("window not exposed");
    const double cpuStart = processSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    QTest::qWait(seconds * 1000);
    const double cpu = processSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    state.counters["frames_shown"] = steps;
    state.counters["wall_s"] = wall;
  }
}
BENCHMARK(BM_AnimationCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
