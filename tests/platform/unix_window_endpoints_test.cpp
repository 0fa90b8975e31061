#include "platform/machine_root.h"
#include "platform/manual_event_loop.h"
#include "platform/posix/unix_window_endpoints.h"
#include "platform/posix/unix_window_listener.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace qv::platform {
namespace {

using namespace std::chrono_literals;

constexpr char kClass[] = "TWatchForm";
constexpr char kTitle[] = "Quorvane Monitor";

// Collects what a listener handed to the loop thread.
struct Received {
  std::vector<WindowMessage> messages;
  std::thread::id thread;
  WindowEndpoint::Handler handler() {
    return [this](const WindowMessage& m) {
      messages.push_back(m);
      thread = std::this_thread::get_id();
      return m.wParam + m.lParam;
    };
  }
};

// A raw client socket, to write frames the messenger would never write.
int rawConnect(const std::filesystem::path& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST(EndpointNames, EscapePercentAndSlashInEitherPart) {
  EXPECT_EQ(escapeEndpointPart("Quorvane Monitor"), "Quorvane Monitor");
  EXPECT_EQ(escapeEndpointPart("50%/a/%2F"), "50%25%2Fa%2F%252F");
  EXPECT_EQ(escapeEndpointPart(std::string_view("a\0b", 3)), "a%00b");
  test::PrivateRoot root;
  EXPECT_EQ(endpointPath("T/x", "a%b"), root.path() / "run" / "T%2Fx@a%25b");
}

TEST(EndpointFrames, LittleEndianLayoutAndModeCheck) {
  const auto bytes = encodeFrame({0x5BC, 0x01020304, 7}, FrameMode::Sent);
  const FrameBytes expected{0xBC, 0x05, 0, 0, 4, 3, 2, 1, 7, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(bytes, expected);
  auto bad = bytes;
  bad[12] = 2;
  EXPECT_FALSE(decodeFrame(bad).has_value());
  const auto decoded = decodeFrame(bytes);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->first.wParam, 0x01020304u);
  EXPECT_EQ(decoded->second, FrameMode::Sent);
}

class EndpointTest : public ::testing::Test {
protected:
  test::PrivateRoot root;
  ManualEventLoop loop;
  UnixWindowEndpointFactory factory;
  UnixWindowMessenger messenger;
  Received received;
};

TEST_F(EndpointTest, PostedAndSentMessagesArriveInOrderOnTheLoopThread) {
  std::string error;
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler(), &error);
  ASSERT_TRUE(endpoint) << error;
  EXPECT_TRUE(messenger.windowExists(kClass, kTitle));

  std::vector<bool> posted;
  std::optional<std::uint32_t> reply;
  std::atomic<bool> senderDone{false};
  std::thread sender([&] {
    for (std::uint32_t i = 0; i < 20; ++i) posted.push_back(messenger.post(kClass, kTitle, {0x400 + i, i, 0}));
    reply = messenger.send(kClass, kTitle, {0x5BC, 40, 2});
    senderDone = true;
  });
  ASSERT_TRUE(loop.runUntil([&] { return senderDone.load(); }, 10s));
  sender.join();

  EXPECT_EQ(posted, std::vector<bool>(20, true));
  ASSERT_EQ(reply, std::optional<std::uint32_t>(42u));
  ASSERT_EQ(received.messages.size(), 21u);
  for (std::uint32_t i = 0; i < 20; ++i) EXPECT_EQ(received.messages[i].message, 0x400 + i);
  EXPECT_EQ(received.messages[20].message, 0x5BCu);
  EXPECT_EQ(received.thread, std::this_thread::get_id());
}

// A peer that sends one frame every 1.5 s keeps its connection for as long as it likes;
// another client's message must not wait behind it.
TEST_F(EndpointTest, ASlowPeerDoesNotHoldUpAnotherClient) {
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler());
  ASSERT_TRUE(endpoint);
  std::atomic<bool> stopTrickle{false};
  std::thread trickler([&] {
    const int fd = rawConnect(endpointPath(kClass, kTitle));
    for (std::uint32_t i = 0; i < 10 && fd >= 0 && !stopTrickle; ++i) {
      const auto frame = encodeFrame({0x100 + i, 0, 0}, FrameMode::Posted);
      [[maybe_unused]] const auto sent = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
      for (int tick = 0; tick < 150 && !stopTrickle; ++tick) std::this_thread::sleep_for(10ms);
    }
    if (fd >= 0) ::close(fd);
  });
  // The slow peer is being served before the other client comes.
  ASSERT_TRUE(loop.runUntil([&] { return !received.messages.empty(); }, 10s));

