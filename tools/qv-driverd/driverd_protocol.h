#pragma once
// qv-driverd's own requests, codes 0x1000 and up. The panel never sends them; tests,
// qv-driverctl and the demo use them to play the touch screen and to look inside the
// driver. They travel in the same frames as the driver's requests.
//
//   0x1000 InjectTouch       in:  2 bytes, raw X, raw Y (controller units, 0..255)
//                            a whole touch on the road of the controller's: pen down and
//                            pen up at (X, Y), mapped to the pointer output, beeping when
//                            the beep is on; the latest raw reading becomes (X, Y), and
//                            the pen-down and pen-up counters each grow by one. When the
//                            driver plays a touch screen (--true-limits), a ReadRawPoint
//                            in calibration mode with no touch since the last one
//                            answers a reading played from its true limits.
//   0x1001 InjectLineErrors  in:  8 bytes, u32 overrun count, u32 framing count; both
//                            are added to the line error counters.
//   0x1002 ReadState         out: DriverStateRecord (kStateSize bytes, layout below)
//   0x1003 Reset             no input: every piece of state goes back to how it was at
//                            start (counters, modes, limits, offset, raw reading).
//
// DriverStateRecord, all integers little-endian:
//   0   u32  requests handled before this one (every code, also failed ones)
//   4   u8   initialised: 1 after an InitializeDriver that succeeded
//   5   u8   calibration mode: 1 between BeginCalibration and SetCalibration/InitializeDriver
//   6   u8   beep sound flag (byte 0 of the last SetBeepSound)
//   7   u8   long beep flag (the last SetLongBeep)
//   8   4 B  the last SetFixedMode input (zeros before the first)
//   12  4 B  limits X1, X2, Y1, Y2 in use (last SetCalibration or InitializeDriver)
//   16  11 B the last SetCursorOffset record (zeros before the first)
//   27  u8   zero
//   28  u8   latest raw X
//   29  u8   latest raw Y
//   30  2 B  zero
//   32  u32  overrun errors
//   36  u32  framing errors
//   40  u32  pen downs
//   44  u32  pen ups
//   48  u32  InitializeDriver requests answered
//   52  u32  SetCalibration requests answered
#include <cstddef>
#include <cstdint>
#include <span>

namespace qv::driverd {

enum class OwnCode : std::uint32_t {
  InjectTouch = 0x1000,
  InjectLineErrors = 0x1001,
  ReadState = 0x1002,
  Reset = 0x1003,
};

constexpr std::size_t kStateSize = 56;

// Larger inputs than any request needs are a malformed frame, not a reason to buffer.
constexpr std::uint32_t kMaxRequestInput = 64 * 1024;

// The request at the start of what a client sent:
//   u32 code | u32 inLength | u32 outLength | inLength bytes
struct RequestFrame {
  enum class Status { Incomplete, Malformed, Complete };
  Status status = Status::Incomplete;
  std::uint32_t code = 0;
  std::uint32_t outLength = 0;
  std::span<const std::uint8_t> input;  // within the bytes given
  std::size_t size = 0;                 // bytes the whole request takes
};
RequestFrame readRequestFrame(std::span<const std::uint8_t> bytes);

}  // namespace qv::driverd
