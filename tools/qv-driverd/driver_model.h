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
  // For readings played in calibration mode (not part of the state record): whether a
  // touch was injected since the last ReadRawPoint, the ReadRawPoint requests since
  // BeginCalibration (which edge is asked for), and the noise generator's state.
  bool touchSinceRead = false;
  std::uint32_t calibrationReads = 0;
  std::uint32_t noise = 0x2545F491u;

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

// The raw readings at the four edges of the screen of the touch screen it plays: X1 left,
// X2 right, Y1 top, Y2 bottom.
inline constexpr driver::CalibrationRecord kDefaultTrueLimits{0x10, 0xF0, 0x18, 0xE8};
// Played readings wander this many raw units either way.
inline constexpr int kReadingNoise = 2;

struct ModelBehaviour {
  bool failInitialize = false;  // InitializeDriver reports failure instead of success
  // In calibration mode a ReadRawPoint with no touch injected since the last one answers
  // a reading near the edge being calibrated (top, right, bottom, left in turn), from
  // these limits with a little noise, as a person touching the targets would produce.
  driver::CalibrationRecord trueLimits = kDefaultTrueLimits;
};

// The reading a touch on the target of an edge (0 top, 1 right, 2 bottom, 3 left) gives:
// that edge's limit on its axis, the middle on the other, each moved by up to
// kReadingNoise drawn from noise (advanced).
std::array<std::uint8_t, 2> playedReading(const driver::CalibrationRecord& trueLimits, std::uint32_t edge,
                                          std::uint32_t& noise);

// Applies one request to the model. Known codes with an input of the wrong size, and
// unknown codes, are answered with failure and change nothing but the request count.
Reply handleRequest(DriverModel& model, const ModelBehaviour& behaviour, std::uint32_t code,
                    std::span<const std::uint8_t> in, std::uint32_t outLength,
                    const InitReporter& reportInit);

}  // namespace qv::driverd
