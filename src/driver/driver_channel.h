#pragma once
// The driver channel: every user action opens the device, sends its requests in order,
// and closes it. Request results are not examined beyond what a reply filled in.
#include "driver/records.h"
#include "platform/device_io.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>

namespace qv::driver {

// One open of the device; closing happens when it is destroyed.
class DriverSession {
public:
  explicit DriverSession(std::unique_ptr<platform::DeviceHandle> handle) : handle_(std::move(handle)) {}

  void beginCalibration();
  // False when the driver did not take the limits (no answer, broken connection, refusal).
  bool setCalibration(const CalibrationRecord& record);
  void initializeDriver(const CalibrationRecord& record);
  void setFixedMode();
  void setBeepSound(bool on);
  // Fills point with what the driver returned; bytes it did not return keep their value.
  // False, leaving point as it was, when the driver did not answer or its reply stopped
  // short of raw X and raw Y; senders may ignore it.
  bool readRawPoint(RawPoint& point);
  void setCursorOffset(const CursorOffsetRecord& record);
  // Counters the driver did not return keep their value. How many bytes of the record the
  // reply carried; nullopt when the driver did not answer.
  std::optional<std::size_t> readLineStatistics(LineStatistics& stats);
  void setLongBeep(bool on);
  // Ends the session from another thread: a request waiting for the driver fails at once,
  // as does every later one. Safe from any thread while the session lives.
  void shutdown() { handle_->shutdown(); }

private:
  std::unique_ptr<platform::DeviceHandle> handle_;
};

class DriverChannel {
public:
  // Uses <machine root>/dev/QV.VXD, looked up at every open.
  explicit DriverChannel(platform::DeviceIo& io);
  DriverChannel(platform::DeviceIo& io, std::filesystem::path device);
  // nullopt when the device cannot be opened (the driver is absent).
  std::optional<DriverSession> open();

private:
  platform::DeviceIo& io_;
  std::filesystem::path device_;
};

}  // namespace qv::driver
