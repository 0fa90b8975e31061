#include "serial/write_thread.h"

#include <array>

namespace qv::serial {

TWriteThread::TWriteThread(platform::SerialPort& port, const platform::WaitEvent& closeEvent, NotifySink notify)
    : port_(port),
      closeEvent_(closeEvent),
      notify_(std::move(notify)),
      queued_(platform::WaitEvent::create()),
      thread_([this] { run(); }, 1) {}

bool TWriteThread::post(std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (ended_ || !queued_) return false;
  if (queue_.size() >= RequestLimit || queuedBytes_ + bytes.size() > ByteLimit) return false;
  queuedBytes_ += bytes.size();
  queue_.push_back(std::move(bytes));
  queued_->set();
  return true;
}

std::optional<std::vector<std::uint8_t>> TWriteThread::take() {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) {
    // Reset under the lock, so a request queued from now on sets the event again.
    queued_->reset();
    return std::nullopt;
  }
  auto bytes = std::move(queue_.front());
  queue_.pop_front();
  queuedBytes_ -= bytes.size();
  return bytes;
}

void TWriteThread::postHangup() {
  try {
    notify_(CommMessage{CommMessageId::CommHangupMessage, 0, 0, {}});
  } catch (...) {
  }
}

bool TWriteThread::writeAll(const std::vector<std::uint8_t>& bytes) {
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const auto result = port_.write(std::span(bytes).subspan(offset), closeEvent_);
    switch (result.status) {
      case platform::IoStatus::Ok: offset += result.count; break;
      case platform::IoStatus::Cancelled:      // closing: the write is abandoned
      case platform::IoStatus::InvalidHandle:  // the port went away under us
        return false;
      case platform::IoStatus::Failed: postHangup(); return false;
    }
  }
  return true;
}

void TWriteThread::run() {
  if (!queued_) {
    postHangup();
  } else {
    bool announceEmpty = true;
    for (;;) {
      auto request = take();
      if (!request) {
        if (announceEmpty) {
          bool posted = false;
          try {
            posted = notify_(CommMessage{CommMessageId::CommTxEmptyMessage, 0, 0, {}});
          } catch (...) {
          }
          if (!posted) {
            postHangup();
            break;
          }
          announceEmpty = false;
        }
        const std::array<const platform::WaitEvent*, 2> waitSet{&closeEvent_, &*queued_};
        const int which = platform::waitForAny(waitSet);
        if (which == 0) break;
        if (which == 1) continue;
        postHangup();
        break;
      }
      if (closeEvent_.isSet()) break;
      if (!writeAll(*request)) break;
      announceEmpty = true;
    }
  }
  port_.purge(false, true);
  // Requests still queued are dropped; later ones are refused.
  std::lock_guard lock(mutex_);
  ended_ = true;
  queue_.clear();
  queuedBytes_ = 0;
}

}  // namespace qv::serial
