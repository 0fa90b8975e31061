#pragma once
// Records InitializeDriver outcomes in the store on a thread of its own: a write may wait
// for the store's lock as long as another program holds it, and meanwhile every other
// client must still be served. Jobs are written in the order they were added.
#include "driver_model.h"
#include "platform/posix/unique_fd.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qv::driverd {

// A `Vxd Init` to record: an InitializeDriver's, whose reply waits until it is in the
// store, or one the driver records on its own (at start, a port gone or back).
struct StoreJob {
  std::optional<std::uint64_t> client;  // none: the driver's own record, nobody waits
  std::string outcome;  // `Vxd Init` as it is to be written
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;  // for the log line
  Reply reply;                      // as the model answered, the store aside
  bool recorded = false;            // filled in by the writer
};

class StoreWriter {
public:
  using Write = std::function<bool(const std::string& outcome)>;

  explicit StoreWriter(Write write);
  // Finishes the write under way; those not started are dropped with their clients.
  ~StoreWriter();
  StoreWriter(const StoreWriter&) = delete;
  StoreWriter& operator=(const StoreWriter&) = delete;

  bool ok() const { return static_cast<bool>(wake_); }
  // Readable when finished jobs wait to be taken.
  int wakeFd() const { return wake_.get(); }

  void add(StoreJob job);
  std::vector<StoreJob> takeFinished();

private:
  void run();

  Write write_;
  platform::UniqueFd wake_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<StoreJob> todo_;
  std::vector<StoreJob> finished_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts after everything it uses exists
};

}  // namespace qv::driverd
