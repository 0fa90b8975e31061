#pragma once
// The advanced detection's search (Button1 of the warning window): runs the port search
// tool from the program's folder, waits for the configuration file it writes into the
// machine's run folder, and puts the port it names into the main window as a user-defined
// port; then marks the store as needing a restart and makes the main window apply its
// settings.
#include "platform/programs.h"
#include "platform/registry_store.h"
#include "platform/user_prompts.h"
#include "platform/window_messages.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::detect {

inline constexpr int kToolWaitAttempts = 200;  // 500 ms each: 100 s
inline constexpr std::string_view kRebootCaption = "Reboot";
inline constexpr std::string_view kToolTimeoutText = "Can't find Quorvane\nSystem must reboot!";
// Followed by why the tool ended without a result.
inline constexpr std::string_view kToolEndedText = "Can't find Quorvane\n";
// The main window, found by class and title, applies its settings on this message.
inline constexpr std::string_view kMainWindowClass = "TMainForm";
inline constexpr std::string_view kMainWindowTitle = "Quorvane Control Panel";
inline constexpr std::uint32_t kApplySettingsMessage = 0x46F;

// The main window's port controls the search writes, by reference.
struct AdvancePortControls {
  // Ticks cbUserDefine with a click's side effects (combo box off, IRQ and PORT on).
  std::function<void()> tickUserDefine;
  std::string& irqText;
  std::string& portText;
  std::string& comboText;
  int& comboIndex;
  const std::vector<std::string>& comboItems;
};

struct AdvanceServices {
  std::filesystem::path programDir;  // where the tool is; made the current directory
  std::filesystem::path resultFile;  // where the tool leaves qvmouse.cfg
  platform::ProgramLauncher& launcher;
  platform::UserPrompts& prompts;
  platform::WindowMessenger& messenger;
  platform::RegistryStore& store;
  // Keeps the user interface alive for one 500 ms wait; false once the user went back,
  // which ends the wait.
  std::function<bool()> pause;
  // The hourglass for the whole application, on and off.
  std::function<void(bool busy)> showBusy;
  // Makes dir the process's current directory.
  std::function<void(const std::filesystem::path& dir)> setCurrentDirectory;
};

enum class AdvanceOutcome {
  ToolRefused,  // the tool did not start: nothing changed, the window stays open
  WentBack,     // the user went back during the wait: the tool was ended, nothing changed
  ToolEnded,    // the tool ended without a result: its reason was shown, nothing changed
  TimedOut,     // no result within the time limit: the tool was ended, the reboot question asked
  Applied,      // the port went into the main window and OK was asked for
};

// Button1Click. The window closes unless the outcome is ToolRefused. The tool is watched
// while the search waits: once it has ended without leaving its file, waiting longer cannot
// bring one, so the search stops and shows why it ended. The store is marked
// for the restart before any control changes: when that write fails, the error escapes
// and the main window shows what it showed before.
AdvanceOutcome runAdvanceSearch(AdvancePortControls& controls, AdvanceServices& services);

}  // namespace qv::detect
