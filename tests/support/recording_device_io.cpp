#include "support/recording_device_io.h"

#include <algorithm>
#include <condition_variable>

namespace qv::test {

struct RecordingDeviceIo::State {
  mutable std::mutex mutex;
  bool absent = false;
  std::map<std::uint32_t, std::vector<std::uint8_t>> replies;
  std::map<std::uint32_t, std::deque<std::vector<std::uint8_t>>> queued;
  std::set<std::uint32_t> failingCodes;
  std::set<std::size_t> failingIndexes;
  std::size_t requestCount = 0;  // over all sessions, never reset by clearRecord
  std::vector<RecordedSession> sessions;
  std::size_t generation = 0;  // bumped by clearRecord so old handles stop recording
  bool holding = false;
  std::condition_variable released;
};

class RecordingDeviceIo::Handle : public platform::DeviceHandle {
public:
  Handle(std::shared_ptr<State> state, std::size_t session)
      : state_(std::move(state)), session_(session), generation_(state_->generation) {}

  ~Handle() override {
    std::lock_guard lock(state_->mutex);
    if (auto* s = session()) s->closed = true;
  }

  bool control(std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out) override {
    return controlFilled(code, in, out).has_value();
  }

  std::optional<std::size_t> controlFilled(std::uint32_t code, std::span<const std::uint8_t> in,
                                           std::span<std::uint8_t> out) override {
    std::unique_lock lock(state_->mutex);
    const std::size_t index = state_->requestCount++;
    bool ok = !state_->failingCodes.contains(code) && !state_->failingIndexes.contains(index);
    std::size_t filled = 0;
    if (ok) {
      const std::vector<std::uint8_t>* reply = nullptr;
      std::vector<std::uint8_t> once;
      if (auto q = state_->queued.find(code); q != state_->queued.end() && !q->second.empty()) {
        once = std::move(q->second.front());
        q->second.pop_front();
        reply = &once;
      } else if (auto r = state_->replies.find(code); r != state_->replies.end()) {
        reply = &r->second;
      }
      if (reply) std::copy_n(reply->begin(), filled = std::min(reply->size(), out.size()), out.begin());
    }
    if (auto* s = session()) {
      s->requests.push_back({code, std::vector<std::uint8_t>(in.begin(), in.end()), out.size(), ok});
    }
    // A held request is recorded as sent; its caller waits for the reply.
    state_->released.wait(lock, [this] { return !state_->holding; });
    return ok ? std::optional(filled) : std::nullopt;
  }

private:
  RecordedSession* session() {
    if (generation_ != state_->generation || session_ >= state_->sessions.size()) return nullptr;
    return &state_->sessions[session_];
  }

  std::shared_ptr<State> state_;
  std::size_t session_;
  std::size_t generation_;
};

RecordingDeviceIo::RecordingDeviceIo() : state_(std::make_shared<State>()) {}
RecordingDeviceIo::~RecordingDeviceIo() = default;

std::unique_ptr<platform::DeviceHandle> RecordingDeviceIo::open(const std::filesystem::path& device) {
  std::lock_guard lock(state_->mutex);
  RecordedSession session;
  session.device = device;
  session.opened = !state_->absent;
  state_->sessions.push_back(std::move(session));
  if (state_->absent) return nullptr;
  return std::make_unique<Handle>(state_, state_->sessions.size() - 1);
}

void RecordingDeviceIo::setAbsent(bool absent) {
  std::lock_guard lock(state_->mutex);
  state_->absent = absent;
}

void RecordingDeviceIo::setReply(std::uint32_t code, std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(state_->mutex);
  state_->replies[code] = std::move(bytes);
}

void RecordingDeviceIo::queueReply(std::uint32_t code, std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(state_->mutex);
  state_->queued[code].push_back(std::move(bytes));
}

void RecordingDeviceIo::setFailing(std::uint32_t code, bool failing) {
  std::lock_guard lock(state_->mutex);
  if (failing) {
    state_->failingCodes.insert(code);
  } else {
    state_->failingCodes.erase(code);
  }
}

void RecordingDeviceIo::failRequestNumber(std::size_t index) {
  std::lock_guard lock(state_->mutex);
  state_->failingIndexes.insert(index);
}

void RecordingDeviceIo::holdReplies(bool hold) {
  std::lock_guard lock(state_->mutex);
  state_->holding = hold;
  state_->released.notify_all();
}

std::vector<RecordedSession> RecordingDeviceIo::sessions() const {
  std::lock_guard lock(state_->mutex);
  return state_->sessions;
}

std::vector<RecordedRequest> RecordingDeviceIo::requests() const {
  std::lock_guard lock(state_->mutex);
  std::vector<RecordedRequest> all;
  for (const auto& s : state_->sessions) all.insert(all.end(), s.requests.begin(), s.requests.end());
  return all;
}

std::vector<std::uint32_t> RecordingDeviceIo::codes() const {
  std::vector<std::uint32_t> result;
  for (const auto& r : requests()) result.push_back(r.code);
  return result;
}

std::size_t RecordingDeviceIo::openAttempts() const {
  std::lock_guard lock(state_->mutex);
  return state_->sessions.size();
}

std::size_t RecordingDeviceIo::successfulOpens() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->sessions.begin(), state_->sessions.end(),
                                                [](const RecordedSession& s) { return s.opened; }));
}

std::size_t RecordingDeviceIo::openHandles() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(
      std::count_if(state_->sessions.begin(), state_->sessions.end(),
                    [](const RecordedSession& s) { return s.opened && !s.closed; }));
}

void RecordingDeviceIo::clearRecord() {
  std::lock_guard lock(state_->mutex);
  state_->sessions.clear();
  ++state_->generation;
}

}  // namespace qv::test
