#pragma once
// Polling for something another process or thread brings about.
#include <chrono>
#include <functional>
#include <thread>

namespace qv::test {

// True as soon as pred holds, checked every 10 ms; false when limit passed first.
inline bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace qv::test
