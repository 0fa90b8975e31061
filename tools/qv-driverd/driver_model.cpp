#include "driver_model.h"

#include "platform/little_endian.h"

#include <algorithm>
#include <cstring>

namespace qv::driverd {

namespace {

using driver::RequestCode;

// Counters wrap like the driver's 32-bit counters rather than stopping.
std::uint32_t add(std::uint32_t a, std::uint32_t b) { return a + b; }

template <std::size_t N>
std::array<std::uint8_t, N> toArray(std::span<const std::uint8_t> in) {
  std::array<std::uint8_t, N> a{};
  std::copy_n(in.begin(), N, a.begin());
  return a;
}

std::size_t expectedInput(std::uint32_t code, bool& known) {
  known = true;
  switch (code) {
    case static_cast<std::uint32_t>(RequestCode::BeginCalibration): return 0;
    case static_cast<std::uint32_t>(RequestCode::SetCalibration): return 10;
    case static_cast<std::uint32_t>(RequestCode::InitializeDriver): return 10;
    case static_cast<std::uint32_t>(RequestCode::SetFixedMode): return 4;
    case static_cast<std::uint32_t>(RequestCode::SetBeepSound): return 4;
    case static_cast<std::uint32_t>(RequestCode::ReadRawPoint): return 0;
    case static_cast<std::uint32_t>(RequestCode::SetCursorOffset): return 11;
    case static_cast<std::uint32_t>(RequestCode::ReadLineStatistics): return 0;
    case static_cast<std::uint32_t>(RequestCode::SetLongBeep): return 1;
    case static_cast<std::uint32_t>(OwnCode::InjectTouch): return 2;
    case static_cast<std::uint32_t>(OwnCode::InjectLineErrors): return 8;
    case static_cast<std::uint32_t>(OwnCode::ReadState): return 0;
    case static_cast<std::uint32_t>(OwnCode::Reset): return 0;
    default: known = false; return 0;
  }
}

Reply withOutput(std::span<const std::uint8_t> record, std::uint32_t outLength) {
  Reply r{true, {}, {}};
  r.bytes.assign(record.begin(), record.begin() + std::min<std::size_t>(record.size(), outLength));
  return r;
}

// xorshift32: the same noise on every run, so tests know what to expect.
int nextNoise(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return static_cast<int>(state % (2 * kReadingNoise + 1)) - kReadingNoise;
}

std::uint8_t rawUnit(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

std::uint8_t rawUnit(double v) { return rawUnit(static_cast<int>(std::clamp(v, 0.0, 255.0))); }

}  // namespace

DriverModel startModel(const ModelBehaviour& behaviour) {
  DriverModel m;
  m.limits = behaviour.start.limits;
  m.beepSound = behaviour.start.beepSound;
  m.longBeep = behaviour.start.longBeep;
  m.orientation = {behaviour.start.mounting, behaviour.rotate};
  return m;
}

TouchEffect applyTouch(DriverModel& model, const TouchSample& sample) {
  model.rawX = rawUnit(sample.x);
  model.rawY = rawUnit(sample.y);
  model.touchSinceRead = true;
  TouchEffect effect;
  if (!sample.penDown) {
    // A last sample without a first (its reports were lost) only updates the reading.
    if (!model.penDown) return effect;
    model.penDown = false;
    model.line.penUps = add(model.line.penUps, 1);
    effect.pointer = TouchEffect::Pointer::Up;
    return effect;
  }
  effect.at = mapTouch(sample, model.limits, model.calibrationMode,
                       driver::CursorOffsetRecord::fromBytes(model.cursorOffset), model.orientation);
  if (model.penDown) {
    effect.pointer = TouchEffect::Pointer::Move;
    return effect;
  }
  model.penDown = true;
  model.line.penDowns = add(model.line.penDowns, 1);
  effect.pointer = TouchEffect::Pointer::Down;
  effect.beep = model.beepSound;
  effect.longBeep = model.longBeep;
  return effect;
}

TouchEffect releaseTouch(DriverModel& model) {
  if (!model.penDown) return {};
  model.penDown = false;
  return {TouchEffect::Pointer::Up, {}, false, false};
}

std::array<std::uint8_t, 2> playedReading(const driver::CalibrationRecord& t, std::uint32_t edge,
                                          std::uint32_t& noise) {
  const int midX = (t.x1 + t.x2) / 2;
  const int midY = (t.y1 + t.y2) / 2;
  int x = midX, y = midY;
  switch (edge % 4) {
    case 0: y = t.y1; break;
    case 1: x = t.x2; break;
    case 2: y = t.y2; break;
    default: x = t.x1; break;
  }
  x += nextNoise(noise);
  y += nextNoise(noise);
  return {rawUnit(x), rawUnit(y)};
}

std::array<std::uint8_t, kStateSize> DriverModel::toBytes() const {
  std::array<std::uint8_t, kStateSize> b{};
  platform::putLe32(&b[0], requestsHandled);
  b[4] = initialised;
  b[5] = calibrationMode;
  b[6] = beepSound;
  b[7] = longBeep;
  std::copy(fixedMode.begin(), fixedMode.end(), &b[8]);
  const auto lim = limits.toBytes();
  std::copy_n(lim.begin(), 4, &b[12]);
  std::copy(cursorOffset.begin(), cursorOffset.end(), &b[16]);
  b[28] = rawX;
  b[29] = rawY;
  platform::putLe32(&b[32], line.overrunErrors);
  platform::putLe32(&b[36], line.framingErrors);
  platform::putLe32(&b[40], line.penDowns);
  platform::putLe32(&b[44], line.penUps);
  platform::putLe32(&b[48], initializeCount);
  platform::putLe32(&b[52], setCalibrationCount);
  return b;
}

DriverModel DriverModel::fromBytes(std::span<const std::uint8_t, kStateSize> b) {
  DriverModel m;
  m.requestsHandled = platform::getLe32(&b[0]);
  m.initialised = b[4] != 0;
  m.calibrationMode = b[5] != 0;
  m.beepSound = b[6] != 0;
  m.longBeep = b[7] != 0;
  std::copy_n(&b[8], 4, m.fixedMode.begin());
  m.limits = {b[12], b[13], b[14], b[15]};
  std::copy_n(&b[16], 11, m.cursorOffset.begin());
  m.rawX = b[28];
  m.rawY = b[29];
  m.line = {platform::getLe32(&b[32]), platform::getLe32(&b[36]), platform::getLe32(&b[40]), platform::getLe32(&b[44])};
  m.initializeCount = platform::getLe32(&b[48]);
  m.setCalibrationCount = platform::getLe32(&b[52]);
  return m;
}

Reply handleRequest(DriverModel& model, const ModelBehaviour& behaviour, std::uint32_t code,
                    std::span<const std::uint8_t> in, std::uint32_t outLength,
                    const InitReporter& reportInit) {
  // The state record reports the count of requests before this one.
  const DriverModel before = model;
  ++model.requestsHandled;

  bool known = false;
  const std::size_t expected = expectedInput(code, known);
  if (!known || in.size() != expected) return {};

  switch (code) {
    case static_cast<std::uint32_t>(RequestCode::BeginCalibration):
      model.calibrationMode = true;
      model.calibrationReads = 0;
      return {true, {}, {}};
    case static_cast<std::uint32_t>(RequestCode::SetCalibration):
      model.limits = driver::CalibrationRecord::fromBytes(toArray<10>(in));
      model.calibrationMode = false;
      ++model.setCalibrationCount;
      if (behaviour.readMounting) model.orientation.mounting = behaviour.readMounting();
      return {true, {}, {}};
    case static_cast<std::uint32_t>(RequestCode::InitializeDriver): {
      ++model.initializeCount;
      model.calibrationMode = false;
      model.initialised = !behaviour.failInitialize;
      if (model.initialised) {
        model.limits = driver::CalibrationRecord::fromBytes(toArray<10>(in));
        if (behaviour.readMounting) model.orientation.mounting = behaviour.readMounting();
      }
      const bool recorded = reportInit ? reportInit(model.initialised) : false;
      return {model.initialised && recorded, {}, {}};
    }
    case static_cast<std::uint32_t>(RequestCode::SetFixedMode):
      model.fixedMode = toArray<4>(in);
      return {true, {}, {}};
    case static_cast<std::uint32_t>(RequestCode::SetBeepSound):
      model.beepSound = in[0] != 0;
      return {true, {}, {}};
    case static_cast<std::uint32_t>(RequestCode::ReadRawPoint): {
      if (model.calibrationMode && behaviour.trueLimits) {
        if (!model.touchSinceRead) {
          const auto played = playedReading(*behaviour.trueLimits, model.calibrationReads, model.noise);
          model.rawX = played[0];
          model.rawY = played[1];
        }
        ++model.calibrationReads;
      }
      model.touchSinceRead = false;
      std::array<std::uint8_t, 10> point{};
      point[1] = model.rawX;
      point[3] = model.rawY;
      return withOutput(point, outLength);
    }
    case static_cast<std::uint32_t>(RequestCode::SetCursorOffset):
      model.cursorOffset = toArray<11>(in);
      return {true, {}, {}};
    case static_cast<std::uint32_t>(RequestCode::ReadLineStatistics):
      return withOutput(model.line.toBytes(), outLength);
    case static_cast<std::uint32_t>(RequestCode::SetLongBeep):
      model.longBeep = in[0] != 0;
      return {true, {}, {}};
    case static_cast<std::uint32_t>(OwnCode::InjectTouch): {
      // A whole touch on the road of every other: pen down and up at the reading. A reading
      // in whole units stands for the middle of its unit, as a stored limit does.
      Reply r{true, {}, {}};
      const double x = in[0] + kUnitMiddle, y = in[1] + kUnitMiddle;
      r.effects.push_back(applyTouch(model, {true, x, y}));
      r.effects.push_back(applyTouch(model, {false, x, y}));
      return r;
    }
    case static_cast<std::uint32_t>(OwnCode::InjectLineErrors):
      model.line.overrunErrors = add(model.line.overrunErrors, platform::getLe32(&in[0]));
      model.line.framingErrors = add(model.line.framingErrors, platform::getLe32(&in[4]));
      return {true, {}, {}};
    case static_cast<std::uint32_t>(OwnCode::ReadState):
      return withOutput(before.toBytes(), outLength);
    case static_cast<std::uint32_t>(OwnCode::Reset): {
      Reply r{true, {}, {}};
      if (const TouchEffect lift = releaseTouch(model); lift.pointer != TouchEffect::Pointer::None) {
        r.effects.push_back(lift);
      }
      model = startModel(behaviour);
      model.requestsHandled = before.requestsHandled + 1;
      return r;
    }
  }
  return {};
}

}  // namespace qv::driverd
