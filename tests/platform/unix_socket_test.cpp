#include "platform/posix/unix_socket.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <sys/socket.h>

#include <string>
#include <thread>
#include <vector>

namespace qv::platform {
namespace {

using namespace std::chrono_literals;

// Both ends of a connected stream socket pair.
struct Pair {
  UniqueFd a, b;
  Pair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
      a.reset(fds[0]);
      b.reset(fds[1]);
    }
  }
};

UniqueFd listenOn(const std::filesystem::path& path, int backlog) {
  sockaddr_un addr;
  if (!unixSocketAddress(path, addr)) return UniqueFd();
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd.get(), backlog) != 0) {
    return UniqueFd();
  }
  return fd;
}

void signal(const UniqueFd& event) {
  const std::uint64_t one = 1;
  ASSERT_EQ(::write(event.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
}

TEST(UnixSocketConnect, ReachesOnlyALiveListenerOnAPathThatFits) {
  test::PrivateRoot root;
  const auto path = root.path() / "s";
  EXPECT_FALSE(connectUnixSocket(path, 200ms));  // nothing there yet
  const UniqueFd listener = listenOn(path, 4);
  ASSERT_TRUE(listener);
  EXPECT_TRUE(connectUnixSocket(path, 200ms));
  EXPECT_FALSE(connectUnixSocket(root.path() / std::string(200, 'x'), 200ms));
}

TEST(UnixSocketConnect, AFullQueueEndsTheWaitEvenWithAZeroLimit) {
  test::PrivateRoot root;
  const auto path = root.path() / "s";
  const UniqueFd listener = listenOn(path, 0);
  ASSERT_TRUE(listener);
  // Never accepted: the first connection fills the queue, later ones would wait.
  std::vector<UniqueFd> queued;
  for (int i = 0; i < 4; ++i) {
    UniqueFd c = connectUnixSocket(path, 100ms);
    if (!c) break;
    queued.push_back(std::move(c));
  }
  ASSERT_FALSE(queued.empty());
  ASSERT_LT(queued.size(), 4u) << "the queue never filled";
  const auto start = SocketClock::now();
  EXPECT_FALSE(connectUnixSocket(path, 0ms));
  EXPECT_LT(SocketClock::now() - start, 2s);
}

TEST(UnixSocketReceive, TellsACleanCloseFromACutOffRun) {
  {
    Pair p;
    const std::uint8_t sent[6] = {1, 2, 3, 4, 5, 6};
    // Arrives in two pieces; both are collected.
    std::thread writer([&] {
      ::send(p.b.get(), sent, 2, MSG_NOSIGNAL);
      std::this_thread::sleep_for(20ms);
      ::send(p.b.get(), sent + 2, 4, MSG_NOSIGNAL);
    });
    std::uint8_t got[6] = {};
    EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, SocketClock::now() + 2s), ReceiveResult::Done);
    writer.join();
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 6), std::vector<std::uint8_t>(sent, sent + 6));
  }
  {
    Pair p;
    p.b.reset();
    std::uint8_t got[4];
    EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, SocketClock::now() + 2s), ReceiveResult::Closed);
  }
  {
    Pair p;
    const std::uint8_t part[2] = {7, 8};
    ::send(p.b.get(), part, sizeof part, MSG_NOSIGNAL);
    p.b.reset();
    std::uint8_t got[4];
    EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, SocketClock::now() + 2s), ReceiveResult::Broken);
  }
}

TEST(UnixSocketReceive, EndsAtTheDeadlineOrTheStopEvent) {
  Pair p;
  std::uint8_t got[4];
  auto start = SocketClock::now();
  EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, start + 50ms), ReceiveResult::Broken);
  EXPECT_GE(SocketClock::now() - start, 50ms);

  const UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  ASSERT_TRUE(stop);
  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    signal(stop);
  });
  start = SocketClock::now();
  EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, start + 10s, stop.get()), ReceiveResult::Broken);
  stopper.join();
  EXPECT_LT(SocketClock::now() - start, 5s);

  // Once stopped, bytes already waiting are not taken.
  const std::uint8_t four[4] = {1, 2, 3, 4};
  ::send(p.b.get(), four, sizeof four, MSG_NOSIGNAL);
  EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, SocketClock::now() + 2s, stop.get()),
            ReceiveResult::Broken);
  EXPECT_EQ(receiveExactly(p.a.get(), got, sizeof got, SocketClock::now() + 2s), ReceiveResult::Done);
}

TEST(UnixSocketSend, FailsInsteadOfBlockingOrRaisingSigpipe) {
  const std::vector<std::uint8_t> block(64 * 1024, 0x5a);
  {
    Pair p;
    p.b.reset();
    // With SIGPIPE raised the test program would end here.
    EXPECT_FALSE(sendAll(p.a.get(), block.data(), block.size(), SocketClock::now() + 1s));
  }
  {
    // A peer that never reads: the send ends at the deadline.
    Pair p;
    const auto start = SocketClock::now();
    bool ok = true;
    for (int i = 0; i < 1000 && ok; ++i) ok = sendAll(p.a.get(), block.data(), block.size(), start + 100ms);
    EXPECT_FALSE(ok);
    EXPECT_LT(SocketClock::now() - start, 5s);
  }
  {
    // ... or when the stop event comes first.
    Pair p;
    const UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ASSERT_TRUE(stop);
    signal(stop);
    const auto start = SocketClock::now();
    bool ok = true;
    for (int i = 0; i < 1000 && ok; ++i) {
      ok = sendAll(p.a.get(), block.data(), block.size(), start + 10s, stop.get());
    }
    EXPECT_FALSE(ok);
    EXPECT_LT(SocketClock::now() - start, 5s);
  }
}

TEST(UniqueFdOwnership, ClosesOnceAndHandsOverOnMove) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  UniqueFd keep(fds[0]);
  {
    UniqueFd first(fds[1]);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), fds[1]);
    EXPECT_TRUE(second.close());
    EXPECT_FALSE(second);
    EXPECT_FALSE(second.close());
  }
  // The write end is closed exactly once: reading sees the end of the pipe.
  char c;
  EXPECT_EQ(::read(keep.get(), &c, 1), 0);
}

}  // namespace
}  // namespace qv::platform
