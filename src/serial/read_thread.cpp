#include "serial/read_thread.h"

#include <algorithm>
#include <array>
#include <new>

namespace qv::serial {

TReadThread::TReadThread(platform::SerialPort& port, const platform::WaitEvent& closeEvent, NotifySink notify)
    : port_(port), closeEvent_(closeEvent), notify_(std::move(notify)), thread_([this] { run(); }, 2) {}  // collects bytes promptly

bool TReadThread::post(CommMessage message) {
  try {
    return notify_(std::move(message));
  } catch (...) {
    return false;
  }
}

void TReadThread::postHangup() { post(CommMessage{CommMessageId::CommHangupMessage, 0, 0, {}}); }

// Hands count bytes over in a new block ending with a zero byte. An empty read delivers
// nothing and ends the reader without a word.
bool TReadThread::deliver(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0) return false;
  CommMessage message{CommMessageId::CommDataMessage, static_cast<std::uint32_t>(count), 0, {}};
  try {
    message.block.assign(count + 1, 0);
  } catch (const std::bad_alloc&) {
    postHangup();
    return false;
  }
  std::copy_n(bytes, count, message.block.begin());
  if (!post(std::move(message))) {
    postHangup();
    return false;
  }
  return true;
}

void TReadThread::run() {
  std::array<std::uint8_t, BufferSize> buffer{};
  for (;;) {
    const platform::ReadResult result = port_.read(buffer, closeEvent_);
    if (result.status == platform::IoStatus::Cancelled || result.status == platform::IoStatus::InvalidHandle) {
      break;
    }
    if (result.status != platform::IoStatus::Ok) {
      postHangup();
      break;
    }
    if (result.lineErrors != 0 &&
        !post(CommMessage{CommMessageId::CommErrorMessage, 0, static_cast<std::int32_t>(result.lineErrors), {}})) {
      postHangup();
      break;
    }
    if (result.modemEvents != 0 &&
        !post(CommMessage{CommMessageId::CommModemMessage, 0, static_cast<std::int32_t>(result.modemEvents), {}})) {
      postHangup();
      break;
    }
    // A read that only reported line events goes on reading.
    if (result.count == 0 && (result.lineErrors != 0 || result.modemEvents != 0)) continue;
    if (!deliver(buffer.data(), result.count)) break;
  }
  port_.purge(true, false);
}

}  // namespace qv::serial
