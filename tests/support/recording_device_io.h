#pragma once
// A DeviceIo fake that records every open attempt and every request, in order, per
// session (one session = one open attempt). Replies are scripted per request code; the
// device can be made absent and single requests can be made to fail.
#include "platform/device_io.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace qv::test {

struct RecordedRequest {
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;
  std::size_t outputSize = 0;
  bool succeeded = true;  // what control() returned
  bool operator==(const RecordedRequest&) const = default;
};

struct RecordedSession {
  std::filesystem::path device;
  bool opened = false;  // false: the open failed (device absent); no requests follow
  bool closed = false;  // the handle was destroyed
  std::vector<RecordedRequest> requests;
};

class RecordingDeviceIo : public platform::DeviceIo {
public:
  RecordingDeviceIo();
  ~RecordingDeviceIo() override;

  std::unique_ptr<platform::DeviceHandle> open(const std::filesystem::path& device) override;

  // While absent, every open fails (and is still recorded).
  void setAbsent(bool absent);
  // The bytes every request with this code returns (cut to the caller's output size).
  void setReply(std::uint32_t code, std::vector<std::uint8_t> bytes);
  // A one-off reply for the next request with this code; queued replies are used first.
  void queueReply(std::uint32_t code, std::vector<std::uint8_t> bytes);
  // Every request with this code fails (returns false, fills nothing) until cleared.
  void setFailing(std::uint32_t code, bool failing = true);
  // The request with this position among all requests (0-based, over all sessions) fails.
  void failRequestNumber(std::size_t index);
  // While holding, requests are recorded but their replies wait (a driver that stops answering).
  void holdReplies(bool hold);

  // Snapshot of what happened so far.
  std::vector<RecordedSession> sessions() const;
  // Every request of every session in order.
  std::vector<RecordedRequest> requests() const;
  std::vector<std::uint32_t> codes() const;
  std::size_t openAttempts() const;
  std::size_t successfulOpens() const;
  // Handles currently open (sessions opened and not yet closed).
  std::size_t openHandles() const;
  // Forgets what was recorded; scripted replies and failures stay.
  void clearRecord();

private:
  struct State;
  class Handle;
  std::shared_ptr<State> state_;  // shared with handles, which may outlive this object
};

}  // namespace qv::test
