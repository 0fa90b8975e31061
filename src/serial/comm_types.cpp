#include "serial/comm_types.h"

namespace qv::serial {

platform::SerialLineState buildLineState(const CommSettings& s, const platform::SerialLineState& current) {
  platform::SerialLineState state;
  state.baudRate = s.BaudRate > 0 ? static_cast<std::uint32_t>(s.BaudRate) : 0;
  state.binary = true;
  state.parityCheck = s.ParityCheck;
  state.outxCtsFlow = s.Outx_CtsFlow;
  state.outxDsrFlow = s.Outx_DsrFlow;
  switch (s.DtrControl) {
    case TDtrControl::DtrEnable: state.dtr = platform::DtrMode::On; break;
    case TDtrControl::DtrDisable: state.dtr = platform::DtrMode::Off; break;
    case TDtrControl::DtrHandshake: state.dtr = platform::DtrMode::Handshake; break;
  }
  state.dsrSensitivity = s.DsrSensitivity;
  state.txContinueOnXoff = s.TxContinueOnXoff;
  state.outX = s.Outx_XonXoffFlow;
  state.inX = s.Inx_XonXoffFlow;
  state.replaceErrorChar = s.ReplaceWhenParityError;
  state.discardNull = s.IgnoreNullChar;
  switch (s.RtsControl) {
    case TRtsControl::RtsEnable: state.rts = platform::RtsMode::On; break;
    case TRtsControl::RtsDisable: state.rts = platform::RtsMode::Off; break;
    case TRtsControl::RtsHandshake: state.rts = platform::RtsMode::Handshake; break;
    case TRtsControl::RtsTransmissionAvailable: state.rts = platform::RtsMode::Toggle; break;
  }
  state.abortOnError = false;
  state.xonLimit = s.XonLimit;
  state.xoffLimit = s.XoffLimit;
  state.byteSize = static_cast<std::uint8_t>(5 + static_cast<int>(s.ByteSize));
  state.parity = static_cast<std::uint8_t>(s.Parity);
  state.stopBits = static_cast<std::uint8_t>(s.StopBits);
  state.xonChar = s.XonChar;
  state.xoffChar = s.XoffChar;
  state.errorChar = s.ReplacedChar;
  state.eofChar = current.eofChar;
  state.evtChar = current.evtChar;
  return state;
}

platform::SerialTimeouts buildTimeouts(const CommSettings& s) {
  return {static_cast<std::uint32_t>(s.ReadIntervalTimeout), static_cast<std::uint32_t>(s.ReadTotalTimeoutMultiplier),
          static_cast<std::uint32_t>(s.ReadTotalTimeoutConstant),
          static_cast<std::uint32_t>(s.WriteTotalTimeoutMultiplier),
          static_cast<std::uint32_t>(s.WriteTotalTimeoutConstant)};
}

}  // namespace qv::serial
