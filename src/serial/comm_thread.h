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
  explicit CommThread(std::function<void()> body);
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
