// The driver's touch road: one report decoded and mapped; the whole host path from a
// report written to the controller's line (a pseudo-terminal at 115200) to the event
// handed to the pointer output (a recording one in place of uinput); what the pen down's
// confirmation by the next report adds at 9600 baud; how many pen downs line noise makes;
// and what an idle driver with an open port costs over 10 s.
#include "controller_port.h"
#include "driver/controller_report.h"
#include "driver_model.h"
#include "driver_server.h"
#include "platform/posix/posix_serial_port.h"
#include "recording_output.h"
#include "report_decoder.h"
#include "support/pty_line.h"
#include "touch_stream.h"

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
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using namespace qv::driverd;

// Report bytes of a touch under way to the event the pointer output is handed, without any I/O.
void BM_DecodeAndMapReport(benchmark::State& state) {
  TouchStream decoder;
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
  explicit DriverOnLine(std::uint32_t baudRate = 115200) {
    auto recording = std::make_unique<RecordingOutput>();
    recording->onEvent = [this](const PointerEvent& e) {
      const auto now = Clock::now();
      std::lock_guard lock(mutex);
      lastEvent = now;
      if (e.kind == PointerEvent::Kind::Down) lastDown = now;
      ++events;
      changed.notify_all();
    };
    DriverIo io;
    io.input = std::make_unique<TouchInput>([baudRate] { return ControllerPortSettings{"COM7", baudRate}; },
                                            qv::platform::systemSerialPortOpener());
    io.output = std::move(recording);
    ServerOptions options;
    options.socketPath = line.root / "dev" / "QV.VXD";
    // Played: nobody on this line answers the probes, and the port must stay open.
    options.behaviour.trueLimits = kDefaultTrueLimits;
    options.logPath = logPath();
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
  Clock::duration send(const qv::driver::ControllerReport& bytes) { return sendAfter(nullptr, bytes); }
  // Writes first, then bytes gap later (a pen down and the report that confirms it), and
  // waits for their events (a pen down brings two); the time from bytes' write to the last.
  Clock::duration sendAfter(const qv::driver::ControllerReport* first, const qv::driver::ControllerReport& bytes,
                            Clock::duration gap = {}, int expected = 1) {
    std::unique_lock lock(mutex);
    const int before = events;
    if (first) {
      const auto firstSent = Clock::now();
      line.send(first->data(), first->size());
      lock.unlock();
      std::this_thread::sleep_until(firstSent + gap);
      lock.lock();
    }
    const auto sent = Clock::now();
    line.send(bytes.data(), bytes.size());
    changed.wait_for(lock, 2s, [&] { return events >= before + expected; });
    return lastEvent - sent;
  }

  std::filesystem::path logPath() const { return line.root / "driverd.log"; }

  qv::bench::PtyLine line;
  std::unique_ptr<DriverServer> server;
  std::thread thread;
  std::atomic<pid_t> tid{0};
  std::mutex mutex;
  std::condition_variable changed;
  int events = 0;
  Clock::time_point lastEvent;
  Clock::time_point lastDown;
};

double medianMs(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// From a report written to the line to the event handed to the output. A pseudo-terminal
// passes bytes at once: all of it is beyond the report's own line time.
void BM_ReportOnLineToPointerEvent(benchmark::State& state) {
  DriverOnLine driver;
  // A touch under way: its pen down and the report that confirms it.
  const auto down = qv::driver::encodeControllerReport(true, 4000, 8000);
  driver.sendAfter(&down, down, {}, 2);
  std::vector<double> ms;
  int i = 0;
  for (auto _ : state) {
    const auto took = driver.send(qv::driver::encodeControllerReport(true, 4000 + (i++ % 2) * 64, 8000));
    ms.push_back(std::chrono::duration<double, std::milli>(took).count());
    state.SetIterationTime(ms.back() / 1000.0);
  }
  driver.send(qv::driver::encodeControllerReport(false, 4000, 8000));
  // A down and its confirming move, a move for each report after it, an up: no report
  // went without its event.
  if (driver.events != static_cast<int>(ms.size()) + 3) state.SkipWithError("a report gave no event");
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["p99_ms"] = ms[ms.size() * 99 / 100];
  state.counters["line_ms_9600"] = kReportSize * 10 * 1000.0 / 9600;
}
BENCHMARK(BM_ReportOnLineToPointerEvent)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);

// A touch at 9600 baud as the controller sends it: its pen-down report, the next report one
// report time (5.2 ms) later, and only that one brings the pen down. The time from the
// pen-down report's write to the event, against a move's report-to-event time: the
// difference is what the confirmation adds.
void BM_PenDownConfirmedByTheNextReport(benchmark::State& state) {
  DriverOnLine driver(9600);
  const auto reportTime = std::chrono::microseconds(kReportSize * 10 * 1'000'000 / 9600);
  std::vector<double> down, move, gap;
  int i = 0;
  for (auto _ : state) {
    const auto at = qv::driver::encodeControllerReport(true, 4000 + (i++ % 2) * 64, 8000);
    const auto firstSent = Clock::now();
    const auto confirmed = driver.sendAfter(&at, at, reportTime, 2);
    const auto downAt = driver.lastDown;
    if (downAt < firstSent) state.SkipWithError("no pen down");
    down.push_back(std::chrono::duration<double, std::milli>(downAt - firstSent).count());
    gap.push_back(std::chrono::duration<double, std::milli>(driver.lastEvent - confirmed - firstSent).count());
    move.push_back(std::chrono::duration<double, std::milli>(driver.send(at)).count());
    driver.send(qv::driver::encodeControllerReport(false, 4000, 8000));
    state.SetIterationTime(down.back() / 1000.0);
  }
  state.counters["down_median_ms"] = medianMs(down);
  state.counters["move_median_ms"] = medianMs(move);
  state.counters["writes_apart_median_ms"] = medianMs(gap);
  state.counters["extra_ms"] = medianMs(down) - medianMs(move);
  state.counters["report_time_ms"] = std::chrono::duration<double, std::milli>(reportTime).count();
}
BENCHMARK(BM_PenDownConfirmedByTheNextReport)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// 96,000 random bytes on the line, and the pen downs they make: taken as data (a line
// that marks nothing, such as a pseudo-terminal) and as a UART marks them when half the
// frames fail their stop bit; each through the report decoder alone (every report taken
// at its word) and through the touches it believes.
void BM_PenDownsFromLineNoise(benchmark::State& state) {
  for (auto _ : state) {
    std::mt19937 random(96000);
    std::vector<std::uint8_t> asData, marked;
    for (int i = 0; i < 96'000; ++i) {
      const auto byte = static_cast<std::uint8_t>(random());
      asData.push_back(byte);
      if (random() & 1) {
        marked.insert(marked.end(), {0xFF, 0x00});
      } else if (byte == 0xFF) {
        marked.push_back(0xFF);
      }
      marked.push_back(byte);
    }
    const qv::platform::SerialLineState settings = controllerLineState(9600);
    qv::platform::posix::MarkDecoder marks;
    std::vector<std::uint8_t> unmarked(marked.size());
    unmarked.resize(marks.decode(marked, unmarked, {settings.replaceErrorChar, settings.errorChar, false}).count);

    auto penDowns = [](const std::vector<TouchSample>& samples) {
      DriverModel model = startModel({});
      for (const TouchSample& s : samples) applyTouch(model, s);
      return static_cast<double>(model.line.penDowns);
    };
    auto reportsAlone = [&](const std::vector<std::uint8_t>& bytes) {
      ReportDecoder decoder;
      std::vector<TouchSample> samples;
      decoder.feed(bytes, samples);
      return penDowns(samples);
    };
    auto believed = [&](const std::vector<std::uint8_t>& bytes) {
      TouchStream touches;
      std::vector<TouchSample> samples;
      touches.feed(bytes, samples);
      touches.silence(samples);
      return penDowns(samples);
    };
    state.counters["as_data_reports_alone"] = reportsAlone(asData);
    state.counters["as_data_believed"] = believed(asData);
    state.counters["marked_reports_alone"] = reportsAlone(unmarked);
    state.counters["marked_believed"] = believed(unmarked);
  }
}
BENCHMARK(BM_PenDownsFromLineNoise)->Iterations(1)->Unit(benchmark::kMillisecond);

// 5 s of another device's traffic on the controller's line at 9600 baud (random bytes, one
// every 1.04 ms as the line delivers them): the log lines that say what was skipped, as
// lines a minute, and whether their counts add up to every byte sent.
void BM_ForeignTrafficLogLines(benchmark::State& state) {
  for (auto _ : state) {
    DriverOnLine driver(9600);
    std::mt19937 random(9600);
    const auto byteTime = std::chrono::microseconds(10 * 1'000'000 / 9600);
    const auto start = Clock::now();
    int sent = 0;
    for (auto at = start; at < start + 5s; at += byteTime, ++sent) {
      std::this_thread::sleep_until(at);
      const auto byte = static_cast<std::uint8_t>(random());
      driver.line.send(&byte, 1);
    }
    std::this_thread::sleep_for(1500ms);  // what is held back is said within a second
    std::ifstream log(driver.logPath());
    double lines = 0, noise = 0, cut = 0;
    for (std::string text; std::getline(log, text);) {
      if (text.find("skipped on the") == std::string::npos) continue;
      ++lines;
      unsigned long n = 0, c = 0;
      const char* counts = text.c_str() + text.find(": noise bytes");
      if (std::sscanf(counts, ": noise bytes %lu, reports cut short %lu", &n, &c) == 2) {
        noise += static_cast<double>(n);
        cut += static_cast<double>(c);
      }
    }
    state.counters["lines_per_minute"] = lines * 60 / 5;
    state.counters["bytes_sent"] = sent;
    state.counters["noise_bytes_said"] = noise;
    state.counters["cut_short_said"] = cut;
  }
}
BENCHMARK(BM_ForeignTrafficLogLines)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
