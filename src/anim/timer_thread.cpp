#include "anim/timer_thread.h"

#include "anim/timer_ex.h"
#include "platform/event_loop.h"

#include <chrono>

namespace qv::anim {

// One tick handed to the user-interface thread. Shared with the posted call, which may run
// after this thread is gone; `cancelled` tells it the timer may be gone too.
struct TTimerThread::HandOff {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool cancelled = false;
};

TTimerThread::TTimerThread(TTimerEx& timer, platform::EventLoop& loop)
    : timer_(timer), loop_(loop), priority_(timer.threadPriority()), thread_([this] { run(); }) {}

TTimerThread::~TTimerThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (pending_) {
      std::lock_guard handOffLock(pending_->mutex);
      pending_->cancelled = true;
      pending_->finished.notify_all();
    }
  }
  wake_.notify_all();
  thread_.join();
}

void TTimerThread::pause() {
  {
    std::lock_guard lock(mutex_);
    paused_ = true;
    ++changes_;
  }
  wake_.notify_all();
}

void TTimerThread::resume(TThreadPriority priority) {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
    priority_ = priority;
    ++changes_;
  }
  wake_.notify_all();
}

bool TTimerThread::paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

bool TTimerThread::stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void TTimerThread::run() {
  std::unique_lock lock(mutex_);
  TThreadPriority applied = priority_;
  applyToCurrentThread(applied);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !paused_; });
    if (stopping_) return;
    if (priority_ != applied) {
      applied = priority_;
      applyToCurrentThread(applied);
    }
    const std::uint64_t seen = changes_;
    const std::uint32_t interval = timer_.interval();
    const auto changed = [this, seen] { return stopping_ || changes_ != seen; };
    if (interval == 0) {
      // Interval 0 means no ticks; the update that set it is about to pause us.
      wake_.wait(lock, changed);
    } else {
      wake_.wait_for(lock, std::chrono::milliseconds(interval), changed);
    }
    if (stopping_) return;
    if (changes_ != seen) continue;  // paused or re-timed during the sleep: start afresh
    lock.unlock();
    tick();
    lock.lock();
  }
}

void TTimerThread::tick() {
  if (timer_.threadSafe()) {
    timer_.Timer();
    return;
  }
  auto handOff = std::make_shared<HandOff>();
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    pending_ = handOff;
  }
  TTimerEx* timer = &timer_;
  loop_.post([handOff, timer] {
    {
      std::lock_guard lock(handOff->mutex);
      if (handOff->cancelled) return;  // released meanwhile: the timer may be gone
    }
    timer->tickOnUiThread();
    {
      std::lock_guard lock(handOff->mutex);
      handOff->done = true;
    }
    handOff->finished.notify_all();
  });
  {
    std::unique_lock lock(handOff->mutex);
    handOff->finished.wait(lock, [&] { return handOff->done || handOff->cancelled; });
  }
  std::lock_guard lock(mutex_);
  pending_.reset();
}

}  // namespace qv::anim
