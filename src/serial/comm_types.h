#pragma once
// The component's line settings and time-outs, and how they become the port's device
// control block and time-outs.
//
// On POSIX terminals the block maps onto termios: raw bytes, data bits, parity (mark and
// space through CMSPAR), one or two stop bits, XON/XOFF each way with their characters,
// RTS/CTS handshake, DTR and RTS raised or dropped. Replacing bytes received with errors
// and dropping zero bytes are done by the port's reader. What termios cannot express is
// kept with the port and read back, but has no effect on the line: DSR output flow and
// DSR sensitivity, continuing after XOFF, the XON/XOFF thresholds, abort on error, DTR
// handshake and RTS "on while sending" (both hold their line raised), and one and a
// half stop bits (sent as two).
#include "platform/serial_port.h"

#include <cstdint>
#include <string>

namespace qv::serial {

// The enumerations keep their order: it is the order of their stored values, 0 first.
enum class TDtrControl : std::uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : std::uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize : std::uint8_t { _5, _6, _7, _8 };
enum class TParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : std::uint8_t { _1, _1_5, _2 };

// Every line setting and time-out of the component, at the values of a new component.
struct CommSettings {
  std::string CommName = "COM2";
  std::int32_t BaudRate = 9600;
  bool ParityCheck = false;
  bool Outx_CtsFlow = false;
  bool Outx_DsrFlow = false;
  TDtrControl DtrControl = TDtrControl::DtrEnable;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = true;
  bool Outx_XonXoffFlow = true;
  bool Inx_XonXoffFlow = true;
  bool ReplaceWhenParityError = false;
  bool IgnoreNullChar = false;
  TRtsControl RtsControl = TRtsControl::RtsEnable;
  std::uint16_t XonLimit = 500;
  std::uint16_t XoffLimit = 500;
  TByteSize ByteSize = TByteSize::_8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::_1;
  std::uint8_t XonChar = 0x11;
  std::uint8_t XoffChar = 0x13;
  std::uint8_t ReplacedChar = 0x00;
  std::int32_t ReadIntervalTimeout = 100;
  std::int32_t ReadTotalTimeoutMultiplier = 0;
  std::int32_t ReadTotalTimeoutConstant = 0;
  std::int32_t WriteTotalTimeoutMultiplier = 0;
  std::int32_t WriteTotalTimeoutConstant = 0;
};

// The port's state as the settings want it. The flag word is rebuilt from scratch; the
// end-of-file and event characters keep the values read from the port. A baud rate that
// is 0 or negative gives 0, which the port refuses as a whole.
platform::SerialLineState buildLineState(const CommSettings& settings, const platform::SerialLineState& current);

// The five time-outs; negative values keep their bit pattern (-1 is 0xFFFFFFFF).
platform::SerialTimeouts buildTimeouts(const CommSettings& settings);

}  // namespace qv::serial
