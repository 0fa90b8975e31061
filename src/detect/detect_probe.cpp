#include "detect/detect_probe.h"

#include <exception>

namespace qv::detect {

DetectProbe::DetectProbe(ProbeState& state, ProbeLine& line, ProbeWindow& window)
    : state_(state), line_(line), window_(window) {
  state_.ProbeStep = 0;
}

bool DetectProbe::FormShow() {
  try {
    line_.open();
  } catch (const std::exception&) {
    // Missing, in use, no serial device: simply not found here; no message.
    result_.DetFound = false;
    close();
    return false;
  }
  state_.FirstPass = true;
  window_.setTimerEnabled(true);
  return true;
}

void DetectProbe::Timer1Timer() {
  if (state_.FirstPass) {
    line_.setBaudRate(kFirstBaudRate);
    probeStep();
    window_.showProgress(progressText(line_.portName()));
    if (state_.ProbeStep == 0) state_.FirstPass = false;
    return;
  }
  if (state_.ProbeStep == 0) line_.setBaudRate(nextBaudRate(line_.baudRate()));
  if (line_.baudRate() != 0) {
    probeStep();
    window_.showProgress(progressText(line_.portName()));
    return;
  }
  // All three rates tried. The timer keeps running: it keeps its rhythm into the next
  // showing of the window.
  result_.DetFound = false;
  close();
}

void DetectProbe::probeStep() {
  ++state_.ProbeStep;
  if (state_.ProbeStep >= 1 && state_.ProbeStep <= 3) {
    line_.send(kProbeMessages[static_cast<std::size_t>(state_.ProbeStep - 1)]);
    return;
  }
  // Every pass ends with one silent tick that leaves time for the last reply.
  state_.ProbeStep = 0;
}

void DetectProbe::Comm1ReceiveData(std::span<const std::uint8_t> bytes) {
  const Reply reply = classifyReply(bytes);
  switch (reply.kind) {
    case Reply::Kind::None:
      return;
    case Reply::Kind::Firmware:
      result_.DetFirmware = reply.text;
      return;
    case Reply::Kind::Acknowledgement:
      found();
      result_.DetChipType = modelForBaudRate(result_.DetBaudRate);
      if (result_.DetFirmware.empty()) result_.DetFirmware = kDefaultFirmware;
      close();
      return;
    case Reply::Kind::NewerChip:
      found();
      result_.DetChipType = reply.text;
      close();
      return;
  }
}

void DetectProbe::found() {
  window_.setTimerEnabled(false);
  result_.DetFound = true;
  result_.DetPort = line_.portName();
  result_.DetBaudRate = line_.baudRate();
}

void DetectProbe::FormClose() { line_.close(); }

void DetectProbe::close() {
  line_.close();
  window_.closeWindow();
}

}  // namespace qv::detect
