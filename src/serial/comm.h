#pragma once
// TComm: owns one serial port. Keeps its line settings and time-outs, opens it by name,
// runs a reader and a writer thread on it, queues outgoing bytes without blocking, and
// turns the threads' reports into events on the owning thread, in the order posted.
#include "platform/event_loop.h"
#include "platform/serial_port.h"
#include "serial/comm_messages.h"
#include "serial/comm_types.h"
#include "serial/pending_reports.h"
#include "serial/read_thread.h"
#include "serial/write_thread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace qv::serial {

// Raised by OpenPort, with one of the messages below.
class ECommsError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

namespace comm_error {
inline constexpr const char* AlreadyOpen = "This serial port already opened";
inline constexpr const char* OpenFailed = "Error opening serial port";
inline constexpr const char* NotCommHandle = "File handle is not a comm handle ";  // the space belongs to it
inline constexpr const char* BufferSetup = "Cannot setup comm buffer";
inline constexpr const char* EventCreation = "Unable to create event";
inline constexpr const char* ReadThreadCreation = "Unable to create read thread";
inline constexpr const char* WriteThreadCreation = "Unable to create write thread";
}  // namespace comm_error

class TComm;
using TReceiveDataEvent = std::function<void(TComm& Sender, const std::uint8_t* Buffer, std::uint16_t BufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm& Sender, std::int32_t EventMask)>;
using TModemStateChangeEvent = std::function<void(TComm& Sender, std::int32_t ModemEvent)>;
using TNotifyEvent = std::function<void(TComm& Sender)>;
using TSendDataEmptyEvent = std::function<void(TComm& Sender)>;

class TComm {
public:
  static constexpr std::size_t QueueSize = 4096;
  static constexpr std::chrono::milliseconds StopWait{10000};

  // Events run on loop's thread, which must be the thread that uses the component.
  explicit TComm(platform::EventLoop& loop,
                 platform::SerialPortOpener opener = platform::systemSerialPortOpener());
  // Closes the port when the owner has not: the threads must not outlive the component.
  ~TComm();
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  // Raises ECommsError when the port cannot be opened; leaves nothing open then.
  void OpenPort();
  // Stops both threads and closes the port; nothing when closed. Queued sends are dropped.
  void ClosePort();
  // Copies and queues bytes for the writer without waiting. False when the port is
  // closed, length is 0, the writer takes no more, or its queue is full
  // (TWriteThread::RequestLimit requests or ByteLimit bytes wait already).
  bool SendData(const void* buffer, std::uint16_t length);
  bool isOpen() const { return port_ != nullptr; }

  // Reports of the threads, and bytes of received blocks, posted to the owning thread and
  // not yet handled. Bounded by PendingReports' limits: a report that does not fit ends
  // the thread that posted it with OnRequestHangup.
  std::size_t pendingReports() const { return pending_.reports(); }
  std::size_t pendingBytes() const { return pending_.bytes(); }

  // Properties. Setters of line settings and time-outs re-apply them when the port is open
  // and the value really changed; Parity and CommName are only stored.
  const CommSettings& settings() const { return s_; }
  const std::string& CommName() const { return s_.CommName; }
  std::int32_t BaudRate() const { return s_.BaudRate; }
  bool ParityCheck() const { return s_.ParityCheck; }
  bool Outx_CtsFlow() const { return s_.Outx_CtsFlow; }
  bool Outx_DsrFlow() const { return s_.Outx_DsrFlow; }
  TDtrControl DtrControl() const { return s_.DtrControl; }
  bool DsrSensitivity() const { return s_.DsrSensitivity; }
  bool TxContinueOnXoff() const { return s_.TxContinueOnXoff; }
  bool Outx_XonXoffFlow() const { return s_.Outx_XonXoffFlow; }
  bool Inx_XonXoffFlow() const { return s_.Inx_XonXoffFlow; }
  bool ReplaceWhenParityError() const { return s_.ReplaceWhenParityError; }
  bool IgnoreNullChar() const { return s_.IgnoreNullChar; }
  TRtsControl RtsControl() const { return s_.RtsControl; }
  std::uint16_t XonLimit() const { return s_.XonLimit; }
  std::uint16_t XoffLimit() const { return s_.XoffLimit; }
  TByteSize ByteSize() const { return s_.ByteSize; }
  TParity Parity() const { return s_.Parity; }
  TStopBits StopBits() const { return s_.StopBits; }
  std::uint8_t XonChar() const { return s_.XonChar; }
  std::uint8_t XoffChar() const { return s_.XoffChar; }
  std::uint8_t ReplacedChar() const { return s_.ReplacedChar; }
  std::int32_t ReadIntervalTimeout() const { return s_.ReadIntervalTimeout; }
  std::int32_t ReadTotalTimeoutMultiplier() const { return s_.ReadTotalTimeoutMultiplier; }
  std::int32_t ReadTotalTimeoutConstant() const { return s_.ReadTotalTimeoutConstant; }
  std::int32_t WriteTotalTimeoutMultiplier() const { return s_.WriteTotalTimeoutMultiplier; }
  std::int32_t WriteTotalTimeoutConstant() const { return s_.WriteTotalTimeoutConstant; }

