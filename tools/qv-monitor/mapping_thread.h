#pragma once
// The thread a touch-screen mapper runs on: woken by wake() (a new calibration, or to stop)
// through an eventfd its body polls beside the desktop's own connection, stopped and joined
// when it goes. It is born with the program's end signals blocked, so that none ends the
// program on it before the program's own watcher has cleaned up.
#include "platform/posix/unique_fd.h"

#include <atomic>
#include <functional>
#include <thread>

namespace qv::tools {

class MappingThread {
public:
  // Starts body on the thread; a body reads wakeFd() and stopping() of this object. The
  // owner declares it last, so that what body uses is there before it runs.
  explicit MappingThread(std::function<void()> body);
  ~MappingThread();  // stops and joins
  MappingThread(const MappingThread&) = delete;
  MappingThread& operator=(const MappingThread&) = delete;

  // From any thread.
  void wake();
  bool stopping() const { return stopping_; }
  // Readable while a wake is pending; -1 when it could not be made.
  int wakeFd() const { return wake_.get(); }
  // Takes the pending wakes; on the thread.
  void clearWake();

private:
  platform::UniqueFd wake_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace qv::tools
