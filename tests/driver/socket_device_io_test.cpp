// The socket form of the driver's device against scripted servers: the frame on the
// wire, copying of replies, and every way a request can fail without hanging the caller.
#include "platform/posix/socket_device_io.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

namespace qv::platform {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// A one-connection server on a thread: accepts, then runs the script on the connection.
class ScriptedServer {
public:
  using Script = std::function<void(int fd)>;
  ScriptedServer(const std::filesystem::path& path, Script script) {
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 4) != 0) {
      ADD_FAILURE() << "cannot listen on " << path;
      return;
    }
    thread_ = std::thread([this, script] {
      const int fd = ::accept(listenFd_, nullptr, nullptr);
      if (fd < 0) return;
      script(fd);
      ::close(fd);
    });
  }
  ~ScriptedServer() {
    ::shutdown(listenFd_, SHUT_RDWR);  // ends an accept that never got a client
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
  }

private:
  int listenFd_ = -1;
  std::thread thread_;
};

Bytes readExactly(int fd, std::size_t n) {
  Bytes b(n);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::read(fd, b.data() + got, n - got);
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  b.resize(got);
  return b;
}

void writeAll(int fd, const Bytes& b) { ASSERT_EQ(::write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size())); }

Bytes reply(std::uint32_t ok, const Bytes& payload, std::uint32_t claimed) {
  Bytes b{static_cast<std::uint8_t>(ok), 0, 0, 0};
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(claimed >> (8 * i)));
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

class SocketDeviceIoTest : public ::testing::Test {
protected:
  test::PrivateRoot root;
  std::filesystem::path device = root.path() / "QV.VXD";
  SocketDeviceIo io{300ms};
};

TEST_F(SocketDeviceIoTest, RequestFrameAndReplyCopiedToTheStartOfOutput) {
  Bytes seen;
  {
    ScriptedServer server(device, [&](int fd) {
      seen = readExactly(fd, 12 + 3);
      writeAll(fd, reply(1, {0xA1, 0xA2}, 2));
    });
    auto handle = io.open(device);
    ASSERT_TRUE(handle);
    const Bytes in{7, 8, 9};
    Bytes out(5, 0xEE);
    EXPECT_EQ(handle->controlFilled(0x0A, in, out), 2u);  // the reply's length, not the room given
    EXPECT_EQ(out, (Bytes{0xA1, 0xA2, 0xEE, 0xEE, 0xEE}));
  }
  EXPECT_EQ(seen, (Bytes{0x0A, 0, 0, 0, 3, 0, 0, 0, 5, 0, 0, 0, 7, 8, 9}));
}

TEST_F(SocketDeviceIoTest, FailureReplyKeepsTheConnection) {
  ScriptedServer server(device, [&](int fd) {
    readExactly(fd, 12);
    writeAll(fd, reply(0, {}, 0));
    readExactly(fd, 12);
    writeAll(fd, reply(1, {}, 0));
  });
  auto handle = io.open(device);
  ASSERT_TRUE(handle);
  EXPECT_FALSE(handle->control(0x99, {}, {}));
  EXPECT_TRUE(handle->control(0x01, {}, {}));
}

TEST_F(SocketDeviceIoTest, MissingRefusedOrOverlongPathIsAFailedOpen) {
  EXPECT_FALSE(io.open(device));
  // A socket file that nobody listens on any more (a driver that died).
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, device.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
  EXPECT_FALSE(io.open(device));
  EXPECT_FALSE(io.open(root.path() / std::string(120, 'x')));
  // Each says why, for whoever reads it.
  std::string why;
  EXPECT_FALSE(io.open(device, &why));
  EXPECT_NE(why.find("Connection refused"), std::string::npos) << why;
  EXPECT_FALSE(io.open(root.path() / std::string(120, 'x'), &why));
  EXPECT_NE(why.find("longer than 107 bytes"), std::string::npos) << why;
}

TEST_F(SocketDeviceIoTest, SilentDriverFailsWithinTheLimitAndClosesTheConnection) {
  ScriptedServer server(device, [&](int fd) {
    readExactly(fd, 12);
    // Never answers; waits for the caller to give up and close.
    char c;
    while (::read(fd, &c, 1) > 0) {
    }
  });
  auto handle = io.open(device);
  ASSERT_TRUE(handle);
  Bytes out(4, 0x55);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(handle->control(0x09, {}, out));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 250ms);
  EXPECT_LT(waited, 3s);  // bounded by the injected limit, not stuck
  EXPECT_EQ(out, Bytes(4, 0x55));
  // The connection is finished: later requests fail at once.
  EXPECT_FALSE(handle->control(0x01, {}, {}));
}

TEST_F(SocketDeviceIoTest, ShutdownFromAnotherThreadEndsARequestThatWaitsForItsReply) {
  ScriptedServer server(device, [&](int fd) { readExactly(fd, 13); });  // never answers
  auto handle = SocketDeviceIo(10min).open(device);
  ASSERT_TRUE(handle);
  std::thread stopper([&] { std::this_thread::sleep_for(50ms); handle->shutdown(); });
  EXPECT_FALSE(handle->control(0x0C, {}, {}));
  stopper.join();
}

TEST_F(SocketDeviceIoTest, BrokenOrGarbledRepliesFailAndLeaveOutputUntouched) {
  struct Case {
    const char* what;
    Bytes answer;
  };
  const std::vector<Case> cases{
      {"closed before replying", {}},
      {"header cut off", {1, 0, 0}},
      {"payload cut off", reply(1, {1, 2}, 4)},
      {"more bytes than room", reply(1, {1, 2, 3, 4, 5, 6}, 6)},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(device);
    ScriptedServer server(device, [&](int fd) {
      readExactly(fd, 12);
      if (!c.answer.empty()) writeAll(fd, c.answer);
    });
    auto handle = io.open(device);
    ASSERT_TRUE(handle) << c.what;
    Bytes out(4, 0x55);
    EXPECT_FALSE(handle->control(0x0C, {}, out)) << c.what;
    EXPECT_EQ(out, Bytes(4, 0x55)) << c.what;
    EXPECT_FALSE(handle->control(0x0C, {}, out)) << c.what;
  }
}

TEST_F(SocketDeviceIoTest, DriverGoneBeforeTheRequestDoesNotRaiseSigpipe) {
  ScriptedServer server(device, [&](int) {});  // accepts and closes at once
  auto handle = io.open(device);
  ASSERT_TRUE(handle);
  std::this_thread::sleep_for(50ms);
  // A large input makes the write itself hit the closed connection.
  const Bytes big(256 * 1024, 1);
  EXPECT_FALSE(handle->control(0x02, big, {}));
}

}  // namespace
}  // namespace qv::platform
