#include "detect/advance_search.h"

#include "detect/qvmouse_config.h"
#include "settings/settings_key.h"
#include "settings/value_names.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace qv::detect {

namespace {

class BusyScope {
public:
  explicit BusyScope(const std::function<void(bool)>& show) : show_(show) {
    if (show_) show_(true);
  }
  ~BusyScope() {
    if (show_) show_(false);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  const std::function<void(bool)>& show_;
};

// The tool's result; nullopt when none came within the limit or the user went back.
std::optional<QvMouseConfig> waitForResult(const std::filesystem::path& file, AdvanceServices& s, bool& wentBack) {
  BusyScope busy(s.showBusy);
  for (int attempt = 0; attempt < kToolWaitAttempts; ++attempt) {
    if (auto config = readQvMouseConfig(file)) return config;
    if (s.pause && !s.pause()) {
      wentBack = true;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// Deletes the result file when the search ends, however it ends.
class ResultFileScope {
public:
  explicit ResultFileScope(const std::filesystem::path& file) : file_(file) {}
  ~ResultFileScope() {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
  }
  ResultFileScope(const ResultFileScope&) = delete;
  ResultFileScope& operator=(const ResultFileScope&) = delete;

private:
  const std::filesystem::path& file_;
};

}  // namespace

AdvanceOutcome runAdvanceSearch(AdvancePortControls& c, AdvanceServices& s) {
  if (s.setCurrentDirectory) s.setCurrentDirectory(s.programDir);
  const std::filesystem::path& file = s.resultFile;
  std::error_code ec;
  std::filesystem::remove(file, ec);  // a stale result must never be taken for the new one

  const std::string tool = (s.programDir / kPortSearchToolName).string();
  if (s.launcher.startProgram(tool) <= 31) return AdvanceOutcome::ToolRefused;

  bool wentBack = false;
  const std::optional<QvMouseConfig> config = waitForResult(file, s, wentBack);
  if (wentBack) return AdvanceOutcome::WentBack;
  if (!config) {
    if (s.prompts.askYesNo(kRebootCaption, kToolTimeoutText)) s.launcher.requestRestart();
    return AdvanceOutcome::TimedOut;
  }

  // The only step that can fail comes first, so that a failure leaves the main window's
  // controls as they were.
  ResultFileScope used(file);
  {
    settings::SettingsKey key(s.store);
    key.open(platform::RegistryRoot::LocalMachine, settings::kSettingsKey, false);
    key.writeFlag(settings::names::Restart, true);
  }
  if (c.tickUserDefine) c.tickUserDefine();
  c.irqText = std::to_string(config->irq);
  if (const auto port = standardPort(config->portNumber)) {
    c.portText = port->address;
    c.comboText = port->name;
    const auto found = std::find(c.comboItems.begin(), c.comboItems.end(), c.comboText);
    c.comboIndex = found == c.comboItems.end() ? -1 : static_cast<int>(found - c.comboItems.begin());
  }
  s.messenger.post(kMainWindowClass, kMainWindowTitle, {kApplySettingsMessage, 0, 0});
  return AdvanceOutcome::Applied;
}

}  // namespace qv::detect
