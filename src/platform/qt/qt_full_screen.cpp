#include "platform/qt/qt_full_screen.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace qv::platform {

namespace {

ScreenRect screenRect(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

}  // namespace

QScreen* monitorOf(const QWidget* owner) {
  if (owner) {
    if (QScreen* screen = owner->window()->screen()) return screen;
  }
  return QGuiApplication::primaryScreen();
}

Monitor monitorAreas(const QScreen& screen) {
  return {screenRect(screen.geometry()), screenRect(screen.availableGeometry())};
}

void makeFullScreenOn(QWidget& window, const QWidget* owner) { makeFullScreenOnMonitor(window, monitorOf(owner)); }

void makeFullScreenOnMonitor(QWidget& window, QScreen* screen) {
  if (screen) {
    window.setScreen(screen);
    const ScreenRect area = fullScreenArea(monitorAreas(*screen));
    window.setGeometry(area.left, area.top, area.width, area.height);
  }
  window.setWindowState((window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) |
                        Qt::WindowFullScreen);
}

void centreOnMonitorOf(QWidget& window, const QWidget* owner) {
  if (const QScreen* screen = monitorOf(owner)) {
    const ScreenRect at = centredIn(monitorAreas(*screen).area, window.width(), window.height());
    window.move(at.left, at.top);
  }
}

}  // namespace qv::platform
