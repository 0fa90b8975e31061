#pragma once
// Keys and value names of the settings store.
#include <string>
#include <string_view>

namespace qv::settings {

// HKEY_LOCAL_MACHINE
inline constexpr std::string_view kSettingsKey = "SOFTWARE\\Quorvane";
inline constexpr std::string_view kMouseSoftwareKey = "SOFTWARE\\Logitech\\MouseWare\\CurrentVersion\\Global";
// HKEY_CURRENT_USER
inline constexpr std::string_view kCursorsKey = "Control Panel\\Cursors";
inline constexpr std::string_view kMouseKey = "Control Panel\\Mouse";

namespace names {
inline constexpr std::string_view OSVersion = "OSVersion";
inline constexpr std::string_view VxdVersion = "Vxd Version";
inline constexpr std::string_view VxdInit = "Vxd Init";
inline constexpr std::string_view SupportChip = "Support Chip";
inline constexpr std::string_view ChipType = "ChipType";
inline constexpr std::string_view ChipBaudRate = "ChipBaudRate";
inline constexpr std::string_view Firmware = "Firmware";
inline constexpr std::string_view Restart = "Restart";
inline constexpr std::string_view IsComUserDef = "IsComUserDef";
inline constexpr std::string_view CfgCom = "Cfg_COM";
inline constexpr std::string_view CfgIrq = "Cfg_IRQ";
inline constexpr std::string_view CfgPort = "Cfg_Port";
inline constexpr std::string_view Port = "Port";
inline constexpr std::string_view Irq = "IRQ";
inline constexpr std::string_view UserIrq = "UserIRQ";
inline constexpr std::string_view UserPort = "UserPort";
inline constexpr std::string_view CtrlRightPanel = "Ctrl_RightPanel";
inline constexpr std::string_view CtrlSound = "Ctrl_Sound";
inline constexpr std::string_view CtrlLongBeep = "Ctrl_LongBeep";
inline constexpr std::string_view HideCursor = "HideCursor";
inline constexpr std::string_view IsCursorOffset = "IsCursorOffset";
inline constexpr std::string_view CursorOffsetDX = "CursorOffsetDX";
inline constexpr std::string_view CursorOffsetDY = "CursorOffsetDY";
inline constexpr std::string_view CfgDKSpeed = "Cfg_DKSpeed";
inline constexpr std::string_view CfgDKArea = "Cfg_DKArea";
inline constexpr std::string_view CfgX1 = "Cfg_X1";
inline constexpr std::string_view CfgX2 = "Cfg_X2";
inline constexpr std::string_view CfgY1 = "Cfg_Y1";
inline constexpr std::string_view CfgY2 = "Cfg_Y2";
inline constexpr std::string_view X1 = "X1";
inline constexpr std::string_view X2 = "X2";
inline constexpr std::string_view Y1 = "Y1";
inline constexpr std::string_view Y2 = "Y2";
// The monitor the calibration ran on and how the panel sits on it (monitor_values.h); texts
// beside the limits that readers of the limits alone pass over.
inline constexpr std::string_view CfgMonitor = "Cfg_Monitor";
inline constexpr std::string_view CfgMonitorMaker = "Cfg_MonitorMaker";
inline constexpr std::string_view CfgMonitorModel = "Cfg_MonitorModel";
inline constexpr std::string_view CfgMonitorSerial = "Cfg_MonitorSerial";
inline constexpr std::string_view CfgMonitorSizeMM = "Cfg_MonitorSizeMM";
inline constexpr std::string_view CfgRotation = "Cfg_Rotation";
inline constexpr std::string_view CfgSwapXY = "Cfg_SwapXY";
inline constexpr std::string_view InstallDir = "InstallDir";
inline constexpr std::string_view OldArrow = "oldarrow";
inline constexpr std::string_view PortSearchOrder = "PortSearchOrder";
inline constexpr std::string_view Arrow = "Arrow";
inline constexpr std::string_view DoubleClickSpeed = "DoubleClickSpeed";
inline constexpr std::string_view DoubleClickWidth = "DoubleClickWidth";
inline constexpr std::string_view DoubleClickHeight = "DoubleClickHeight";
}  // namespace names

// "COM<n>_IRQ" and "COM<n>_ADDR".
std::string comIrqName(int n);
std::string comAddrName(int n);

}  // namespace qv::settings
