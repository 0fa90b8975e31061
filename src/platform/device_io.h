#pragma once
// Device I/O control on the driver's device. Opening a device may fail (the driver is
// not there); a request reports only whether it went through.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace qv::platform {

class DeviceHandle {
public:
  virtual ~DeviceHandle() = default;  // closes the device
  // Sends one request and waits for its reply. The reply's bytes are copied to the start
  // of out; the rest of out is left as it was. False when the request failed (no reply
  // in time, connection broken, driver answered failure).
  virtual bool control(std::uint32_t code, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out) = 0;
  // The same request, telling how many bytes at the start of out the reply filled; nullopt
  // when it failed. A device that cannot tell counts out as filled whole.
  virtual std::optional<std::size_t> controlFilled(std::uint32_t code, std::span<const std::uint8_t> in,
                                                   std::span<std::uint8_t> out) {
    if (!control(code, in, out)) return std::nullopt;
    return out.size();
  }
  // Ends the connection from another thread: a request waiting for its reply fails at
  // once, as does every later one. Safe from any thread while the handle lives. A device
  // that cannot be interrupted lets the request run to its end.
  virtual void shutdown() {}
};

class DeviceIo {
public:
  virtual ~DeviceIo() = default;
  // nullptr when the device cannot be opened.
  virtual std::unique_ptr<DeviceHandle> open(const std::filesystem::path& device) = 0;
};

}  // namespace qv::platform
