// Arbitrary bytes as a hostile driver's replies, read through the socket device the panel
// uses and decoded as the panel (raw point, line statistics) and qv-driverctl (the state
// and the configuration in it) decode them. The first byte picks four requests; the rest
// is everything the driver sends before it hangs up.
#include <sys/socket.h>

#include <cstdlib>

#include "driver_model.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/unix_socket.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static char dir[] = "/tmp/qv-reply-fuzz-XXXXXX";
  static const std::filesystem::path device = std::filesystem::path(::mkdtemp(dir)) / "QV.VXD";
  static const struct Cleanup { ~Cleanup() { std::filesystem::remove_all(dir); } } cleanup;
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

  for (int request = 0; request < 4; ++request) {
    const int kind = (data[0] >> (2 * request)) & 3;
    if (kind == 0) {
      driver::RawPoint point;
      handle->control(static_cast<std::uint32_t>(driver::RequestCode::ReadRawPoint), {}, point.bytes);
    } else if (kind == 1) {
      auto bytes = driver::LineStatistics{}.toBytes();
      handle->control(static_cast<std::uint32_t>(driver::RequestCode::ReadLineStatistics), {}, bytes);
      driver::LineStatistics::fromBytes(bytes);
    } else {
      std::array<std::uint8_t, driverd::kStateSize> state{};
      handle->control(static_cast<std::uint32_t>(driverd::OwnCode::ReadState), {}, state);
      const auto model = driverd::DriverModel::fromBytes(state);
      driver::CursorOffsetRecord::fromBytes(model.cursorOffset);
      driver::CalibrationRecord::fromBytes(model.limits.toBytes());
    }
  }
  return 0;
}
