#include "drawtest/statistics_reader.h"

namespace qv::drawtest {

StatisticsReader::StatisticsReader(driver::DriverChannel& driver, platform::EventLoop& loop)
    : driver_(driver), loop_(loop), worker_([this](std::stop_token stop) { run(std::move(stop)); }) {}

StatisticsReader::~StatisticsReader() = default;

void StatisticsReader::ask() {
  if (busy_) {
    askedAgainBy_ = listenerNumber_;
    return;
  }
  busy_ = true;
  start(listenerNumber_);
}

void StatisticsReader::answered(const StatisticsReading& reading) {
  if (listener_ && readingFor_ == listenerNumber_) listener_(reading);
  if (askedAgainBy_ == listenerNumber_) {
    start(listenerNumber_);
  } else {
    busy_ = false;
  }
  askedAgainBy_.reset();
}

void StatisticsReader::start(std::uint64_t forListener) {
  readingFor_ = forListener;
  {
    std::lock_guard lock(mutex_);
    wanted_ = true;
  }
  wake_.notify_one();
}

void StatisticsReader::run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (wake_.wait(lock, stop, [this] { return wanted_; })) {
    wanted_ = false;
    lock.unlock();
    const StatisticsReading reading = readLineStatistics(driver_, stop);
    loop_.post(guard_.guarded([this, reading] { answered(reading); }));
    lock.lock();
  }
}

}  // namespace qv::drawtest
