#pragma once
// What the driver stand-in remembers and how it answers one request. Plain data and a
// free function, so the effects of every request can be checked without a socket.
#include "driver/records.h"
#include "driverd_protocol.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace qv::driverd {

struct DriverModel {
  std::uint32_t requestsHandled = 0;
  bool initialised = false;
  bool calibrationMode = false;
  bool beepSound = false;
  bool longBeep = false;
  std::array<std::uint8_t, 4> fixedMode{};
  driver::CalibrationRecord limits{};
  std::array<std::uint8_t, 11> cursorOffset{};
  std::uint8_t rawX = 0;
  std::uint8_t rawY = 0;
  driver::LineStatistics line{};
  std::uint32_t initializeCount = 0;
  std::uint32_t setCalibrationCount = 0;

  std::array<std::uint8_t, kStateSize> toBytes() const;
  static DriverModel fromBytes(std::span<const std::uint8_t, kStateSize> bytes);
  bool operator==(const DriverModel&) const = default;
};

struct Reply {
  bool ok = false;
  std::vector<std::uint8_t> bytes;  // never longer than the request's output length
};

// Records the outcome of InitializeDriver where the panel looks for it (the store's
// `Vxd Init`); called before the reply goes out. False when it could not be recorded.
using InitReporter = std::function<bool(bool initialised)>;

struct ModelBehaviour {
  bool failInitialize = false;  // InitializeDriver reports failure instead of success
};

// Applies one request to the model. Known codes with an input of the wrong size, and
// unknown codes, are answered with failure and change nothing but the request count.
Reply handleRequest(DriverModel& model, const ModelBehaviour& behaviour, std::uint32_t code,
                    std::span<const std::uint8_t> in, std::uint32_t outLength,
                    const InitReporter& reportInit);

}  // namespace qv::driverd
