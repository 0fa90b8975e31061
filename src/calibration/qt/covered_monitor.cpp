#include "calibration/qt/covered_monitor.h"

#include "calibration/touch_monitor.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace qv::calibration {

int rotationOf(const QScreen& screen) {
  Qt::ScreenOrientation unturned = screen.nativeOrientation();
  if (unturned == Qt::PrimaryOrientation) unturned = Qt::LandscapeOrientation;
  // Qt counts Portrait as the landscape picture turned 90 degrees the way RandR's "left"
  // turns it, which is the counter-clockwise turn the calibration counts.
  return settings::normalRotation(screen.angleBetween(unturned, screen.orientation()));
}

settings::CalibratedMonitor monitorOf(const QScreen& screen) {
  settings::CalibratedMonitor m;
  m.connector = screen.name().toStdString();
  m.maker = screen.manufacturer().toStdString();
  m.model = plainEdidText(screen.model().toStdString());
  m.serial = plainEdidText(screen.serialNumber().toStdString());
  m.mounting.rotation = rotationOf(screen);
  // The display server gives the size as the monitor stands now.
  const QSizeF size = screen.physicalSize();
  const bool across = m.mounting.rotation == 90 || m.mounting.rotation == 270;
  m.widthMm = static_cast<int>(std::lround(across ? size.height() : size.width()));
  m.heightMm = static_cast<int>(std::lround(across ? size.width() : size.height()));
  if (m.widthMm <= 0 || m.heightMm <= 0) m.widthMm = m.heightMm = 0;
  return m;
}

QScreen* storedMonitorScreen(const settings::CalibratedMonitor& stored, QScreen* own) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  std::vector<DesktopMonitor> monitors;
  for (const QScreen* screen : screens) {
    const settings::CalibratedMonitor m = monitorOf(*screen);
    monitors.push_back({m.connector, m.maker, m.model, m.serial});
  }
  // own's index, or one past the end when it is not among them.
  const auto ownAt = static_cast<std::size_t>(screens.indexOf(own) < 0 ? screens.size() : screens.indexOf(own));
  const std::size_t chosen = calibrationScreenMonitor(stored, monitors, ownAt);
  return chosen < monitors.size() ? screens[static_cast<qsizetype>(chosen)] : own;
}

}  // namespace qv::calibration
