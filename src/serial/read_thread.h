#pragma once
// TReadThread: reads bursts from the port and reports them, with line errors and
// modem-line changes, to the owning thread until the close event is set or reading fails.
#include "platform/serial_port.h"
#include "serial/comm_messages.h"
#include "serial/comm_thread.h"

#include <chrono>
#include <cstddef>

namespace qv::serial {

class TReadThread {
public:
  static constexpr std::size_t BufferSize = 2048;

  // Starts reading at once; throws std::system_error when no thread can be had. port and
  // closeEvent must outlive this object.
  TReadThread(platform::SerialPort& port, const platform::WaitEvent& closeEvent, NotifySink notify);

  bool waitFor(std::chrono::milliseconds timeout) const { return thread_.waitFor(timeout); }

private:
  void run();
  bool deliver(const std::uint8_t* bytes, std::size_t count);
  bool post(CommMessage message);
  void postHangup();

  platform::SerialPort& port_;
  const platform::WaitEvent& closeEvent_;
  NotifySink notify_;
  CommThread thread_;  // last: starts once the fields above are set
};

}  // namespace qv::serial
