#include "store_writer.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <utility>

namespace qv::driverd {

StoreWriter::StoreWriter(Write write)
    : write_(std::move(write)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), thread_([this] { run(); }) {}

StoreWriter::~StoreWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void StoreWriter::add(StoreJob job) {
  {
    std::lock_guard lock(mutex_);
    todo_.push_back(std::move(job));
  }
  changed_.notify_all();
}

std::vector<StoreJob> StoreWriter::takeFinished() {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto ignored = ::read(wake_.get(), &count, sizeof count);
  std::lock_guard lock(mutex_);
  return std::exchange(finished_, {});
}

void StoreWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
    if (stopping_) return;
    StoreJob job = std::move(todo_.front());
    todo_.pop_front();
    lock.unlock();
    job.recorded = write_(job.outcome);
    lock.lock();
    finished_.push_back(std::move(job));
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wake_.get(), &one, sizeof one);
  }
}

}  // namespace qv::driverd
