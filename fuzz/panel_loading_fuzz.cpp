// Arbitrary bytes as the store that start-up fills the main window from: what loads fills
// it within its controls' ranges; anything else ends in a refusal, or in a store or number
// error that the program reports.
#include <variant>

#include "app/panel_loading.h"
#include "fuzz_check.h"
#include "settings/settings_key.h"
#include "support/fake_program_launcher.h"
#include "support/fake_system_services.h"
#include "support/memory_registry_store.h"
#include "support/recording_device_io.h"
#include "support/recording_prompts.h"
#include "support/recording_window_messenger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (std::holds_alternative<platform::RegeditError>(platform::parseStoreFile(text))) return 0;
  test::RecordingDeviceIo io;
  driver::DriverChannel driver(io, "QV.VXD");
  test::RecordingWindowMessenger messenger;
  test::FakeProgramLauncher launcher;
  test::FakeSystemServices system;
  test::RecordingPrompts prompts;
  app::PanelModel model;
  try {
    test::MemoryRegistryStore store(text);
    app::PanelServices services{store, driver, messenger, launcher, system, prompts};
    if (app::loadPanel(model, services) == app::LoadOutcome::Refused) return 0;
  } catch (const settings::SettingsError&) {
    return 0;
  } catch (const app::ConversionError&) {
    return 0;
  }
  const app::PanelControls& c = model.controls;
  FUZZ_CHECK(c.speedPosition >= 1000 - app::kSpeedMax && c.speedPosition <= 1000 - app::kSpeedMin);
  FUZZ_CHECK(c.areaPosition >= 100 - app::kAreaMax && c.areaPosition <= 100 - app::kAreaMin);
  FUZZ_CHECK(c.comboIndex == -1 || c.comboItems.at(static_cast<std::size_t>(c.comboIndex)) == c.comboText);
  return 0;
}
