#pragma once
// Where the driver's touches come from: the controller on the port the store names, or
// a touch device the kernel drives (--input). Opened at start and again on every
// InitializeDriver; when it goes away the driver keeps serving without it until then.
#include "controller_port.h"
#include "touch_device.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::driverd {

class TouchInput {
public:
  using PortSettingsReader = std::function<ControllerPortSettings()>;
  using DeviceOpener = std::function<TouchDeviceResult(const std::string& path)>;

  // The controller on the port the reader names at each open.
  TouchInput(PortSettingsReader readSettings, platform::SerialPortOpener opener);
  // The touch device at path; an already open device may be handed over.
  TouchInput(std::string devicePath, DeviceOpener opener, std::unique_ptr<TouchDevice> opened = nullptr);
  ~TouchInput();
  TouchInput(const TouchInput&) = delete;
  TouchInput& operator=(const TouchInput&) = delete;

  // Closes what is open and opens again. nullopt when it opened, else why not (the port
  // or device and the reason).
  std::optional<std::string> reopen();
  bool isOpen() const { return port_ || device_; }
  // Closes what is open.
  void close();
  // The controller on a serial port (rather than a touch device): it must answer.
  bool isControllerPort() const { return !deviceOpener_; }
  // Sends the probes on the open controller port; false when it cannot.
  bool sendProbes();
  // The port's name and speed as of the last open, for what the driver says.
  const std::string& portName() const { return portName_; }
  std::uint32_t baudRate() const { return baudRate_; }
  // The files whose coming and going decide whether it can be opened: the touch device,
  // or the link in the device folder of the port the store names now and the device the
  // name stands for.
  std::vector<std::filesystem::path> devicePaths() const;
  // Readable when touches (or a hang-up) wait; -1 while nothing is open.
  int fd() const;
  // What it reads from, for the log: "controller port COM1" or "touch device PATH".
  std::string what() const;

  struct Reading {
    std::uint32_t overrunErrors = 0;
    std::uint32_t framingErrors = 0;
    ReportDecoder::Skipped skipped;
    std::optional<std::string> gone;  // it went away (and is closed now): why
    bool answered = false;            // the controller answered the probes or sent a whole report
  };
  // Takes what waits without blocking, appending the samples.
  Reading read(std::vector<TouchSample>& samples);
  // When the controller's quiet line ends the touch it holds; nullopt while none is held
  // (and always for a touch device, which says itself when a touch ends).
  std::optional<ControllerPort::Clock::time_point> quietDeadline() const;
  // Appends the end of the touch held when that time has come at now.
  void endIfQuiet(ControllerPort::Clock::time_point now, std::vector<TouchSample>& samples);

private:
  PortSettingsReader readSettings_;
  platform::SerialPortOpener portOpener_;
  std::string devicePath_;
  DeviceOpener deviceOpener_;
  std::string portName_;
  std::uint32_t baudRate_ = kDefaultBaudRate;
  std::unique_ptr<ControllerPort> port_;
  std::unique_ptr<TouchDevice> device_;
};

}  // namespace qv::driverd