  void setCommName(std::string value) { s_.CommName = std::move(value); }
  void setBaudRate(std::int32_t value) { setState(s_.BaudRate, value); }
  void setParityCheck(bool value) { setState(s_.ParityCheck, value); }
  void setOutx_CtsFlow(bool value) { setState(s_.Outx_CtsFlow, value); }
  void setOutx_DsrFlow(bool value) { setState(s_.Outx_DsrFlow, value); }
  void setDtrControl(TDtrControl value) { setState(s_.DtrControl, value); }
  void setDsrSensitivity(bool value) { setState(s_.DsrSensitivity, value); }
  void setTxContinueOnXoff(bool value) { setState(s_.TxContinueOnXoff, value); }
  void setOutx_XonXoffFlow(bool value) { setState(s_.Outx_XonXoffFlow, value); }
  void setInx_XonXoffFlow(bool value) { setState(s_.Inx_XonXoffFlow, value); }
  void setReplaceWhenParityError(bool value) { setState(s_.ReplaceWhenParityError, value); }
  void setIgnoreNullChar(bool value) { setState(s_.IgnoreNullChar, value); }
  void setRtsControl(TRtsControl value) { setState(s_.RtsControl, value); }
  void setXonLimit(std::uint16_t value) { setState(s_.XonLimit, value); }
  void setXoffLimit(std::uint16_t value) { setState(s_.XoffLimit, value); }
  void setByteSize(TByteSize value) { setState(s_.ByteSize, value); }
  void setParity(TParity value) { s_.Parity = value; }  // applies with the next line settings
  void setStopBits(TStopBits value) { setState(s_.StopBits, value); }
  void setXonChar(std::uint8_t value) { setState(s_.XonChar, value); }
  void setXoffChar(std::uint8_t value) { setState(s_.XoffChar, value); }
  void setReplacedChar(std::uint8_t value) { setState(s_.ReplacedChar, value); }
  void setReadIntervalTimeout(std::int32_t value) { setTimeout(s_.ReadIntervalTimeout, value); }
  void setReadTotalTimeoutMultiplier(std::int32_t value) { setTimeout(s_.ReadTotalTimeoutMultiplier, value); }
  void setReadTotalTimeoutConstant(std::int32_t value) { setTimeout(s_.ReadTotalTimeoutConstant, value); }
  void setWriteTotalTimeoutMultiplier(std::int32_t value) { setTimeout(s_.WriteTotalTimeoutMultiplier, value); }
  void setWriteTotalTimeoutConstant(std::int32_t value) { setTimeout(s_.WriteTotalTimeoutConstant, value); }

  // Events; an event left empty is skipped. Buffer is valid only during the call.
  TReceiveDataEvent OnReceiveData;
  TReceiveErrorEvent OnReceiveError;
  TModemStateChangeEvent OnModemStateChange;
  TNotifyEvent OnRequestHangup;
  TSendDataEmptyEvent OnSendDataEmpty;

  // Runs one report of the threads as its event (what the owning thread does with each
  // posted report); public so that reports can be replayed in tests.
  void handleNotification(const CommMessage& message);

private:
  template <typename T>
  void setState(T& field, T value) {
    if (field == value) return;
    field = value;
    if (isOpen()) ApplyCommState();
  }
  void setTimeout(std::int32_t& field, std::int32_t value) {
    if (field == value) return;
    field = value;
    if (isOpen()) ApplyCommTimeouts();
  }
  void ApplyCommState();
  void ApplyCommTimeouts();
  NotifySink makeSink();
  void stopReader();
  void stopWriter();

  platform::EventLoop& loop_;
  platform::SerialPortOpener opener_;
  CommSettings s_;
  // Declared before the port and threads: reports posted by the threads check these, and
  // they must stay valid until the threads have ended.
  platform::LifetimeGuard guard_;
  PendingReports pending_;  // counted by the threads, released on the owning thread
  std::unique_ptr<platform::SerialPort> port_;
  std::optional<platform::WaitEvent> closeEvent_;
  std::unique_ptr<TReadThread> reader_;
  std::unique_ptr<TWriteThread> writer_;
};

}  // namespace qv::serial
