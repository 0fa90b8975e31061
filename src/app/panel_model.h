#pragma once
// The main window as plain data: the state of every control that start-up, OK, Cancel
// and the Setting tab read or change, and the run-time values kept until the program
// ends. The window shows this state; the logic works on it without a display.
#include "platform/regedit_format.h"
#include "settings/monitor_values.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::app {

inline constexpr std::string_view kApplicationTitle = "Quorvane Control Panel";
inline constexpr std::string_view kApplicationVersion = "3.1.03";

// Windows of this and the other programs, found by class and title.
inline constexpr std::string_view kMainFormClass = "TMainForm";
inline constexpr std::string_view kMonitorClass = "TWatchForm";
inline constexpr std::string_view kMonitorTitle = "Quorvane Monitor";
inline constexpr std::string_view kRightClickClass = "TAltKeyForm";
inline constexpr std::string_view kRightClickTitle = "Right Click Button";
inline constexpr std::string_view kRightClickProgram = "\\AltKey.exe";

inline constexpr std::uint32_t kApplySettingsMessage = 0x46F;
inline constexpr std::uint32_t kMonitorNotifyMessage = 0x5BC;
inline constexpr std::uint32_t kRightClickStopMessage = 0x5BE;

// Texts shown to the user.
inline constexpr std::string_view kNotInstalledText = "Quorvane not installed correctly!";
inline constexpr std::string_view kLookedInText = "Settings looked for in: ";
inline constexpr std::string_view kWrongDriverText = "Program can't work with the driver on system\nDriver version : ";
inline constexpr std::string_view kPortInvalidText = "ComPort Setting is invalid !";
inline constexpr std::string_view kRebootCaption = "Reboot";
inline constexpr std::string_view kRebootText = "Because ComPort is newly setted\nSystem must reboot!";
inline constexpr std::string_view kUnknown = "Unknown";
inline constexpr std::string_view kSupportedChip = "T303";
inline constexpr std::string_view kSupportedChipText =
    "RVCT201, RVCT302 and RVCT303 controller\nQuorvane QV-200 and QV-300 series boards";

// Sizes of the cursor offset picture: the panel and the cursor image in it.
inline constexpr int kOffsetPanelWidth = 100;
inline constexpr int kOffsetPanelHeight = 90;
inline constexpr int kCursorImageWidth = 11;
inline constexpr int kCursorImageHeight = 19;

// Track bar ranges.
inline constexpr int kSpeedMin = 100, kSpeedMax = 900;
inline constexpr int kAreaMin = 10, kAreaMax = 90;

// Auto-repeat of the arrow buttons.
inline constexpr int kArrowFirstDelayMs = 300;
inline constexpr int kArrowRepeatMs = 50;

struct Point {
  int left = 0;
  int top = 0;
  bool operator==(const Point&) const = default;
};

// The known serial ports: three parallel lists of the same length.
struct ComSet {
  std::vector<std::string> names;
  std::vector<std::string> irqs;
  std::vector<std::string> addresses;
  std::size_t size() const { return names.size(); }
};

enum class Arrow { None = 0, Up = 1, Right = 2, Down = 3, Left = 4 };

// Everything the window shows or the user can change, with the start values of the design.
struct PanelControls {
  // Configure tab: hardware information.
  std::string controllerType{kUnknown};
  std::string firmware{kUnknown};
  std::string baudRate{kUnknown};
  std::string status = "Not Loaded";
  // Configure tab: serial port.
  std::vector<std::string> comboItems;
  int comboIndex = -1;  // selected item, -1 when the text selects none
  std::string comboText;
  bool comboEnabled = true;
  std::string irqText;
  std::string portText;  // the I/O address
  bool irqEnabled = false;
  bool portEnabled = false;
  bool userDefine = false;
  // Buttons that start-up may disable.
  bool initialEnabled = true;
  bool calibrationEnabled = true;
  bool cancelEnabled = true;
  // Calibrate tab: the monitor the touch screen drives.
  std::string touchMonitorText;
  // Setting tab.
  bool rightClickButton = false;
  bool sound = false;
  bool longBeep = false;
  bool longBeepEnabled = true;
  bool hideCursor = false;
  bool cursorOffset = false;
  bool arrowsEnabled = true;
  Point backcur;  // the fixed cursor picture in the offset panel
  Point movecur;  // the movable one
  int speedPosition = 1000 - 500;
  int areaPosition = 100 - 50;
  bool testAreaAnimating = true;
  // About tab.
  std::string driverVersion{kUnknown};
  std::string supportChip{kUnknown};
};

// Values start-up records for OK and Cancel, and the cursor offset the arrows change.
struct PanelRuntime {
  ComSet portList;
  std::string startIrqText;
  std::string startPortText;
  std::array<std::string, 4> startCalibration;  // Cfg_X1, Cfg_X2, Cfg_Y1, Cfg_Y2
  settings::CalibratedMonitor startMonitor;     // and the monitor and mounting they belong to
  std::int32_t cursorOffsetDX = 0;
  std::int32_t cursorOffsetDY = 0;
  std::int32_t dkSpeed = 500;
  std::int32_t dkArea = 50;
  Arrow arrowDirection = Arrow::None;
  // The machine's values OK would have written right after start-up: what a user who may
  // not change the machine is measured against.
  std::vector<platform::RegValueEntry> machineValuesAtLoad;
};

struct PanelModel {
  PanelControls controls;
  PanelRuntime runtime;
};

}  // namespace qv::app
