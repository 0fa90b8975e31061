// Arbitrary bytes as a hostile driver's replies, read through the socket device the panel
// uses and decoded as the panel (raw point, line statistics) and qv-driverctl (state and
// the configuration inside it) decode them. The first byte picks the requests; the rest
// is everything the driver sends before it hangs up.
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "driver/records.h"
#include "driver_model.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/unix_socket.h"

namespace {

using namespace qv;

struct Listener {
  std::filesystem::path path;
  platform::UniqueFd fd;
};

Listener& listener() {
  static Listener l = [] {
    char dir[] = "/tmp/qv-reply-fuzz-XXXXXX";
    if (!::mkdtemp(dir)) std::abort();
    Listener made{std::filesystem::path(dir) / "QV.VXD", platform::UniqueFd(::socket(AF_UNIX, SOCK_STREAM, 0))};
    sockaddr_un addr;
    platform::unixSocketAddress(made.path, addr);
    if (::bind(made.fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(made.fd.get(), 4) != 0) {
      std::abort();
    }
    return made;
  }();
  return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return 0;  // the replies must fit the socket's buffer
  platform::SocketDeviceIo io(std::chrono::milliseconds(2000));
  auto handle = io.open(listener().path);
  platform::UniqueFd driver(::accept(listener().fd.get(), nullptr, nullptr));
  if (!handle || !driver) std::abort();
  if (size > 1 && ::send(driver.get(), data + 1, size - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(size - 1)) std::abort();
  ::shutdown(driver.get(), SHUT_WR);

  for (int request = 0; request < 4; ++request) {
    switch ((data[0] >> (2 * request)) & 3) {
      case 0: {
        driver::RawPoint point;
        handle->control(static_cast<std::uint32_t>(driver::RequestCode::ReadRawPoint), {}, point.bytes);
        break;
      }
      case 1: {
        auto bytes = driver::LineStatistics{}.toBytes();
        handle->control(static_cast<std::uint32_t>(driver::RequestCode::ReadLineStatistics), {}, bytes);
        driver::LineStatistics::fromBytes(bytes);
        break;
      }
      default: {
        std::array<std::uint8_t, driverd::kStateSize> state{};
        handle->control(static_cast<std::uint32_t>(driverd::OwnCode::ReadState), {}, state);
        const auto model = driverd::DriverModel::fromBytes(state);
        driver::CursorOffsetRecord::fromBytes(model.cursorOffset);
        driver::CalibrationRecord::fromBytes(model.limits.toBytes());
        break;
      }
    }
  }
  return 0;
}
