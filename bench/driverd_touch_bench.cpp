// The driver's touch road: one report decoded and mapped; the whole host path from a
// report written to the controller's line (a pseudo-terminal at 115200) to the event
// handed to the pointer output (a recording one in place of uinput); and what an idle
// driver with an open port costs over 10 s.
#include "driver/controller_report.h"
#include "driver_model.h"
#include "driver_server.h"
#include "recording_output.h"
#include "report_decoder.h"
#include "support/pty_line.h"

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using namespace qv::driverd;

// Report bytes to the event the pointer output is handed, without any I/O.
void BM_DecodeAndMapReport(benchmark::State& state) {
  ReportDecoder decoder;
  DriverModel model = startModel({});
  model.cursorOffset = qv::driver::CursorOffsetRecord{true, true, 300, false, 200}.toBytes();
  RecordingOutput output;
  std::vector<TouchSample> samples;
  int i = 0;
  for (auto _ : state) {
    const auto bytes = qv::driver::encodeControllerReport(true, (i * 37) & 0x3FFF, (i * 91) & 0x3FFF);
    samples.clear();
    decoder.feed(bytes, samples);
    for (const TouchSample& s : samples) {
      const TouchEffect e = applyTouch(model, s);
      if (e.pointer == TouchEffect::Pointer::Down) output.penDown(e.at.x, e.at.y);
      benchmark::DoNotOptimize(e);
    }
    ++i;
  }
}
BENCHMARK(BM_DecodeAndMapReport);

// A private machine root whose COM7 is a pseudo-terminal, and a driver reading it in a
// thread of its own with a recording pointer output.
struct DriverOnLine {
  DriverOnLine() {
    auto recording = std::make_unique<RecordingOutput>();
    recording->onEvent = [this](const PointerEvent&) {
      const auto now = Clock::now();
      std::lock_guard lock(mutex);
      lastEvent = now;
      ++events;
      changed.notify_all();
    };
    DriverIo io;
    io.input = std::make_unique<TouchInput>([] { return ControllerPortSettings{"COM7", 115200}; },
                                            qv::platform::systemSerialPortOpener());
    io.output = std::move(recording);
    ServerOptions options;
    options.socketPath = line.root / "dev" / "QV.VXD";
    server = std::make_unique<DriverServer>(options, nullptr, std::move(io));
    std::promise<bool> started;
    auto ready = started.get_future();
    thread = std::thread([&] {
      tid = static_cast<pid_t>(::syscall(SYS_gettid));
      const bool ok = !server->start();
      started.set_value(ok);
      if (ok) server->run();
    });
    if (!ready.get()) std::abort();
  }
  ~DriverOnLine() {
    ::pthread_kill(thread.native_handle(), SIGTERM);  // blocked there: its signalfd takes it
    thread.join();
    server.reset();
  }
  // Writes a report and waits for its event; the time from the write to the event.
  Clock::duration send(const qv::driver::ControllerReport& bytes) {
    std::unique_lock lock(mutex);
    const int before = events;
    const auto sent = Clock::now();
    line.send(bytes.data(), bytes.size());
    changed.wait_for(lock, 2s, [&] { return events > before; });
    return lastEvent - sent;
  }

  qv::bench::PtyLine line;
  std::unique_ptr<DriverServer> server;
  std::thread thread;
  std::atomic<pid_t> tid{0};
  std::mutex mutex;
  std::condition_variable changed;
  int events = 0;
  Clock::time_point lastEvent;
};

// From a report written to the line to the event handed to the output. A pseudo-terminal
// passes bytes at once: all of it is beyond the report's own line time.
void BM_ReportOnLineToPointerEvent(benchmark::State& state) {
  DriverOnLine driver;
  std::vector<double> ms;
  int i = 0;
  for (auto _ : state) {
    const auto took = driver.send(qv::driver::encodeControllerReport(true, 4000 + (i++ % 2) * 64, 8000));
    ms.push_back(std::chrono::duration<double, std::milli>(took).count());
    state.SetIterationTime(ms.back() / 1000.0);
  }
  driver.send(qv::driver::encodeControllerReport(false, 4000, 8000));
  // A down, a move for each report after it, an up: no report went without its event.
  if (driver.events != static_cast<int>(ms.size()) + 1) state.SkipWithError("a report gave no event");
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["p99_ms"] = ms[ms.size() * 99 / 100];
  state.counters["line_ms_9600"] = kReportSize * 10 * 1000.0 / 9600;
}
BENCHMARK(BM_ReportOnLineToPointerEvent)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);

// The driver's thread, idle for 10 s with its port open: CPU time and wake-ups (the
// thread's context switches), both 0 without a polling timer.
std::pair<double, long> threadCost(pid_t tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  long switches = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.find("ctxt_switches:") != std::string::npos) switches += std::stol(line.substr(line.find(':') + 1));
  }
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), {});
  // utime and stime, the 12th and 13th fields after the command's closing parenthesis.
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int n = 1; n <= 13 && fields >> field; ++n) {
    if (n >= 12) ticks += std::stol(field);
  }
  return {ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK)), switches};
}

void BM_IdleDriverWithOpenPort(benchmark::State& state) {
  DriverOnLine driver;
  std::this_thread::sleep_for(200ms);
  for (auto _ : state) {
    const auto before = threadCost(driver.tid);
    std::this_thread::sleep_for(10s);
    const auto after = threadCost(driver.tid);
    state.counters["cpu_ms_per_10s"] = after.first - before.first;
    state.counters["wakeups_per_10s"] = static_cast<double>(after.second - before.second);
  }
}
BENCHMARK(BM_IdleDriverWithOpenPort)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
