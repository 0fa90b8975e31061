// The serial port component on a pseudo-terminal: how soon a burst is reported after its
// last byte, how fast a long stream passes compared with a plain read loop, what an idle
// open port costs, and how much waits for an owner that is slower than a flooding line.
#include "platform/machine_root.h"
#include "platform/manual_event_loop.h"
#include "serial/comm.h"
#include "support/pty_line.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using Line = qv::bench::PtyLine;

void rawLine(qv::serial::TComm& comm) {
  comm.setCommName("COM7");
  comm.setOutx_XonXoffFlow(false);
  comm.setInx_XonXoffFlow(false);
}

// From the last byte of a 3-byte burst written to the line to OnReceiveData running on
// the owning thread. The read interval (100 ms) is part of it by design.
void BM_BurstToReceiveDataLatency(benchmark::State& state) {
  Line line;
  qv::platform::ManualEventLoop loop;
  qv::serial::TComm comm(loop);
  rawLine(comm);
  Clock::time_point arrived;
  bool got = false;
  comm.OnReceiveData = [&](qv::serial::TComm&, const std::uint8_t*, std::uint16_t) {
    arrived = Clock::now();
    got = true;
  };
  comm.OpenPort();
  loop.runFor(50ms);
  std::vector<double> samples;
  const std::uint8_t burst[] = {0xFF, 0x70, 0x00};
  for (auto _ : state) {
    got = false;
    line.send(burst, sizeof burst);
    const auto sent = Clock::now();
    loop.runUntil([&] { return got; }, 2s);
    const double ms = std::chrono::duration<double, std::milli>(arrived - sent).count();
    samples.push_back(ms);
    state.SetIterationTime(ms / 1000.0);
  }
  std::sort(samples.begin(), samples.end());
  state.counters["median_ms"] = samples[samples.size() / 2];
  state.counters["max_ms"] = samples.back();
  comm.ClosePort();
}
BENCHMARK(BM_BurstToReceiveDataLatency)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

constexpr std::size_t kStreamBytes = 2048 * 2048;  // whole read buffers: no trailing quiet wait

void feed(const Line& line) {
  std::vector<std::uint8_t> chunk(64 * 1024);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i % 251);
  for (std::size_t sent = 0; sent < kStreamBytes; sent += chunk.size()) line.send(chunk.data(), chunk.size());
}

// A long stream through the component into OnReceiveData.
void BM_StreamThroughComponent(benchmark::State& state) {
  Line line;
  qv::platform::ManualEventLoop loop;
  qv::serial::TComm comm(loop);
  rawLine(comm);
  std::size_t received = 0;
  comm.OnReceiveData = [&](qv::serial::TComm&, const std::uint8_t*, std::uint16_t n) { received += n; };
  comm.OpenPort();
  loop.runFor(50ms);
  for (auto _ : state) {
    received = 0;
    std::thread writer([&] { feed(line); });
    loop.runUntil([&] { return received >= kStreamBytes; }, 60s);
    writer.join();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
  comm.ClosePort();
}
BENCHMARK(BM_StreamThroughComponent)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same stream read by a plain blocking loop on the same line, set up as the
// component leaves it.
void BM_StreamThroughPlainReadLoop(benchmark::State& state) {
  Line line;
  {
    qv::platform::ManualEventLoop loop;
    qv::serial::TComm comm(loop);
    rawLine(comm);
    comm.OpenPort();
    comm.ClosePort();
  }
  const int fd = ::open(line.slaveName.c_str(), O_RDWR | O_NOCTTY);
  std::vector<std::uint8_t> buffer(2048);
  for (auto _ : state) {
    std::size_t received = 0;
    std::thread writer([&] { feed(line); });
    while (received < kStreamBytes) {
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n <= 0) break;
      received += static_cast<std::size_t>(n);
    }
    writer.join();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
  ::close(fd);
}
BENCHMARK(BM_StreamThroughPlainReadLoop)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU time used by the whole process while a port stays open and idle for 10 s.
void BM_IdleOpenPortCpu(benchmark::State& state) {
  Line line;
  qv::platform::ManualEventLoop loop;
  qv::serial::TComm comm(loop);
  rawLine(comm);
  comm.OpenPort();
  loop.runFor(50ms);
  double cpuMs = 0;
  for (auto _ : state) {
    timespec before{}, after{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(10s);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
  }
  state.counters["cpu_ms_per_10s"] = cpuMs;
  comm.ClosePort();
}
BENCHMARK(BM_IdleOpenPortCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak resident memory of the process, in MiB (VmHWM).
double peakResidentMiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  double kib = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmHWM: %lf kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib / 1024.0;
}

// A sender that writes as fast as the line takes it for up to 10 s, against an owner that
// spends 2 ms on each received block. Reports the most reports that waited for the owner
// at once, how many blocks the owner saw, and whether (and when) it heard of a hang-up.
void BM_FloodAgainstSlowOwner(benchmark::State& state) {
  Line line;
  qv::platform::ManualEventLoop loop;
  qv::serial::TComm comm(loop);
  rawLine(comm);
  constexpr auto kFlood = 10s;
  std::atomic<bool> stop{false};
  Clock::time_point start;
  std::size_t blocks = 0;
  std::size_t peakWaiting = 0;
  bool hungUp = false;
  Clock::time_point hangupAt;
  // Slow while the flood lasts; afterwards the backlog is drained at full speed.
  comm.OnReceiveData = [&](qv::serial::TComm&, const std::uint8_t*, std::uint16_t) {
    ++blocks;
    peakWaiting = std::max(peakWaiting, loop.pendingCount());
    if (Clock::now() - start < kFlood) {
      std::this_thread::sleep_for(2ms);
    } else {
      stop = true;
    }
  };
  comm.OnRequestHangup = [&](qv::serial::TComm&) {
    hungUp = true;
    hangupAt = Clock::now();
    stop = true;
  };
  comm.OpenPort();
  loop.runFor(50ms);
  for (auto _ : state) {
    start = Clock::now();
    // Non-blocking, so the sender notices the stop once the reader has given up.
    ::fcntl(line.master, F_SETFL, ::fcntl(line.master, F_GETFL) | O_NONBLOCK);
    std::thread sender([&] {
      std::vector<std::uint8_t> chunk(4096, 0x5A);
      while (!stop && Clock::now() - start < kFlood) {
        if (::write(line.master, chunk.data(), chunk.size()) < 0) {
          pollfd out{line.master, POLLOUT, 0};
          ::poll(&out, 1, 20);
        }
      }
    });
    loop.runUntil([&] { return hungUp || Clock::now() - start >= kFlood; }, kFlood + 5s);
    stop = true;
    sender.join();
    state.counters["hangup_after_s"] = hungUp ? std::chrono::duration<double>(hangupAt - start).count() : -1;
  }
  comm.ClosePort();
  loop.runPending();
  state.counters["peak_waiting_reports"] = static_cast<double>(peakWaiting);
  state.counters["blocks_seen"] = static_cast<double>(blocks);
  state.counters["peak_rss_MiB"] = peakResidentMiB();
}
BENCHMARK(BM_FloodAgainstSlowOwner)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
