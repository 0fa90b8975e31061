#include "serial/comm.h"

#include <cstring>
#include <system_error>

namespace qv::serial {

TComm::TComm(platform::EventLoop& loop, platform::SerialPortOpener opener)
    : loop_(loop), opener_(std::move(opener)) {}

TComm::~TComm() { ClosePort(); }

NotifySink TComm::makeSink() {
  // Runs on the worker threads: only the loop, the guard and the pending count are
  // touched there.
  return [this](CommMessage message) -> bool {
    const std::size_t blockBytes = message.block.size();
    if (!pending_.admit(blockBytes, message.id == CommMessageId::CommHangupMessage)) return false;
    try {
      loop_.post(guard_.guarded([this, message = std::move(message)] {
        pending_.release(message.block.size());
        handleNotification(message);
      }));
      return true;
    } catch (...) {
      pending_.release(blockBytes);
      return false;
    }
  };
}

void TComm::OpenPort() {
  if (isOpen()) throw ECommsError(comm_error::AlreadyOpen);

  platform::SerialOpenResult opened;
  try {
    opened = opener_(s_.CommName);
  } catch (...) {
    // A machine root that cannot be made (or any other trouble on the way) leaves no
    // port to open.
    throw ECommsError(comm_error::OpenFailed);
  }
  if (opened.status == platform::SerialOpenStatus::NotCharDevice) throw ECommsError(comm_error::NotCommHandle);
  if (opened.status != platform::SerialOpenStatus::Ok || !opened.port) throw ECommsError(comm_error::OpenFailed);
  if (!opened.port->setupQueues(QueueSize, QueueSize)) throw ECommsError(comm_error::BufferSetup);

  // From here on the component counts as open.
  port_ = std::move(opened.port);
  port_->purge(true, true);
  ApplyCommTimeouts();
  ApplyCommState();

  closeEvent_ = platform::WaitEvent::create();
  if (!closeEvent_) {
    port_.reset();
    throw ECommsError(comm_error::EventCreation);
  }
  try {
    reader_ = std::make_unique<TReadThread>(*port_, *closeEvent_, makeSink());
  } catch (const std::exception&) {
    reader_.reset();
    closeEvent_.reset();
    port_.reset();
    throw ECommsError(comm_error::ReadThreadCreation);
  }
  try {
    writer_ = std::make_unique<TWriteThread>(*port_, *closeEvent_, makeSink());
  } catch (const std::exception&) {
    stopReader();
    writer_.reset();
    closeEvent_.reset();
    port_.reset();
    throw ECommsError(comm_error::WriteThreadCreation);
  }
}

void TComm::stopReader() {
  if (!reader_) return;
  closeEvent_->set();
  port_->purge(true, false);
  // The reader answers the close event at once; a thread still running after the
  // bounded wait is waited for when it is released, since it still uses the port.
  reader_->waitFor(StopWait);
  reader_.reset();
}

void TComm::stopWriter() {
  if (!writer_) return;
  closeEvent_->set();
  port_->purge(false, true);
  writer_->waitFor(StopWait);
  writer_.reset();
}

void TComm::ClosePort() {
  if (!isOpen()) return;
  stopReader();
  stopWriter();
  closeEvent_.reset();
  port_.reset();
}

bool TComm::SendData(const void* buffer, std::uint16_t length) {
  if (!writer_ || length == 0 || buffer == nullptr) return false;
  std::vector<std::uint8_t> copy(length);
  std::memcpy(copy.data(), buffer, length);
  return writer_->post(std::move(copy));
}

void TComm::ApplyCommState() {
  if (!port_) return;
  const auto current = port_->lineState();
  if (!current) return;
  // A refusal (baud rate 0, a speed the system lacks) leaves the port as it was.
  port_->setLineState(buildLineState(s_, *current));
}

void TComm::ApplyCommTimeouts() {
  if (!port_) return;
  port_->setTimeouts(buildTimeouts(s_));
}

void TComm::handleNotification(const CommMessage& message) {
  // Each handler is called through a copy so that it may reassign the event, or close
  // the port, while it runs.
  switch (message.id) {
    case CommMessageId::CommDataMessage:
      if (auto handler = OnReceiveData) {
        handler(*this, message.block.data(), static_cast<std::uint16_t>(message.wParam));
      }
      break;
    case CommMessageId::CommErrorMessage:
      if (auto handler = OnReceiveError) handler(*this, message.lParam);
      break;
    case CommMessageId::CommHangupMessage:
      if (auto handler = OnRequestHangup) handler(*this);
      break;
    case CommMessageId::CommModemMessage:
      if (auto handler = OnModemStateChange) handler(*this, message.lParam);
      break;
    case CommMessageId::CommTxEmptyMessage:
      if (auto handler = OnSendDataEmpty) handler(*this);
      break;
  }
}

}  // namespace qv::serial
