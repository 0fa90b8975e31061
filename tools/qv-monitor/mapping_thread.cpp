#include "mapping_thread.h"

#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace qv::tools {

MappingThread::MappingThread(std::function<void()> body) : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  sigset_t ends, before;
  sigemptyset(&ends);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ends, sig);
  pthread_sigmask(SIG_BLOCK, &ends, &before);
  thread_ = std::thread(std::move(body));
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

MappingThread::~MappingThread() {
  stopping_ = true;
  wake();
  thread_.join();
}

void MappingThread::wake() {
  const std::uint64_t one = 1;
  // Only a counter at its limit refuses, and then a wake is pending anyway.
  [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

void MappingThread::clearWake() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(wake_.get(), &count, sizeof count);
}

}  // namespace qv::tools
