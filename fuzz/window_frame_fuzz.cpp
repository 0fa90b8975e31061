// Arbitrary bytes as a hostile peer sends them to a window endpoint: read by the endpoint's
// own listener thread, posted and sent frames handled on the window's loop, replies read
// back, until the listener ends the connection. A hang is a finding as much as a crash.
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <memory>

#include "platform/manual_event_loop.h"
#include "platform/posix/unix_socket.h"
#include "platform/posix/unix_window_endpoints.h"

namespace {

using namespace qv::platform;

struct Window {
  ManualEventLoop loop;
  std::unique_ptr<WindowEndpoint> endpoint;
};

Window& window() {
  static Window* w = [] {
    char root[] = "/tmp/qv-window-fuzz-XXXXXX";
    if (!::mkdtemp(root) || ::setenv("QUORVANE_HOME", root, 1) != 0) std::abort();
    auto* made = new Window;
    made->endpoint = UnixWindowEndpointFactory().listen("TFuzzForm", "Fuzz", made->loop,
                                                         [](const WindowMessage& m) { return m.wParam ^ m.lParam; });
    if (!made->endpoint) std::abort();
    return made;
  }();
  return *w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;  // all of it must fit the socket's buffer
  Window& w = window();
  UniqueFd peer = connectUnixSocket(endpointPath("TFuzzForm", "Fuzz"), std::chrono::milliseconds(1000));
  if (!peer || ::send(peer.get(), data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) std::abort();
  ::shutdown(peer.get(), SHUT_WR);
  for (;;) {
    w.loop.runPending();
    pollfd ready{peer.get(), POLLIN, 0};
    if (::poll(&ready, 1, 1) <= 0) continue;
    std::uint8_t replies[256];
    if (::recv(peer.get(), replies, sizeof replies, 0) <= 0) break;
  }
  w.loop.runPending();
  return 0;
}
