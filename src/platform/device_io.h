#pragma once
// Device I/O control on the driver's device. Opening a device may fail (the driver is
// not there); a request reports only whether it went through.
#include <cstdint>
#include <filesystem>
#include <memory>
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
};

class DeviceIo {
public:
  virtual ~DeviceIo() = default;
  // nullptr when the device cannot be opened.
  virtual std::unique_ptr<DeviceHandle> open(const std::filesystem::path& device) = 0;
};

}  // namespace qv::platform
