#pragma once
// Comm1 of the detection window: a TComm with the window's line settings, seen by the
// probe as its ProbeLine. Received bursts go to the reply handler on the owning thread,
// except those that belong to an earlier opening of the port.
#include "detect/detect_probe.h"
#include "platform/event_loop.h"
#include "serial/comm.h"

#include <functional>
#include <span>

namespace qv::detect {

// The line settings and time-outs the detection window gives Comm1: 19200 baud, 8 data
// bits, no parity, one stop bit, DTR and RTS raised, XON/XOFF both ways, a read interval
// of 100 ms so that a reply arrives as one burst.
void configureComm1(serial::TComm& comm);

class CommProbeLine final : public ProbeLine {
public:
  using ReplyHandler = std::function<void(std::span<const std::uint8_t>)>;

  // comm must post its events to loop. Takes over comm's OnReceiveData.
  CommProbeLine(serial::TComm& comm, platform::EventLoop& loop, ReplyHandler onReply);
  ~CommProbeLine() override;

  void open() override { comm_.OpenPort(); }
  void close() override;
  std::string portName() const override { return comm_.CommName(); }
  void setPortName(std::string name) override { comm_.setCommName(std::move(name)); }
  std::int32_t baudRate() const override { return comm_.BaudRate(); }
  void setBaudRate(std::int32_t rate) override { comm_.setBaudRate(rate); }
  void send(std::span<const std::uint8_t> bytes) override;

private:
  serial::TComm& comm_;
  platform::EventLoop& loop_;
  ReplyHandler onReply_;
  // Bursts of a closed opening are still queued on the loop when the port closes (the
  // reader has ended, so none comes later). A marker posted at close passes through the
  // queue behind them: until it has run, every burst is stale and is dropped, so that a
  // reply on one port is never taken for a reply of the next.
  int staleMarkers_ = 0;
  platform::LifetimeGuard guard_;
};

}  // namespace qv::detect
