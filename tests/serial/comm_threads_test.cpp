// The reader's and writer's reactions to what the port reports, on a scripted port.
#include "platform/manual_event_loop.h"
#include "serial/comm.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <mutex>

namespace qv::serial {
namespace {

using namespace std::chrono_literals;
using platform::IoStatus;

// A port whose reads return scripted results; once the script is used up, a read waits
// for the close event. Writes are recorded or fail as told.
class ScriptedPort final : public platform::SerialPort {
public:
  struct Shared {
    std::mutex mutex;
    std::deque<platform::ReadResult> reads;
    std::deque<std::vector<std::uint8_t>> readBytes;
    bool flood = false;           // once the script is used up, every read fills the buffer
    bool receivePurged = false;   // the reader purges its side as it ends
    IoStatus writeStatus = IoStatus::Ok;
    bool stalled = false;  // writes wait for the close event, as on a line held by XOFF
    std::atomic<bool> writing = false;
    std::vector<std::uint8_t> written;
    std::vector<platform::SerialLineState> applied;
  };
  explicit ScriptedPort(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

  bool setupQueues(std::size_t, std::size_t) override { return true; }
  void purge(bool receive, bool transmit) override {
    std::lock_guard lock(shared_->mutex);
    if (receive && !transmit) shared_->receivePurged = true;
  }
  std::optional<platform::SerialLineState> lineState() override { return platform::SerialLineState{}; }
  bool setLineState(const platform::SerialLineState& state) override {
    std::lock_guard lock(shared_->mutex);
    shared_->applied.push_back(state);
    return true;
  }
  bool setTimeouts(const platform::SerialTimeouts&) override { return true; }
  platform::SerialTimeouts timeouts() override { return {}; }

  platform::ReadResult read(std::span<std::uint8_t> buffer, const platform::WaitEvent& cancel) override {
    {
      std::lock_guard lock(shared_->mutex);
      if (!shared_->reads.empty()) {
        auto result = shared_->reads.front();
        shared_->reads.pop_front();
        auto bytes = std::move(shared_->readBytes.front());
        shared_->readBytes.pop_front();
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        return result;
      }
      if (shared_->flood && !cancel.isSet()) {
        std::fill(buffer.begin(), buffer.end(), 0x5A);
        return {IoStatus::Ok, buffer.size(), 0, 0};
      }
    }
    const std::array<const platform::WaitEvent*, 1> set{&cancel};
    platform::waitForAny(set);
    return {IoStatus::Cancelled, 0, 0, 0};
  }

  platform::WriteResult write(std::span<const std::uint8_t> bytes, const platform::WaitEvent& cancel) override {
    if (shared_->stalled) {
      shared_->writing = true;
      const std::array<const platform::WaitEvent*, 1> set{&cancel};
      platform::waitForAny(set);
      return {IoStatus::Cancelled, 0};
    }
    std::lock_guard lock(shared_->mutex);
    if (shared_->writeStatus != IoStatus::Ok) return {shared_->writeStatus, 0};
    shared_->written.insert(shared_->written.end(), bytes.begin(), bytes.end());
    return {IoStatus::Ok, bytes.size()};
  }

private:
  std::shared_ptr<Shared> shared_;
};

class CommThreads : public ::testing::Test {
protected:
  void SetUp() override {
    comm.OnReceiveData = [this](TComm&, const std::uint8_t* b, std::uint16_t n) {
      events.push_back("data:" + std::string(reinterpret_cast<const char*>(b), n));
    };
    comm.OnReceiveError = [this](TComm&, std::int32_t mask) { events.push_back("error:" + std::to_string(mask)); };
    comm.OnModemStateChange = [this](TComm&, std::int32_t bits) { events.push_back("modem:" + std::to_string(bits)); };
    comm.OnRequestHangup = [this](TComm&) { events.push_back("hangup"); };
  }
  void script(IoStatus status, std::string bytes = "", std::uint32_t errors = 0, std::uint32_t modem = 0) {
    std::lock_guard lock(shared->mutex);
    shared->reads.push_back({status, bytes.size(), errors, modem});
    shared->readBytes.emplace_back(bytes.begin(), bytes.end());
  }
  void clearScript() {
    std::lock_guard lock(shared->mutex);
    shared->reads.clear();
    shared->readBytes.clear();
  }
  // The scripted reader parks on the close event when the script is used up, so its
  // end is seen as "nothing more comes" within a while.
  void readerEnded() {
    const auto until = std::chrono::steady_clock::now() + 300ms;
    loop.runUntil([&] { return std::chrono::steady_clock::now() >= until; }, 1s);
  }