  std::optional<std::uint32_t> reply;
  std::atomic<bool> answered{false};
  std::thread client([&] {
    reply = messenger.send(kClass, kTitle, {0x5BC, 40, 2});
    answered = true;
  });
  // Well below the 15 s the slow peer goes on for.
  EXPECT_TRUE(loop.runUntil([&] { return answered.load(); }, 5s));
  stopTrickle = true;
  loop.runUntil([&] { return answered.load(); }, 60s);
  client.join();
  trickler.join();
  EXPECT_EQ(reply, std::optional<std::uint32_t>(42u));
}

// A flood while the window's loop is busy waits in the peer's socket instead of piling
// up in this process, and none of it is lost or reordered.
TEST_F(EndpointTest, AFloodWhileTheLoopIsBusyIsHeldBackNotLost) {
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler());
  ASSERT_TRUE(endpoint);
  constexpr std::uint32_t kFrames = 5000;
  const int fd = rawConnect(endpointPath(kClass, kTitle));
  ASSERT_GE(fd, 0);
  std::thread flooder([&] {
    for (std::uint32_t i = 0; i < kFrames; ++i) {
      const auto frame = encodeFrame({0x400, i, 0}, FrameMode::Posted);
      if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != 16) break;
    }
  });
  ASSERT_TRUE(test::waitFor([&] { return loop.pendingCount() >= kMaxQueuedFrames; }, 10s));
  std::this_thread::sleep_for(100ms);  // time for the listener to overrun, were it to
  EXPECT_EQ(loop.pendingCount(), kMaxQueuedFrames);

  EXPECT_TRUE(loop.runUntil([&] { return received.messages.size() >= kFrames; }, 30s));
  flooder.join();
  ::close(fd);
  ASSERT_EQ(received.messages.size(), kFrames);
  for (std::uint32_t i = 0; i < kFrames; ++i) ASSERT_EQ(received.messages[i].wParam, i);
}

// Connecting waits only while a listener's queue is full, which a live endpoint never
// lets happen: such a window counts as absent at once instead of after the send limit.
TEST_F(EndpointTest, AWindowWhoseConnectionQueueIsFullIsNotWaitedFor) {
  const auto path = endpointPath(kClass, kTitle);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 0), 0);  // never accepts
  std::vector<int> queued;
  for (int i = 0; i < 16; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    queued.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) break;  // full now
  }
  ASSERT_LT(queued.size(), 16u) << "the queue never filled";

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(messenger.windowExists(kClass, kTitle));
  EXPECT_FALSE(messenger.send(kClass, kTitle, {0x5BC, 0, 0}).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);  // not the 30 s send limit
  for (const int fd : queued) ::close(fd);
  ::close(listener);
}

TEST_F(EndpointTest, NamesWithPercentAndSlashWork) {
  auto endpoint = factory.listen("T/Form%", "a/b %2F", loop, received.handler());
  ASSERT_TRUE(endpoint);
  EXPECT_TRUE(std::filesystem::exists(root.path() / "run" / "T%2FForm%25@a%2Fb %252F"));
  EXPECT_TRUE(messenger.post("T/Form%", "a/b %2F", {1, 0, 0}));
  EXPECT_FALSE(messenger.windowExists("T/Form%", "a/b /"));
  ASSERT_TRUE(loop.runUntil([&] { return received.messages.size() == 1; }, 5s));
}

TEST_F(EndpointTest, AbsentWindowIsNotFoundAndGetsNothing) {
  EXPECT_FALSE(messenger.windowExists(kClass, kTitle));
  EXPECT_FALSE(messenger.post(kClass, kTitle, {0x5BE, 0, 0}));
  EXPECT_FALSE(messenger.send(kClass, kTitle, {0x5BC, 0, 0}).has_value());
}

