// TComm on a real pseudo-terminal: the test plays the far end of the line.
#include "platform/manual_event_loop.h"
#include "pty_pair.h"
#include "serial/comm.h"
#include "support/private_root.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <numeric>

namespace qv::serial {
namespace {

using namespace std::chrono_literals;

class CommOnPty : public ::testing::Test {
protected:
  void SetUp() override {
    comm.setCommName("COM5");
    comm.OnReceiveData = [this](TComm& sender, const std::uint8_t* buffer, std::uint16_t length) {
      EXPECT_EQ(&sender, &comm);
      chunks.emplace_back(buffer, buffer + length);
      zeroEnded = zeroEnded && buffer[length] == 0;
      events.push_back("data");
    };
    comm.OnRequestHangup = [this](TComm&) { events.push_back("hangup"); };
    comm.OnSendDataEmpty = [this](TComm&) { events.push_back("empty"); };
    comm.OnReceiveError = [this](TComm&, std::int32_t) { events.push_back("error"); };
  }

  void noXonXoff() {
    comm.setOutx_XonXoffFlow(false);
    comm.setInx_XonXoffFlow(false);
  }

  std::vector<std::uint8_t> received() const {
    std::vector<std::uint8_t> all;
    for (const auto& chunk : chunks) all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
  }
  int count(const std::string& name) const { return static_cast<int>(std::count(events.begin(), events.end(), name)); }
  // Runs the owning thread's work for the whole duration.
  void pumpFor(std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    loop.runUntil([&] { return std::chrono::steady_clock::now() >= until; }, duration + 1s);
  }
  bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5s) {
    return loop.runUntil(pred, timeout);
  }

  test::PrivateRoot root;
  test::PtyPair line{"COM5"};
  platform::ManualEventLoop loop;
  TComm comm{loop};
  std::vector<std::vector<std::uint8_t>> chunks;
  std::vector<std::string> events;
  bool zeroEnded = true;
};

TEST_F(CommOnPty, ShortBurstArrivesAsOneZeroEndedBlock) {
  comm.OpenPort();
  line.send({0xFF, 0x70, 0x00});
  ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
  pumpFor(300ms);  // nothing else may follow
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], (std::vector<std::uint8_t>{0xFF, 0x70, 0x00}));
  EXPECT_TRUE(zeroEnded);
}

TEST_F(CommOnPty, LongStreamArrivesInOrderInBoundedChunks) {
  noXonXoff();  // every byte value must pass, the flow-control characters included
  comm.OpenPort();
  std::vector<std::uint8_t> stream(5000);
  for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  line.send(stream);
  ASSERT_TRUE(pumpUntil([&] { return received().size() >= stream.size(); }));
  EXPECT_EQ(received(), stream);
  EXPECT_GE(chunks.size(), 3u);
  for (const auto& chunk : chunks) EXPECT_LE(chunk.size(), TReadThread::BufferSize);
  EXPECT_TRUE(zeroEnded);
  EXPECT_EQ(count("error"), 0);
}

TEST_F(CommOnPty, BackToBackSendsAreWrittenInOrderAndAnnouncedOncePerRun) {
  comm.OpenPort();
  ASSERT_TRUE(pumpUntil([&] { return count("empty") == 1; }));  // the queue was empty at start
  const std::uint8_t first[] = {0x44, 0x47, 0x0B, 0x00, 0x00};
  const std::uint8_t second[] = {0xF0, 0x00, 0x00, 0x00, 0x00};
  EXPECT_TRUE(comm.SendData(first, sizeof first));
  EXPECT_TRUE(comm.SendData(second, sizeof second));
  EXPECT_EQ(line.receive(10, 3s), (std::vector<std::uint8_t>{0x44, 0x47, 0x0B, 0, 0, 0xF0, 0, 0, 0, 0}));
  ASSERT_TRUE(pumpUntil([&] { return count("empty") >= 2; }));
  pumpFor(200ms);
  // One announcement after both, or one after each when the first was done before the
  // second was queued; never more.
  EXPECT_GE(count("empty"), 2);
  EXPECT_LE(count("empty"), 3);
  EXPECT_EQ(count("hangup"), 0);
}

