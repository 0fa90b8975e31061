#include "app/ok_settings_values.h"

#include "settings/conversions.h"
#include "settings/value_names.h"

namespace qv::app {

namespace names = settings::names;

namespace {

platform::RegValueEntry flag(std::string_view name, bool on) {
  return {std::string(name), platform::RegistryValue::dword(on ? 1 : 0)};
}
platform::RegValueEntry text(std::string_view name, std::string_view value) {
  return {std::string(name), platform::RegistryValue::text(value)};
}
platform::RegValueEntry integer(std::string_view name, std::int32_t value) {
  return {std::string(name), platform::RegistryValue::dword(static_cast<std::uint32_t>(value))};
}
platform::RegValueEntry binary(std::string_view name, const settings::TwoBytes& bytes) {
  return {std::string(name), platform::RegistryValue::binary({bytes.begin(), bytes.end()})};
}

}  // namespace

std::vector<platform::RegValueEntry> okSettingsValues(const PanelControls& c, const PanelRuntime& r) {
  std::vector<platform::RegValueEntry> values{
      flag(names::IsComUserDef, c.userDefine),
      text(names::CfgCom, c.comboText),
      text(names::CfgIrq, c.irqText),
      text(names::CfgPort, c.portText),
      binary(names::Port, settings::portBytes(c.portText)),
      binary(names::Irq, settings::irqBytes(c.irqText)),
  };
  if (c.userDefine) {
    values.push_back(text(names::UserIrq, c.irqText));
    values.push_back(text(names::UserPort, c.portText));
  }
  for (auto&& v : {flag(names::CtrlRightPanel, c.rightClickButton), flag(names::CtrlSound, c.sound),
                   flag(names::CtrlLongBeep, c.longBeep), flag(names::HideCursor, c.hideCursor),
                   flag(names::IsCursorOffset, c.cursorOffset),
                   text(names::CursorOffsetDX, std::to_string(r.cursorOffsetDX)),
                   text(names::CursorOffsetDY, std::to_string(r.cursorOffsetDY)),
                   integer(names::CfgDKSpeed, 1000 - c.speedPosition),
                   integer(names::CfgDKArea, 100 - c.areaPosition)}) {
    values.push_back(v);
  }
  return values;
}

}  // namespace qv::app
