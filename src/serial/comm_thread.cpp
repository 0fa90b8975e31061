#include "serial/comm_thread.h"

namespace qv::serial {

CommThread::CommThread(std::function<void()> body) {
  std::promise<void> ended;
  ended_ = ended.get_future().share();
  thread_ = std::thread([body = std::move(body), ended = std::move(ended)]() mutable {
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
