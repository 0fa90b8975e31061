#pragma once
// The calibration logic over in-memory services: a store, a recording driver, recording
// window messages, a fake system clock and beep, prompts that record, and a view that
// records what the screen was asked to do.
#include "calibration/calib_screen.h"
#include "calibration/calibration_state.h"
#include "driver/driver_channel.h"
#include "driver/records.h"
#include "platform/user_prompts.h"
#include "support/fake_system_services.h"
#include "support/memory_registry_store.h"
#include "support/recording_device_io.h"
#include "support/recording_window_messenger.h"
#include "support/recording_prompts.h"

#include <string>
#include <vector>

namespace qv::test {

inline constexpr const char* kCalibrationStore = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Version"="3.1.05"
"Vxd Init"="Success"
"IsCursorOffset"=dword:00000001
)";

inline constexpr std::uint32_t code(driver::RequestCode c) { return static_cast<std::uint32_t>(c); }

class RecordingView final : public calibration::CalibScreenView {
public:
  void layOut() override { events.push_back("layOut"); }
  void minimise() override { events.push_back("minimise"); }
  void closeScreen() override {
    events.push_back("close");
    ++closes;
  }
  void repaintScreen() override { events.push_back("repaint"); }
  void showMessage(std::string_view text) override { message = std::string(text); }
  void reportError(std::string_view text) override { errors.emplace_back(text); }
  settings::CalibratedMonitor coveredMonitor() override { return monitor; }
  settings::CalibratedMonitor monitor;
  std::vector<std::string> events;
  int closes = 0;
  std::string message;
  std::vector<std::string> errors;
};

struct CalibrationRig {
  explicit CalibrationRig(std::string_view storeText = kCalibrationStore)
      : store(storeText), driver(deviceIo, "/nonexistent/QV.VXD") {
    deviceIo.setReply(code(driver::RequestCode::ReadRawPoint), std::vector<std::uint8_t>(10, 0));
  }

  calibration::CalibScreenServices screenServices() { return {store, driver, system}; }
  std::string text(std::string_view name) {
    auto v = store.readValue(platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", name);
    return v ? std::string(v->data.begin(), v->data.end()) : std::string("<absent>");
  }
  std::vector<std::uint8_t> bytes(std::string_view name) {
    auto v = store.readValue(platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", name);
    return v ? v->data : std::vector<std::uint8_t>{};
  }
  // The reply of the next ReadRawPoint: raw X at offset 1, raw Y at offset 3.
  void nextReading(std::uint8_t x, std::uint8_t y) {
    deviceIo.queueReply(code(driver::RequestCode::ReadRawPoint), {0, x, 0, y, 0, 0, 0, 0, 0, 0});
  }

  MemoryRegistryStore store;
  RecordingDeviceIo deviceIo;
  driver::DriverChannel driver;
  RecordingWindowMessenger messenger;
  FakeSystemServices system;
  test::RecordingPrompts prompts;
  calibration::CalibrationState state;
};

}  // namespace qv::test
