#pragma once
// A main window's logic over in-memory services: a store started from a REGEDIT4 text,
// a recording driver, recording window messages, a fake launcher and system, prompts
// answered by the test and a repeat timer the test moves on by hand.
#include "app/panel_controller.h"
#include "app/repeat_timer.h"
#include "platform/user_prompts.h"
#include "support/fake_program_launcher.h"
#include "support/fake_system_services.h"
#include "support/memory_registry_store.h"
#include "support/recording_device_io.h"
#include "support/recording_window_messenger.h"
#include "support/recording_prompts.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

// A store the panel starts on without complaint: two ports, COM1 in use, the driver
// loaded, calibration stored.
inline constexpr const char* kPanelStore = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Version"="3.1.05"
"Vxd Init"="Success"
"Support Chip"="T303"
"ChipType"="RVCT303"
"ChipBaudRate"="9600"
"Firmware"=hex:12,ab
"COM1_IRQ"="4"
"COM1_ADDR"="3F8H"
"COM2_IRQ"="3"
"COM2_ADDR"="2F8H"
"Restart"=dword:00000000
"IsComUserDef"=dword:00000000
"Cfg_COM"="COM1"
"Ctrl_RightPanel"=dword:00000000
"Ctrl_Sound"=dword:00000001
"Ctrl_LongBeep"=dword:00000001
"HideCursor"=dword:00000000
"IsCursorOffset"=dword:00000001
"CursorOffsetDX"="0"
"CursorOffsetDY"="0"
"Cfg_DKSpeed"=dword:000001f4
"Cfg_DKArea"=dword:00000032
"Cfg_X1"="03H"
"Cfg_X2"="FCH"
"Cfg_Y1"="03H"
"Cfg_Y2"="FCH"
"InstallDir"="/opt/quorvane"

[HKEY_CURRENT_USER\Control Panel\Cursors]
"Arrow"="/usr/share/cursors/arrow.cur"
)";

// A timer on a clock of its own: advance() fires it as often as the elapsed time asks.
class ManualRepeatTimer final : public app::RepeatTimer {
public:
  void setInterval(int ms) override {
    interval_ = ms;
    if (active_) due_ = now_ + ms;
  }
  int interval() const override { return interval_; }
  void start() override {
    if (active_) return;
    active_ = true;
    due_ = now_ + interval_;
  }
  void stop() override { active_ = false; }
  bool isActive() const override { return active_; }

  void advance(int ms) {
    const long long until = now_ + ms;
    while (active_ && due_ <= until) {
      now_ = due_;
      due_ = now_ + interval_;
      fire();
    }
    now_ = until;
  }

private:
  long long now_ = 0;
  long long due_ = 0;
  int interval_ = 0;
  bool active_ = false;
};

struct PanelRig {
  // changes: value lines applied to the settings key ("name"=- deletes a value).
  explicit PanelRig(std::string_view storeText = kPanelStore, std::string_view changes = {})
      : store(storeText), driver(deviceIo, "/nonexistent/QV.VXD"),
        controller(app::PanelServices{store, driver, messenger, launcher, system, prompts}, timer) {
    if (!changes.empty()) {
      store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n" + std::string(changes));
    }
  }

  app::PanelServices services() { return {store, driver, messenger, launcher, system, prompts}; }
  // Loads and forgets what loading wrote, so that tests see only what follows.
  app::LoadOutcome loadFresh() {
    const auto outcome = controller.load();
    store.clearLogs();
    return outcome;
  }
  app::PanelControls& controls() { return controller.controls(); }
  app::PanelRuntime& runtime() { return controller.runtime(); }
  std::optional<platform::RegistryValue> value(std::string_view name,
                                               std::string_view key = "SOFTWARE\\Quorvane",
                                               platform::RegistryRoot root = platform::RegistryRoot::LocalMachine) {
    return store.readValue(root, key, name);
  }
  std::string text(std::string_view name, std::string_view key = "SOFTWARE\\Quorvane",
                   platform::RegistryRoot root = platform::RegistryRoot::LocalMachine) {
    auto v = value(name, key, root);
    return v ? std::string(v->data.begin(), v->data.end()) : std::string("<absent>");
  }

  MemoryRegistryStore store;
  RecordingDeviceIo deviceIo;
  driver::DriverChannel driver;
  RecordingWindowMessenger messenger;
  FakeProgramLauncher launcher;
  FakeSystemServices system;
  test::RecordingPrompts prompts{true};
  ManualRepeatTimer timer;
  app::PanelController controller;
};

}  // namespace qv::test
