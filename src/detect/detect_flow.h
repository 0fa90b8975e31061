#pragma once
// The Detect button of the main window: lets the driver try first through a quiet Initial
// procedure and shows its configuration when it succeeded; otherwise probes the listed
// serial ports one after the other with a detection window and selects the port where the
// controller answered. Finally warns when the chip shown does not suit the installed
// driver. It shows results only; nothing is written to the store.
#include "detect/detect_window.h"
#include "platform/registry_store.h"
#include "platform/user_prompts.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv::detect {

inline constexpr std::string_view kDetectCaption = "&Detect";
inline constexpr std::string_view kDetectingCaption = "Detecting Device ...";
inline constexpr std::string_view kNotFoundStatus = "Not Found";
inline constexpr std::string_view kFoundStatus = "Found";
inline constexpr std::string_view kLoadedStatus = "Loaded";
inline constexpr std::string_view kDriverUnsupportedText = "Driver on system doesn't support this chip!";

// The main window's controls the flow reads and changes, by reference.
struct DetectControls {
  std::string& controllerType;  // szControllerType
  std::string& firmware;        // szFirmware
  std::string& baudRate;        // szBaudRate
  std::string& status;          // szStatus
  const std::vector<std::string>& comboItems;  // ComboBox1's items: the names of PortList
  int& comboIndex;              // selected item, -1 when the text selects none
  std::string& comboText;
  bool& comboEnabled;
  std::string& irqText;         // IRQ
  std::string& portText;        // PORT (the I/O address)
  bool& irqEnabled;
  bool& portEnabled;
  bool& userDefine;             // cbUserDefine
  const bool& initialEnabled;   // btnInitial
  const std::vector<std::string>& portIrqs;  // PortList's IRQ texts, indexed like comboItems
};

struct DetectServices {
  platform::RegistryStore& store;
  platform::UserPrompts& prompts;
  // True only while the flow runs the Initial procedure.
  bool& quietInitial;
  std::function<void()> initialProcedure;
  // The presence test of a port name.
  std::function<bool(std::string_view)> portPresent;
  // Creates the one detection window of a run.
  std::function<std::unique_ptr<DetectWindow>()> createDetectWindow;
  // The port combo box's change handling (fills IRQ and PORT from the port list).
  std::function<void()> comboBox1Change;
  // Shows btnDetect's caption and whether it is enabled.
  std::function<void(std::string_view caption, bool enabled)> showDetectButton;
  // Shows the controls as they stand (so the user sees progress); may be empty.
  std::function<void()> showState;
  // For a port that is not present: the group this user lacks to open it; empty when
  // nothing in its permissions stands in the way. May be empty.
  std::function<std::string(std::string_view)> portGroupNeeded{};
  // The user's login name, for the advice to join that group.
  std::string userName{};
};

// A port this user may not open, and the group whose members may.
struct DeniedPort {
  std::string name;
  std::string group;
};

// What the user is told when no controller answered and ports were left out because the
// user may not open them: which ports, which group opens them, how to join it.
std::string deniedPortsText(const std::vector<DeniedPort>& ports, std::string_view userName);

// btnDetectClick. An error that escapes (a malformed stored value) first gives the button
// back its caption and enables it; the caller shows the error.
void runDetectFlow(DetectControls& controls, DetectServices& services);

// True when the chip shown does not suit the driver's supported chip generation.
bool driverLacksSupport(std::string_view supportedChip, std::string_view shownModel);

}  // namespace qv::detect
