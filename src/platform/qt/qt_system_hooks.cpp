#include "platform/qt/qt_system_hooks.h"

#include "platform/qt/qt_full_screen.h"

#include <QApplication>
#include <QScreen>
#include <QStyleHints>

namespace qv::platform {

SystemHooks qtSystemHooks(std::function<QWidget*()> mainWindow) {
  SystemHooks hooks;
  hooks.applyDoubleClickTime = [](std::uint32_t ms) {
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(static_cast<int>(ms));
  };
  // The toolkit keeps its own double-click distance; the stored rectangle is what other
  // programs read.
  hooks.screenSize = [mainWindow = std::move(mainWindow)] {
    const QScreen* screen = monitorOf(mainWindow ? mainWindow() : nullptr);
    if (!screen) return ScreenSize{};
    return ScreenSize{screen->size().width(), screen->size().height()};
  };
  hooks.beep = [](std::uint32_t) { QApplication::beep(); };
  return hooks;
}

}  // namespace qv::platform
