#include "platform/manual_event_loop.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_endpoints.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <thread>

namespace qv::platform {
namespace {

using namespace std::chrono_literals;

// A peer that sends message after message but never takes the answers: once its queue is
// full the listener cannot hand over another answer, and must still stop when its window
// goes instead of waiting on that peer for ever.
TEST(EndpointReplies, APeerThatNeverReadsItsAnswersDoesNotHoldUpDestruction) {
  test::PrivateRoot root;
  ManualEventLoop loop;
  std::size_t handled = 0;
  auto endpoint = UnixWindowEndpointFactory().listen("TReplyForm", "Replies", loop,
                                                     [&](const WindowMessage&) {
                                                       ++handled;
                                                       return 1u;
                                                     });
  ASSERT_TRUE(endpoint);
  const UniqueFd peer = connectUnixSocket(endpointPath("TReplyForm", "Replies"), 1s);
  ASSERT_TRUE(peer);

  constexpr std::size_t kMessages = 20'000;
  std::atomic<bool> writerDone{false};
  std::thread writer([&] {
    const FrameBytes frame = encodeFrame({0x5BC, 0, 0}, FrameMode::Sent);
    for (std::size_t i = 0; i < kMessages; ++i) {
      if (::send(peer.get(), frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) break;
    }
    writerDone = true;
  });

  // Answer until the listener stops handing messages over: it is then stuck on an answer.
  std::size_t before = 0;
  const auto giveUp = SocketClock::now() + 20s;
  do {
    before = handled;
    loop.runFor(300ms);
    loop.runPending();
  } while (handled != before && SocketClock::now() < giveUp);
  ASSERT_LT(handled, kMessages) << "every answer was taken; the peer never filled up";

  const auto started = SocketClock::now();
  endpoint.reset();
  EXPECT_LT(SocketClock::now() - started, 1s);
  ::shutdown(peer.get(), SHUT_RDWR);  // lets the writer go if it still waits
  writer.join();
}

}  // namespace
}  // namespace qv::platform
