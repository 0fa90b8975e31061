// Arbitrary bytes as up to four clients send them to qv-driverd, in pieces that may end
// anywhere in a request, all to one server. Each client gets one reply for each whole
// request before its first malformed one, in order and no longer than the request allows;
// a malformed request ends its connection. Byte 0: the number of clients; then pieces, each
// a byte whose low bits name the client, a length byte and that many bytes.
#include <sys/socket.h>

#include <future>
#include <thread>

#include "driver_server.h"
#include "driverd_protocol.h"
#include "fuzz_check.h"
#include "platform/little_endian.h"
#include "platform/posix/unix_socket.h"
#include "scratch_folder.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path device = scratchFolder() / "QV.VXD";
  static const bool serving = [] {
    // Serves until the process ends, on a thread of its own, which alone takes the stop signals.
    std::promise<bool> started;
    auto ready = started.get_future();
    std::thread([started = std::move(started)]() mutable {
      driverd::ServerOptions options;
      options.socketPath = device;
      driverd::DriverServer server(options, nullptr);
      const bool ok = !server.start();
      started.set_value(ok);
      if (ok) server.run();
    }).detach();
    return ready.get();
  }();
  if (!serving) std::abort();
  if (size == 0) return 0;
  std::vector<std::vector<std::uint8_t>> sent(1 + data[0] % 4);
  std::vector<platform::UniqueFd> clients(sent.size());
  for (auto& client : clients) {
    if (!(client = platform::connectUnixSocket(device, std::chrono::milliseconds(1000)))) std::abort();
  }
  for (std::size_t at = 1; at + 2 <= size;) {
    const std::size_t c = data[at] % sent.size(), n = std::min<std::size_t>(data[at + 1], size - at - 2);
    ::send(clients[c].get(), data + at + 2, n, MSG_NOSIGNAL);  // fails once the server closed it
    sent[c].insert(sent[c].end(), data + at + 2, data + at + 2 + n);
    at += 2 + n;
  }

  for (std::size_t c = 0; c < sent.size(); ++c) {
    const auto deadline = platform::SocketClock::now() + std::chrono::seconds(5);
    std::span<const std::uint8_t> rest(sent[c]);
    driverd::RequestFrame frame;
    while ((frame = driverd::readRequestFrame(rest)).status == driverd::RequestFrame::Status::Complete) {
      std::uint8_t head[8], reply[256];
      FUZZ_CHECK(platform::receiveExactly(clients[c].get(), head, 8, deadline) == platform::ReceiveResult::Done);
      const std::uint32_t n = platform::getLe32(head + 4);
      FUZZ_CHECK(platform::getLe32(head) <= 1 && n <= frame.outLength && n <= sizeof reply);
      FUZZ_CHECK(platform::receiveExactly(clients[c].get(), reply, n, deadline) == platform::ReceiveResult::Done);
      rest = rest.subspan(frame.size);
    }
    // After a malformed request the connection ends; else nothing more comes.
    std::uint8_t more = 0;
    FUZZ_CHECK(frame.status == driverd::RequestFrame::Status::Malformed
                   ? platform::receiveExactly(clients[c].get(), &more, 1, deadline) != platform::ReceiveResult::Done
                   : ::recv(clients[c].get(), &more, 1, MSG_DONTWAIT) < 0);
  }
  return 0;
}
