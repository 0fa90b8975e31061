#pragma once
// What the reader and writer share: a worker thread that runs a body once, can be waited
// for with a time limit, and is joined when it goes.
#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace qv::serial {

class CommThread {
public:
  // Starts body on a new thread; throws std::system_error when the system refuses one.
  // priorityBoost steps the thread above normal scheduling priority where the system
  // allows it (an unprivileged process may not, and then the thread runs at normal).
  explicit CommThread(std::function<void()> body, int priorityBoost = 0);
  ~CommThread();  // waits for the body to end
  CommThread(const CommThread&) = delete;
  CommThread& operator=(const CommThread&) = delete;

  // True when the body has ended within timeout.
  bool waitFor(std::chrono::milliseconds timeout) const;

private:
  std::shared_future<void> ended_;
  std::thread thread_;
};

}  // namespace qv::serial
