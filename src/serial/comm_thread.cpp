#include "serial/comm_thread.h"

#include <sys/resource.h>
#include <unistd.h>

namespace qv::serial {

CommThread::CommThread(std::function<void()> body, int priorityBoost) {
  std::promise<void> ended;
  ended_ = ended.get_future().share();
  thread_ = std::thread([body = std::move(body), ended = std::move(ended), priorityBoost]() mutable {
    if (priorityBoost > 0) {
      // Each step is one nice level below the process's own; refusal is harmless.
      const int base = ::getpriority(PRIO_PROCESS, 0);
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), base - priorityBoost);
    }
    body();
    ended.set_value();
  });
}

CommThread::~CommThread() {
  if (thread_.joinable()) thread_.join();
}

bool CommThread::waitFor(std::chrono::milliseconds timeout) const {
  return ended_.wait_for(timeout) == std::future_status::ready;
}

}  // namespace qv::serial
