#include "driver/driver_channel.h"

#include "platform/machine_root.h"

#include <exception>

namespace qv::driver {

namespace {

constexpr std::uint32_t code(RequestCode c) { return static_cast<std::uint32_t>(c); }

}  // namespace

// Request results are not examined beyond what a reply filled in, except where a caller
// must know whether the driver took a request (reads, and new calibration limits).
void DriverSession::beginCalibration() {
  handle_->control(code(RequestCode::BeginCalibration), {}, {});
}

bool DriverSession::setCalibration(const CalibrationRecord& record) {
  const auto bytes = record.toBytes();
  return handle_->control(code(RequestCode::SetCalibration), bytes, {});
}

void DriverSession::initializeDriver(const CalibrationRecord& record) {
  const auto bytes = record.toBytes();
  handle_->control(code(RequestCode::InitializeDriver), bytes, {});
}

void DriverSession::setFixedMode() {
  const auto bytes = fixedModeBuffer();
  handle_->control(code(RequestCode::SetFixedMode), bytes, {});
}

void DriverSession::setBeepSound(bool on) {
  const auto bytes = beepSoundBuffer(on);
  handle_->control(code(RequestCode::SetBeepSound), bytes, {});
}

bool DriverSession::readRawPoint(RawPoint& point) {
  // A reply that stops before raw Y (offset 3) is no reading: the bytes it did not carry
  // would be the previous touch's.
  RawPoint reply = point;
  const auto filled = handle_->controlFilled(code(RequestCode::ReadRawPoint), {}, reply.bytes);
  if (!filled || *filled < kRawPointReadingBytes) return false;
  point = reply;
  return true;
}

void DriverSession::setCursorOffset(const CursorOffsetRecord& record) {
  const auto bytes = record.toBytes();
  handle_->control(code(RequestCode::SetCursorOffset), bytes, {});
}

std::optional<std::size_t> DriverSession::readLineStatistics(LineStatistics& stats) {
  // Counters the driver did not return keep their previous value.
  auto bytes = stats.toBytes();
  const auto filled = handle_->controlFilled(code(RequestCode::ReadLineStatistics), {}, bytes);
  stats = LineStatistics::fromBytes(bytes);
  return filled;
}

void DriverSession::setLongBeep(bool on) {
  const auto bytes = longBeepBuffer(on);
  handle_->control(code(RequestCode::SetLongBeep), bytes, {});
}

DriverChannel::DriverChannel(platform::DeviceIo& io) : io_(io) {}

DriverChannel::DriverChannel(platform::DeviceIo& io, std::filesystem::path device)
    : io_(io), device_(std::move(device)) {}

std::optional<DriverSession> DriverChannel::open() {
  // The device path follows the machine root at the time of the action, so a channel made
  // before QUORVANE_HOME changes (tests) still finds the right driver.
  std::filesystem::path device = device_;
  if (device.empty()) {
    try {
      device = platform::driverDevicePath();
    } catch (const std::exception&) {
      return std::nullopt;  // no machine root: no driver either
    }
  }
  auto handle = io_.open(device);
  if (!handle) return std::nullopt;
  return DriverSession(std::move(handle));
}

}  // namespace qv::driver