TEST_F(CommOnPty, ReadTimeoutsShapeTheBursts) {
  // Without an interval a read waits for a full buffer or its total time-out.
  comm.setReadIntervalTimeout(0);
  comm.setReadTotalTimeoutConstant(0);
  comm.OpenPort();
  line.send({1, 2, 3});
  pumpFor(300ms);
  EXPECT_TRUE(chunks.empty());
  comm.setReadTotalTimeoutConstant(150);  // applies from the next read on
  line.send({4});
  std::vector<std::uint8_t> more(TReadThread::BufferSize - 4, 5);
  line.send(more);
  ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
  EXPECT_EQ(chunks[0].size(), TReadThread::BufferSize);  // filled, not timed out
  line.send({6, 7});
  ASSERT_TRUE(pumpUntil([&] { return chunks.size() == 2; }));
  EXPECT_EQ(chunks[1], (std::vector<std::uint8_t>{6, 7}));
}

TEST_F(CommOnPty, SettingsChangedWhileAReadWaitsShapeTheNextBurst) {
  noXonXoff();
  comm.setReadIntervalTimeout(0);  // wait for a full buffer
  comm.OpenPort();
  line.send(std::vector<std::uint8_t>(TReadThread::BufferSize, 1));
  ASSERT_TRUE(pumpUntil([&] { return chunks.size() == 1; }));
  // The reader now waits for the next burst.
  comm.setReadIntervalTimeout(100);
  comm.setIgnoreNullChar(true);
  line.send({0, 2, 0, 3});
  ASSERT_TRUE(pumpUntil([&] { return chunks.size() == 2; }));
  EXPECT_EQ(chunks[1], (std::vector<std::uint8_t>{2, 3}));
}

TEST_F(CommOnPty, SendRefusedWhenClosedOrEmpty) {
  const std::uint8_t byte = 1;
  EXPECT_FALSE(comm.SendData(&byte, 1));
  comm.OpenPort();
  EXPECT_FALSE(comm.SendData(&byte, 0));
  EXPECT_TRUE(comm.SendData(&byte, 1));
  comm.ClosePort();
  EXPECT_FALSE(comm.SendData(&byte, 1));
}

TEST_F(CommOnPty, ClosingDuringAStuckWriteIsNoHangup) {
  noXonXoff();
  comm.OpenPort();
  // Far more than the line buffers hold; the far end never reads.
  std::vector<std::uint8_t> big(256 * 1024, 0x55);
  ASSERT_TRUE(comm.SendData(big.data(), 60000));
  ASSERT_TRUE(comm.SendData(big.data(), 60000));
  ASSERT_TRUE(comm.SendData(big.data(), 60000));
  pumpFor(200ms);
  comm.ClosePort();
  EXPECT_FALSE(comm.isOpen());
  pumpFor(200ms);
  EXPECT_EQ(count("hangup"), 0);
}

TEST_F(CommOnPty, FarEndHangingUpIsReported) {
  comm.OpenPort();
  line.closeMaster();
  ASSERT_TRUE(pumpUntil([&] { return count("hangup") >= 1; }));
  // The component stays open until its owner closes it.
  EXPECT_TRUE(comm.isOpen());
  comm.ClosePort();
  EXPECT_FALSE(comm.isOpen());
}

TEST_F(CommOnPty, SecondOpenIsRefusedAndTheFirstStaysIntact) {
  comm.OpenPort();
  try {
    comm.OpenPort();
    FAIL() << "second open succeeded";
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(), "This serial port already opened");
  }
  EXPECT_TRUE(comm.isOpen());
  line.send({1, 2, 3});
  EXPECT_TRUE(pumpUntil([&] { return received().size() == 3; }));
}

TEST_F(CommOnPty, PortHeldByAnotherOpenerCannotBeOpened) {
  comm.OpenPort();
  TComm other(loop);
  other.setCommName("COM5");
  EXPECT_THROW(
      {
        try {
          other.OpenPort();
        } catch (const ECommsError& e) {
          EXPECT_STREQ(e.what(), "Error opening serial port");
          throw;
        }
      },
      ECommsError);
  EXPECT_FALSE(other.isOpen());
  EXPECT_FALSE(platform::serialPortPresent("COM5"));
  comm.ClosePort();
  EXPECT_TRUE(platform::serialPortPresent("COM5"));
  other.OpenPort();  // free again
  EXPECT_TRUE(other.isOpen());
}

