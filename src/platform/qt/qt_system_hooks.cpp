#include "platform/qt/qt_system_hooks.h"

#include <QApplication>
#include <QScreen>
#include <QStyleHints>

namespace qv::platform {

SystemHooks qtSystemHooks() {
  SystemHooks hooks;
  hooks.applyDoubleClickTime = [](std::uint32_t ms) {
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(static_cast<int>(ms));
  };
  // The toolkit keeps its own double-click distance; the stored rectangle is what other
  // programs read.
  hooks.screenSize = [] {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return ScreenSize{};
    return ScreenSize{screen->size().width(), screen->size().height()};
  };
  hooks.beep = [](std::uint32_t) { QApplication::beep(); };
  return hooks;
}

}  // namespace qv::platform
