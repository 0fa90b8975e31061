#pragma once
// Wakes the reader of a serial device when a modem line changes on an otherwise quiet line.
// poll() on a terminal reports data and hang-ups only; the device's own wait for a line
// change (TIOCMIWAIT) blocks, so it runs on a thread of its own that sets an event the
// reader polls together with the port. Devices without that wait (pseudo-terminals) end the
// thread at once: they report no line changes, which is not a failure. A change in the
// instant between two waits wakes no one; the reader's counters still hold it, and report it
// with the next change or when the next read ends.
#include "platform/serial_port.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace qv::platform::posix {

// Blocks until a watched line changes: 0 when one did, -1 with errno set otherwise (EINTR
// when the watch interrupts it to stop).
using LineChangeWait = std::function<int()>;

class LineChangeWatch {
public:
  // Starts waiting at once; inactive (changed() is nullptr) when no event or thread can be had.
  explicit LineChangeWatch(LineChangeWait wait);
  // Interrupts a wait under way and ends the thread; one that does not end within a
  // second is left to end by itself.
  ~LineChangeWatch();
  LineChangeWatch(const LineChangeWatch&) = delete;
  LineChangeWatch& operator=(const LineChangeWatch&) = delete;

  // Set after each change; whoever polls it resets it, then reads what changed.
  const WaitEvent* changed() const { return shared_ ? &shared_->changed : nullptr; }

  // The ring and carrier-detect lines of the serial device fd.
  static LineChangeWait modemLines(int fd);

private:
  // What the thread uses: shared, so that a thread left behind still has it.
  struct Shared {
    explicit Shared(WaitEvent event) : changed(std::move(event)) {}
    WaitEvent changed;
    std::atomic<bool> stopping{false};
    std::promise<void> endedPromise;
  };
  static void run(Shared& shared, const LineChangeWait& wait);

  std::shared_ptr<Shared> shared_;  // set when the thread was started
  std::future<void> ended_;         // ready when the thread has ended
  std::thread thread_;
};

}  // namespace qv::platform::posix