TEST_F(CommOnPty, BadNamesFailWithTheirMessagesAndLeaveTheComponentUsable) {
  auto messageOf = [&] {
    try {
      comm.OpenPort();
    } catch (const ECommsError& e) {
      return std::string(e.what());
    }
    return std::string("opened");
  };
  const auto dev = root.path() / "dev";
  std::ofstream(dev / "FILE") << "not a port";
  std::filesystem::create_symlink("/dev/null", dev / "NULLDEV");

  comm.setCommName("MISSING");
  EXPECT_EQ(messageOf(), "Error opening serial port");
  comm.setCommName("../COM5");
  EXPECT_EQ(messageOf(), "Error opening serial port");
  comm.setCommName("FILE");
  EXPECT_EQ(messageOf(), "File handle is not a comm handle ");
  comm.setCommName("NULLDEV");
  EXPECT_EQ(messageOf(), "Cannot setup comm buffer");
  EXPECT_FALSE(comm.isOpen());

  comm.setCommName("COM5");
  EXPECT_EQ(messageOf(), "opened");
  line.send({9});
  EXPECT_TRUE(pumpUntil([&] { return received().size() == 1; }));
}

TEST_F(CommOnPty, BaudRateIsAppliedOnlyOnARealChange) {
  comm.OpenPort();
  EXPECT_EQ(line.speed(), B9600);
  comm.setBaudRate(19200);
  EXPECT_EQ(line.speed(), B19200);

  // Changed behind the component's back: setting the same rate must not touch the port.
  termios t = line.lineSettings();
  cfsetspeed(&t, B4800);
  line.setLineSettings(t);
  comm.setBaudRate(19200);
  EXPECT_EQ(line.speed(), B4800);

  // 0 and rates the system lacks are refused silently; the port keeps its speed.
  comm.setBaudRate(0);
  EXPECT_EQ(line.speed(), B4800);
  comm.setBaudRate(12345);
  EXPECT_EQ(line.speed(), B4800);
  EXPECT_EQ(comm.BaudRate(), 12345);
  comm.setBaudRate(1200);
  EXPECT_EQ(line.speed(), B1200);
}

TEST_F(CommOnPty, DefaultsGiveARawEightBitLineWithXonXoff) {
  comm.OpenPort();
  const auto t = line.lineSettings();
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_NE(t.c_iflag & IXON, 0u);
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST_F(CommOnPty, ReportsAlreadyQueuedArriveAfterCloseButNotAfterDestruction) {
  comm.OpenPort();
  line.send({5, 6});
  // Let the reader post without pumping, then close: the report is still delivered.
  for (int i = 0; i < 100 && loop.pendingCount() < 2; ++i) std::this_thread::sleep_for(20ms);
  comm.ClosePort();
  loop.runPending();
  EXPECT_EQ(received(), (std::vector<std::uint8_t>{5, 6}));

  auto scoped = std::make_unique<TComm>(loop);
  scoped->setCommName("COM5");
  int calls = 0;
  scoped->OnReceiveData = [&](TComm&, const std::uint8_t*, std::uint16_t) { ++calls; };
  scoped->OpenPort();
  line.send({7});
  for (int i = 0; i < 100 && loop.pendingCount() < 2; ++i) std::this_thread::sleep_for(20ms);
  scoped.reset();  // closes its port; queued reports are dropped
  loop.runPending();
  EXPECT_EQ(calls, 0);
}

TEST_F(CommOnPty, ManyOpenCloseCyclesLeaveNothingBehind) {
  comm.OpenPort();
  comm.ClosePort();
  loop.runPending();
  const int descriptors = test::openDescriptorCount();
  const int threads = test::threadCount();
  for (int i = 0; i < 1000; ++i) {
    comm.OpenPort();
    comm.ClosePort();
  }
  loop.runPending();
  EXPECT_EQ(test::openDescriptorCount(), descriptors);
  EXPECT_EQ(test::threadCount(), threads);
}

}  // namespace
}  // namespace qv::serial
