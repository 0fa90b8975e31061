#include "detect/port_prober.h"

namespace qv::detect {

TickWait realTimeTicks(std::chrono::milliseconds interval) {
  auto due = std::make_shared<std::chrono::steady_clock::time_point>();
  return [interval, due](platform::ManualEventLoop& loop, const std::function<bool()>& closed) {
    const auto now = std::chrono::steady_clock::now();
    if (*due == std::chrono::steady_clock::time_point{} || *due + interval < now) *due = now;
    *due += interval;
    while (!closed()) {
      const auto left = *due - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return;
      loop.runUntil(closed, std::chrono::duration_cast<std::chrono::milliseconds>(left) +
                                std::chrono::milliseconds(1));
    }
  };
}

PortProber::PortProber(ProbeState& state, TickWait wait, platform::SerialPortOpener opener)
    : comm_(loop_, std::move(opener)),
      line_(comm_, loop_, [this](std::span<const std::uint8_t> bytes) {
        ++bursts_;
        probe_.Comm1ReceiveData(bytes);
      }),
      probe_(state, line_, *this),
      wait_(std::move(wait)) {
  configureComm1(comm_);
}

PortProber::~PortProber() {
  probe_.FormClose();
  loop_.runPending();
}

void PortProber::stop() {
  stopRequested_ = true;
  loop_.post([] {});  // wakes a wait in progress
}

void PortProber::showModal() {
  closed_ = false;
  ticks_ = 0;
  if (stopRequested_ || !probe_.FormShow()) return;
  const std::function<bool()> closed = [this] { return closed_ || stopRequested_; };
  while (!closed()) {
    wait_(loop_, closed);
    if (closed() || !timerEnabled_) break;
    ++ticks_;
    probe_.Timer1Timer();
    if (onTick) onTick(ticks_);
  }
  probe_.FormClose();
}

}  // namespace qv::detect