  std::shared_ptr<ScriptedPort::Shared> shared = std::make_shared<ScriptedPort::Shared>();
  platform::ManualEventLoop loop;
  TComm comm{loop, [s = shared](std::string_view) {
               return platform::SerialOpenResult{platform::SerialOpenStatus::Ok, std::make_unique<ScriptedPort>(s), {}};
             }};
  std::vector<std::string> events;
};

TEST_F(CommThreads, LineEventsAreReportedBeforeTheirDataAndReadingGoesOn) {
  script(IoStatus::Ok, "", platform::line_error::Parity);  // an error alone
  script(IoStatus::Ok, "", 0, platform::modem_event::Ring | platform::modem_event::CarrierDetect);
  script(IoStatus::Ok, "ab", platform::line_error::Break);
  script(IoStatus::Ok, "cd");
  comm.OpenPort();
  ASSERT_TRUE(loop.runUntil([&] { return events.size() >= 5; }, 3s));
  EXPECT_EQ(events, (std::vector<std::string>{"error:4", "modem:12", "error:16", "data:ab", "data:cd"}));
}

TEST_F(CommThreads, AFloodThatTheOwnerDoesNotTakeEndsInAHangupWithABoundedBacklog) {
  std::size_t blocks = 0;
  std::size_t peakBytes = 0;
  comm.OnReceiveData = [&](TComm& sender, const std::uint8_t*, std::uint16_t) {
    ++blocks;
    peakBytes = std::max(peakBytes, sender.pendingBytes());
  };
  shared->flood = true;
  comm.OpenPort();
  // The owner takes nothing until the reader has given up.
  ASSERT_TRUE(test::waitFor([&] {
    std::lock_guard lock(shared->mutex);
    return shared->receivePurged;
  }, 10s));
  EXPECT_LE(comm.pendingBytes(), PendingReports::ByteLimit);
  EXPECT_GT(comm.pendingBytes() + TReadThread::BufferSize + 1, PendingReports::ByteLimit);  // it was full
  EXPECT_EQ(loop.pendingCount(), comm.pendingReports());
  loop.runPending();
  EXPECT_EQ(blocks, PendingReports::ByteLimit / (TReadThread::BufferSize + 1));
  EXPECT_EQ(events, (std::vector<std::string>{"hangup"}));
  EXPECT_EQ(comm.pendingReports(), 0u);
  EXPECT_EQ(comm.pendingBytes(), 0u);
}

TEST_F(CommThreads, FailuresEndTheReaderWithAHangupOnlyWhenNotSilent) {
  script(IoStatus::Ok, "x");
  script(IoStatus::Failed);
  script(IoStatus::Ok, "never");
  comm.OpenPort();
  readerEnded();
  EXPECT_EQ(events, (std::vector<std::string>{"data:x", "hangup"}));
  comm.ClosePort();
  clearScript();

  for (const IoStatus silent : {IoStatus::InvalidHandle, IoStatus::Cancelled}) {
    events.clear();
    script(silent);
    script(IoStatus::Ok, "never");
    comm.OpenPort();
    readerEnded();
    EXPECT_TRUE(events.empty()) << events.front();
    comm.ClosePort();
    clearScript();
  }

  // A read that completes empty ends the reader without a word.
  events.clear();
  script(IoStatus::Ok, "");
  script(IoStatus::Ok, "never");
  comm.OpenPort();
  readerEnded();
  EXPECT_TRUE(events.empty());
}

TEST_F(CommThreads, ParityIsOnlyStoredUntilTheNextApply) {
  comm.setParity(TParity::Odd);  // closed: stored
  comm.OpenPort();
  ASSERT_EQ(shared->applied.size(), 1u);
  EXPECT_EQ(shared->applied.back().parity, 1);
  comm.setParity(TParity::Even);
  EXPECT_EQ(shared->applied.size(), 1u);
  comm.setBaudRate(9600);  // unchanged: nothing applied
  EXPECT_EQ(shared->applied.size(), 1u);
  comm.setByteSize(TByteSize::_7);
  ASSERT_EQ(shared->applied.size(), 2u);
  EXPECT_EQ(shared->applied.back().parity, 2);
  EXPECT_EQ(shared->applied.back().byteSize, 7);
  comm.setParity(TParity::Space);
  comm.ClosePort();
  comm.setByteSize(TByteSize::_8);  // closed: stored
  comm.OpenPort();
  ASSERT_EQ(shared->applied.size(), 3u);
  EXPECT_EQ(shared->applied.back().parity, 4);
  EXPECT_EQ(shared->applied.back().byteSize, 8);
}

TEST_F(CommThreads, WriteFailureIsAHangupAndTheWriterTakesNoMore) {
  shared->writeStatus = IoStatus::Failed;
  comm.OpenPort();
  const char bytes[] = "probe";
  EXPECT_TRUE(comm.SendData(bytes, 5));
  ASSERT_TRUE(loop.runUntil([&] { return !events.empty(); }, 3s));
  EXPECT_EQ(events, (std::vector<std::string>{"hangup"}));
  // The writer has ended: further sends are refused.
  EXPECT_TRUE(loop.runUntil([&] { return !comm.SendData(bytes, 5); }, 3s));
}

TEST_F(CommThreads, AStoppedLineRefusesSendsBeyondTheQueueLimit) {
  shared->stalled = true;
  comm.OpenPort();
  ASSERT_TRUE(comm.SendData("a", 1));
  ASSERT_TRUE(test::waitFor([&] { return shared->writing.load(); }, 3s));
  std::size_t queued = 0;
  while (queued <= TWriteThread::RequestLimit && comm.SendData("b", 1)) ++queued;
  EXPECT_EQ(queued, TWriteThread::RequestLimit);
  comm.ClosePort();  // the stalled write is abandoned
}

TEST_F(CommThreads, InvalidHandleOnWriteEndsTheWriterSilently) {
  shared->writeStatus = IoStatus::InvalidHandle;
  comm.OpenPort();
  EXPECT_TRUE(comm.SendData("ab", 2));
  EXPECT_TRUE(loop.runUntil([&] { return !comm.SendData("ab", 2); }, 3s));
  readerEnded();
  EXPECT_TRUE(events.empty());
}

TEST_F(CommThreads, DataBlocksAreReleasedWithoutAHandlerAndHandlersMayCloseThePort) {
  comm.OnReceiveData = nullptr;
  comm.handleNotification({CommMessageId::CommDataMessage, 3, 0, {1, 2, 3, 0}});
  EXPECT_TRUE(events.empty());

  comm.OpenPort();
  comm.OnReceiveData = [this](TComm& sender, const std::uint8_t*, std::uint16_t) {
    sender.ClosePort();
    comm.OnReceiveData = nullptr;  // reassigning the running event is safe
    events.push_back("closed");
  };
  comm.handleNotification({CommMessageId::CommDataMessage, 1, 0, {7, 0}});
  EXPECT_EQ(events, (std::vector<std::string>{"closed"}));
  EXPECT_FALSE(comm.isOpen());
}

}  // namespace
}  // namespace qv::serial
