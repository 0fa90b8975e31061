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

struct WaitEnd {
  std::optional<QvMouseConfig> config;  // the tool's result
  bool wentBack = false;
  std::optional<std::string> toolEnded;  // why the tool ended without a result
};

// The tool's result, or why there is none: the limit passed, the user went back, or the
// tool ended without leaving the file.
WaitEnd waitForResult(const std::filesystem::path& file, AdvanceServices& s, platform::WatchedProgram& tool) {
  BusyScope busy(s.showBusy);
  WaitEnd end;
  for (int attempt = 0; attempt < kToolWaitAttempts; ++attempt) {
    if ((end.config = readQvMouseConfig(file))) return end;
    if ((end.toolEnded = tool.endReason())) {
      end.config = readQvMouseConfig(file);  // written just before it ended
      if (end.config) end.toolEnded.reset();
      return end;
    }
    if (s.pause && !s.pause()) {
      end.wentBack = true;
      return end;
    }
  }
  return end;
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

  platform::WatchedStart tool = s.launcher.startWatchedProgram((s.programDir / kPortSearchToolName).string());
  if (tool.result <= 31 || !tool.program) return AdvanceOutcome::ToolRefused;

  const WaitEnd end = waitForResult(file, s, *tool.program);
  // A tool that goes on probing keeps the ports from the next Detect.
  if (end.wentBack) {
    tool.program->stop();
    return AdvanceOutcome::WentBack;
  }
  if (end.toolEnded) {
    s.prompts.notice(std::string(kToolEndedText) + *end.toolEnded);
    return AdvanceOutcome::ToolEnded;
  }
  if (!end.config) {
    tool.program->stop();
    if (s.prompts.askYesNo(kRebootCaption, kToolTimeoutText)) s.launcher.requestRestart();
    return AdvanceOutcome::TimedOut;
  }
  const QvMouseConfig& config = *end.config;

  // The only step that can fail comes first, so that a failure leaves the main window's
  // controls as they were.
  ResultFileScope used(file);
  {
    settings::SettingsKey key(s.store);
    key.open(platform::RegistryRoot::LocalMachine, settings::kSettingsKey, false);
    key.writeFlag(settings::names::Restart, true);
  }
  if (c.tickUserDefine) c.tickUserDefine();
  c.irqText = std::to_string(config.irq);
  if (const auto port = standardPort(config.portNumber)) {
    c.portText = port->address;
    c.comboText = port->name;
    const auto found = std::find(c.comboItems.begin(), c.comboItems.end(), c.comboText);
    c.comboIndex = found == c.comboItems.end() ? -1 : static_cast<int>(found - c.comboItems.begin());
  }
  s.messenger.post(kMainWindowClass, kMainWindowTitle, {kApplySettingsMessage, 0, 0});
  return AdvanceOutcome::Applied;
}

}  // namespace qv::detect
