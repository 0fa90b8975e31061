#pragma once
// Windows that measure the screen (the calibration screen, the drawing test) are true
// full-screen windows on the monitor that holds the main window.
#include "platform/screen_area.h"

class QScreen;
class QWidget;

namespace qv::platform {

// The monitor that holds owner (the main window); the primary one when there is no owner.
QScreen* monitorOf(const QWidget* owner);

// The monitor's whole area and its work area, in desktop coordinates.
Monitor monitorAreas(const QScreen& screen);

// Puts window in the full-screen state on owner's monitor, covering all of it; takes
// effect when the window is shown (or at once when it is). The geometry is set as well,
// for an X server without a window manager, where the state alone moves nothing. A
// minimised window comes back full-screen.
void makeFullScreenOn(QWidget& window, const QWidget* owner);
// The same on a given monitor; null leaves the window where it is.
void makeFullScreenOnMonitor(QWidget& window, QScreen* screen);

// Moves window to the centre of owner's monitor (a window may be its own owner).
void centreOnMonitorOf(QWidget& window, const QWidget* owner);

}  // namespace qv::platform
