#include "detect/comm_probe_line.h"

namespace qv::detect {

void configureComm1(serial::TComm& comm) {
  using namespace serial;
  comm.setCommName("COM2");
  comm.setBaudRate(19200);
  comm.setByteSize(TByteSize::_8);
  comm.setParity(TParity::None);
  comm.setStopBits(TStopBits::_1);
  comm.setParityCheck(false);
  comm.setOutx_CtsFlow(false);
  comm.setOutx_DsrFlow(false);
  comm.setDtrControl(TDtrControl::DtrEnable);
  comm.setDsrSensitivity(false);
  comm.setTxContinueOnXoff(true);
  comm.setOutx_XonXoffFlow(true);
  comm.setInx_XonXoffFlow(true);
  comm.setReplaceWhenParityError(false);
  comm.setIgnoreNullChar(false);
  comm.setRtsControl(TRtsControl::RtsEnable);
  comm.setXonLimit(500);
  comm.setXoffLimit(500);
  comm.setXonChar(0x11);
  comm.setXoffChar(0x13);
  comm.setReplacedChar(0x00);
  comm.setReadIntervalTimeout(100);
  comm.setReadTotalTimeoutMultiplier(0);
  comm.setReadTotalTimeoutConstant(0);
  comm.setWriteTotalTimeoutMultiplier(0);
  comm.setWriteTotalTimeoutConstant(0);
}

CommProbeLine::CommProbeLine(serial::TComm& comm, platform::EventLoop& loop, ReplyHandler onReply)
    : comm_(comm), loop_(loop), onReply_(std::move(onReply)) {
  comm_.OnReceiveData = [this](serial::TComm&, const std::uint8_t* buffer, std::uint16_t length) {
    if (staleMarkers_ > 0 || !onReply_) return;
    onReply_(std::span<const std::uint8_t>(buffer, length));
  };
}

CommProbeLine::~CommProbeLine() { comm_.OnReceiveData = nullptr; }

void CommProbeLine::close() {
  if (!comm_.isOpen()) return;
  comm_.ClosePort();
  ++staleMarkers_;
  loop_.post(guard_.guarded([this] { --staleMarkers_; }));
}

void CommProbeLine::send(std::span<const std::uint8_t> bytes) {
  comm_.SendData(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
}

}  // namespace qv::detect
