// Arbitrary bytes as a hostile driver's replies, read through the socket device the panel
// uses and decoded as the panel (raw point, line statistics) and qv-driverctl (the state
// and the configuration in it) decode them. The first byte picks four requests; the rest
// is everything the driver sends before it hangs up. A reply's bytes land at the start of
// the caller's record and the bytes past them stay as they were; after a reply that does
// not fit or is cut short, nothing more is read.
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

#include "driver_model.h"
#include "fuzz_check.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/unix_socket.h"
#include "scratch_folder.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path device = scratchFolder() / "QV.VXD";
  static const platform::UniqueFd listener = [] {
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un addr;
    if (!platform::unixSocketAddress(device, addr) || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) ||
        ::listen(fd.get(), 4)) {
      std::abort();
    }
    return fd;
  }();
  if (size == 0 || size > 64 * 1024) return 0;  // the replies must fit the socket's buffer
  auto handle = platform::SocketDeviceIo(std::chrono::milliseconds(2000)).open(device);
  const platform::UniqueFd driver(::accept(listener.get(), nullptr, nullptr));
  if (!handle || !driver || ::send(driver.get(), data + 1, size - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(size - 1)) {
    std::abort();
  }
  ::shutdown(driver.get(), SHUT_WR);

  std::size_t at = 1;  // the next reply's header in data; size once the connection is broken
  // Sends code with the record out, which must then be as the reply leaves it.
  auto request = [&](auto code, std::span<std::uint8_t> out) {
    std::vector<std::uint8_t> expected(out.begin(), out.end());
    std::uint32_t n = 0;
    if (at + 8 <= size) std::memcpy(&n, data + at + 4, 4);
    if (at + 8 <= size && n <= out.size() && at + 8 + n <= size) {
      std::copy_n(data + at + 8, n, expected.begin());
      at += 8 + n;
    } else {
      at = size;
    }
    handle->control(static_cast<std::uint32_t>(code), {}, out);
    FUZZ_CHECK(std::equal(out.begin(), out.end(), expected.begin()));
  };
  for (int r = 0; r < 4; ++r) {
    const int kind = (data[0] >> (2 * r)) & 3;
    if (kind == 0) {
      driver::RawPoint point;
      point.bytes.fill(0x5A);
      request(driver::RequestCode::ReadRawPoint, point.bytes);
    } else if (kind == 1) {
      auto bytes = driver::LineStatistics{}.toBytes();
      bytes.fill(0xA5);
      request(driver::RequestCode::ReadLineStatistics, bytes);
      driver::LineStatistics::fromBytes(bytes);
    } else {
      std::array<std::uint8_t, driverd::kStateSize> state{};
      state.fill(static_cast<std::uint8_t>(r));
      request(driverd::OwnCode::ReadState, state);
      const auto model = driverd::DriverModel::fromBytes(state);
      driver::CursorOffsetRecord::fromBytes(model.cursorOffset);
      driver::CalibrationRecord::fromBytes(model.limits.toBytes());
    }
  }
  return 0;
}