TEST_F(EndpointTest, MalformedAndShortFramesAreDroppedAndListeningGoesOn) {
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler());
  ASSERT_TRUE(endpoint);
  const auto path = endpointPath(kClass, kTitle);

  int fd = rawConnect(path);
  ASSERT_GE(fd, 0);
  auto bad = encodeFrame({0x111, 0, 0}, FrameMode::Posted);
  bad[12] = 9;  // neither posted nor sent
  ASSERT_EQ(::write(fd, bad.data(), bad.size()), 16);
  ::close(fd);

  fd = rawConnect(path);
  ASSERT_GE(fd, 0);
  const auto good = encodeFrame({0x222, 0, 0}, FrameMode::Posted);
  ASSERT_EQ(::write(fd, good.data(), 7), 7);  // cut short, then closed
  ::close(fd);

  EXPECT_TRUE(messenger.post(kClass, kTitle, {0x333, 0, 0}));
  ASSERT_TRUE(loop.runUntil([&] { return !received.messages.empty(); }, 5s));
  loop.runFor(100ms);
  ASSERT_EQ(received.messages.size(), 1u);
  EXPECT_EQ(received.messages[0].message, 0x333u);
}

TEST_F(EndpointTest, StaleSocketIsReplacedButALiveListenerIsNot) {
  const auto path = endpointPath(kClass, kTitle);
  {
    // A socket file whose listener died without removing it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
  }
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(messenger.windowExists(kClass, kTitle));

  std::string error;
  auto first = factory.listen(kClass, kTitle, loop, received.handler(), &error);
  ASSERT_TRUE(first) << error;
  EXPECT_TRUE(messenger.windowExists(kClass, kTitle));

  auto second = factory.listen(kClass, kTitle, loop, received.handler(), &error);
  EXPECT_FALSE(second);
  EXPECT_NE(error.find("already listens"), std::string::npos) << error;
  EXPECT_TRUE(messenger.windowExists(kClass, kTitle));  // the first one is untouched

  first.reset();
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(messenger.windowExists(kClass, kTitle));
}

TEST_F(EndpointTest, TooLongSocketPathIsRefusedWithAReason) {
  std::string error;
  auto endpoint = factory.listen(kClass, std::string(120, 't'), loop, received.handler(), &error);
  EXPECT_FALSE(endpoint);
  EXPECT_NE(error.find("107 bytes"), std::string::npos) << error;
}

TEST_F(EndpointTest, DestroyingWhileAClientStallsOrASendWaitsDoesNotHang) {
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler());
  ASSERT_TRUE(endpoint);

  // A sent message that reaches the loop but is never pumped before the endpoint goes.
  std::promise<std::optional<std::uint32_t>> sendResult;
  std::thread sender([&] { sendResult.set_value(messenger.send(kClass, kTitle, {0x5BC, 0, 0})); });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (loop.pendingCount() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(loop.pendingCount(), 1u);
  // And a client that connected behind it and says nothing.
  const int stalled = rawConnect(endpointPath(kClass, kTitle));
  ASSERT_GE(stalled, 0);

  const auto started = std::chrono::steady_clock::now();
  endpoint.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
  sender.join();
  EXPECT_FALSE(sendResult.get_future().get().has_value());
  ::close(stalled);

  loop.runPending();  // the queued work of the gone endpoint must not reach the handler
  EXPECT_TRUE(received.messages.empty());
}

TEST_F(EndpointTest, SendGivesUpAfterItsLimitWhenTheReceiverNeverAnswers) {
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler());
  ASSERT_TRUE(endpoint);
  UnixWindowMessenger impatient(200ms);
  EXPECT_FALSE(impatient.send(kClass, kTitle, {0x5BC, 0, 0}).has_value());  // loop never pumped
}

TEST_F(EndpointTest, PeersOfAnotherUserAreNotServed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to switch users";
  auto endpoint = factory.listen(kClass, kTitle, loop, received.handler());
  ASSERT_TRUE(endpoint);
  const auto path = endpointPath(kClass, kTitle);
  ::chmod(root.path().c_str(), 0755);
  ::chmod(path.parent_path().c_str(), 0755);
  ::chmod(path.c_str(), 0777);
  const auto frame = encodeFrame({0x666, 0, 0}, FrameMode::Posted);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The raw call: the C library's setuid() coordinates all threads, which a child of
    // a threaded process must not rely on.
    if (::syscall(SYS_setuid, 65534) != 0) ::_exit(3);
    const int fd = rawConnect(path);
    if (fd < 0) ::_exit(4);
    // The listener may already have closed on it; that is a refusal too, not a failure.
    [[maybe_unused]] const auto sent = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(messenger.post(kClass, kTitle, {0x777, 0, 0}));
  ASSERT_TRUE(loop.runUntil([&] { return !received.messages.empty(); }, 5s));
  loop.runFor(100ms);
  ASSERT_EQ(received.messages.size(), 1u);
  EXPECT_EQ(received.messages[0].message, 0x777u);
}

}  // namespace
}  // namespace qv::platform
