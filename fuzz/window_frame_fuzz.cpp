// Arbitrary bytes as a hostile peer sends them to a window endpoint: read by the endpoint's
// own listener thread, posted and sent frames handled on the window's loop, replies read
// back, until the listener ends the connection. Each sent frame before the first malformed
// one gets exactly its answer, in order. A hang is a finding as much as a crash.
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <vector>

#include "fuzz_check.h"
#include "platform/manual_event_loop.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_endpoints.h"
#include "scratch_folder.h"

using namespace qv::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool rooted = ::setenv("QUORVANE_HOME", scratchFolder().c_str(), 1) == 0;
  static ManualEventLoop loop;
  static const auto endpoint = UnixWindowEndpointFactory().listen(
      "TFuzzForm", "Fuzz", loop, [](const WindowMessage& m) { return m.wParam ^ m.lParam; });
  if (!rooted || !endpoint) std::abort();
  if (size > 64 * 1024) return 0;  // all of it must fit the socket's buffer
  UniqueFd peer = connectUnixSocket(endpointPath("TFuzzForm", "Fuzz"), std::chrono::milliseconds(1000));
  if (!peer || ::send(peer.get(), data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) std::abort();
  ::shutdown(peer.get(), SHUT_WR);

  // The answer to a sent frame is its wParam ^ lParam, byte by byte in little-endian order.
  std::vector<std::uint8_t> expected, answers;
  for (const std::uint8_t* f = data; f + kFrameSize <= data + size && f[13] == 0 && f[14] == 0 && f[15] == 0 && f[12] <= 1;
       f += kFrameSize) {
    for (int i = 0; f[12] == 1 && i < 4; ++i) expected.push_back(f[4 + i] ^ f[8 + i]);
  }
  for (;;) {
    loop.runPending();
    pollfd ready{peer.get(), POLLIN, 0};
    if (::poll(&ready, 1, 1) <= 0) continue;
    std::uint8_t replies[256];
    const ssize_t n = ::recv(peer.get(), replies, sizeof replies, 0);
    if (n <= 0) break;
    answers.insert(answers.end(), replies, replies + n);
  }
  loop.runPending();
  FUZZ_CHECK(answers == expected);
  return 0;
}
