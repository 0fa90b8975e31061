#include "touch_input.h"

#include "platform/machine_root.h"

#include <exception>

namespace qv::driverd {

TouchInput::TouchInput(PortSettingsReader readSettings, platform::SerialPortOpener opener)
    : readSettings_(std::move(readSettings)), portOpener_(std::move(opener)) {}

TouchInput::TouchInput(std::string devicePath, DeviceOpener opener, std::unique_ptr<TouchDevice> opened)
    : devicePath_(std::move(devicePath)), deviceOpener_(std::move(opener)), device_(std::move(opened)) {}

TouchInput::~TouchInput() = default;

void TouchInput::close() {
  port_.reset();
  device_.reset();
}

bool TouchInput::sendProbes() { return port_ && port_->sendProbes(); }

std::vector<std::filesystem::path> TouchInput::devicePaths() const {
  if (deviceOpener_) return {devicePath_};
  // The port as the store names it now: the next open takes that one.
  const std::string name = readSettings_().name;
  std::vector<std::filesystem::path> paths;
  try {
    if (const auto linked = platform::serialDevicePath(name)) {
      paths.push_back(platform::deviceDir() / name);
      if (*linked != paths.front()) paths.push_back(*linked);
    }
  } catch (const std::exception&) {
    // No machine root: nothing to watch.
  }
  return paths;
}

std::optional<std::string> TouchInput::reopen() {
  // Give the port or the grab back first: the same one is opened again.
  close();
  if (deviceOpener_) {
    TouchDeviceResult r = deviceOpener_(devicePath_);
    if (!r.device) return "cannot open the touch device " + devicePath_ + ": " + r.error;
    device_ = std::move(r.device);
    return std::nullopt;
  }
  const ControllerPortSettings settings = readSettings_();
  portName_ = settings.name;
  baudRate_ = settings.baudRate;
  ControllerPort::Opened r = ControllerPort::open(settings, portOpener_);
  if (!r.port) return r.error;
  port_ = std::move(r.port);
  return std::nullopt;
}

int TouchInput::fd() const {
  if (port_) return port_->fd();
  if (device_) return device_->fd();
  return -1;
}

std::string TouchInput::what() const {
  if (deviceOpener_) return "touch device " + devicePath_;
  return "controller port " + (portName_.empty() ? std::string("(none set)") : portName_);
}

std::optional<ControllerPort::Clock::time_point> TouchInput::quietDeadline() const {
  return port_ ? port_->quietDeadline() : std::nullopt;
}

void TouchInput::endIfQuiet(ControllerPort::Clock::time_point now, std::vector<TouchSample>& samples) {
  if (port_) port_->endIfQuiet(now, samples);
}

TouchInput::Reading TouchInput::read(std::vector<TouchSample>& samples) {
  Reading reading;
  if (port_) {
    const ControllerPort::Reading r = port_->read(samples);
    reading.overrunErrors = r.overrunErrors;
    reading.framingErrors = r.framingErrors;
    reading.skipped = port_->takeSkipped();
    reading.gone = r.gone;
    reading.answered = r.answered;
    if (r.gone) port_.reset();
  } else if (device_) {
    if (device_->read(samples) == TouchDevice::Status::Gone) {
      reading.gone = "the device went away";
      device_.reset();
    }
  }
  return reading;
}

}  // namespace qv::driverd
