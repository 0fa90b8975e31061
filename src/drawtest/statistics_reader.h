#pragma once
// Reads the driver's line statistics on a thread of its own, so that a driver slow to
// answer (up to its reply limit) never holds up the window that shows them. At most one
// reading is on its way at a time; asks made while one is on its way are merged into one
// more reading, taken when it ends.
//
// The reader outlives the drawing windows: a window that closes while a reading is on its
// way does not wait for it, and the answer then goes to no one: a reading is told only to
// the listener that asked for it, and a merged ask of a listener that is gone is dropped.
// Everything but the reading itself runs on the thread of the loop it is given.
#include "driver/driver_channel.h"
#include "drawtest/line_statistics_text.h"
#include "platform/event_loop.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace qv::drawtest {

class StatisticsReader {
public:
  using Listener = std::function<void(const StatisticsReading&)>;

  StatisticsReader(driver::DriverChannel& driver, platform::EventLoop& loop);
  // Ends a reading on its way at once: a driver that does not answer never holds up the
  // program's end.
  ~StatisticsReader();
  StatisticsReader(const StatisticsReader&) = delete;
  StatisticsReader& operator=(const StatisticsReader&) = delete;

  // Who is told the readings it asks for from now on; none when empty.
  void setListener(Listener listener) {
    listener_ = std::move(listener);
    forgetAsks();
  }
  // Readings asked for so far are told to no one, and asks merged while one is on its way
  // cost no request: what they were for has gone (a cleared canvas).
  void forgetAsks() { ++listenerNumber_; }
  // A reading now, or one more after the one on its way.
  void ask();
  // True from an ask until the last reading it led to was told.
  bool busy() const { return busy_; }

private:
  void answered(const StatisticsReading& reading);
  void start(std::uint64_t forListener);
  void run(std::stop_token stop);

  driver::DriverChannel& driver_;
  platform::EventLoop& loop_;
  platform::LifetimeGuard guard_;  // answers posted to a reader that is gone are dropped
  // On the loop's thread only.
  Listener listener_;
  std::uint64_t listenerNumber_ = 0;  // which listener is set: one more with each
  bool busy_ = false;
  std::uint64_t readingFor_ = 0;                // the listener that asked for the reading on its way
  std::optional<std::uint64_t> askedAgainBy_;  // the last listener that asked while it was on its way
  // Between the loop's thread and the worker.
  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool wanted_ = false;
  std::jthread worker_;  // last: stopped and joined before the members it uses go
};

}  // namespace qv::drawtest
