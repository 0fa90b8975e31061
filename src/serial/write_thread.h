#pragma once
// TWriteThread: takes send requests in the order they were queued and writes each whole;
// announces an empty queue once per run of writes. Stops when the close event is set,
// dropping what is still queued.
#include "platform/serial_port.h"
#include "serial/comm_messages.h"
#include "serial/comm_thread.h"
#include "serial/pending_reports.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace qv::serial {

class TWriteThread {
public:
  // Requests, and their bytes, that may wait at once: a line held by flow control (XOFF)
  // takes nothing, and the queue stays bounded while it does, as the reports posted to the
  // owner are.
  static constexpr std::size_t RequestLimit = PendingReports::ReportLimit;
  static constexpr std::size_t ByteLimit = PendingReports::ByteLimit;

  // Starts at once; throws std::system_error when no thread can be had. port and
  // closeEvent must outlive this object.
  TWriteThread(platform::SerialPort& port, const platform::WaitEvent& closeEvent, NotifySink notify);

  // Queues bytes to send; false when the writer has ended and takes no more, or when the
  // queue is full.
  bool post(std::vector<std::uint8_t> bytes);

  bool waitFor(std::chrono::milliseconds timeout) const { return thread_.waitFor(timeout); }

private:
  void run();
  std::optional<std::vector<std::uint8_t>> take();
  bool writeAll(const std::vector<std::uint8_t>& bytes);
  void postHangup();

  platform::SerialPort& port_;
  const platform::WaitEvent& closeEvent_;
  NotifySink notify_;
  std::optional<platform::WaitEvent> queued_;  // set while requests wait
  std::mutex mutex_;
  std::deque<std::vector<std::uint8_t>> queue_;
  std::size_t queuedBytes_ = 0;
  bool ended_ = false;
  CommThread thread_;  // last: starts once the fields above are set
};

}  // namespace qv::serial
