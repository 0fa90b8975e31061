// Arbitrary bytes as a hostile peer sends them to a window endpoint: read by the endpoint's
// own listener thread, posted and sent frames handled on the window's loop, replies read
// back, until the listener ends the connection. A hang is a finding as much as a crash.
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>

#include "platform/manual_event_loop.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_endpoints.h"

using namespace qv::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static char root[] = "/tmp/qv-window-fuzz-XXXXXX";
  static const bool rooted = ::mkdtemp(root) && ::setenv("QUORVANE_HOME", root, 1) == 0;
  static const struct Cleanup { ~Cleanup() { std::filesystem::remove_all(root); } } cleanup;  // after the endpoint
  static ManualEventLoop loop;
  static const auto endpoint = UnixWindowEndpointFactory().listen(
      "TFuzzForm", "Fuzz", loop, [](const WindowMessage& m) { return m.wParam ^ m.lParam; });
  if (!rooted || !endpoint) std::abort();
  if (size > 64 * 1024) return 0;  // all of it must fit the socket's buffer
  UniqueFd peer = connectUnixSocket(endpointPath("TFuzzForm", "Fuzz"), std::chrono::milliseconds(1000));
  if (!peer || ::send(peer.get(), data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) std::abort();
  ::shutdown(peer.get(), SHUT_WR);
  for (;;) {
    loop.runPending();
    pollfd ready{peer.get(), POLLIN, 0};
    if (::poll(&ready, 1, 1) <= 0) continue;
    std::uint8_t replies[256];
    if (::recv(peer.get(), replies, sizeof replies, 0) <= 0) break;
  }
  loop.runPending();
  return 0;
}
