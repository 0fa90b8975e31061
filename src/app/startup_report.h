#pragma once
// Start-up measurement and screenshots, for the benchmark and the demo. Both act once the
// window has been painted for the first time, then end the program:
//  - QV_STARTUP_REPORT set: prints "startup_ms=<ms> rss_kb=<kB>", where the time runs from
//    QV_START_NS (CLOCK_MONOTONIC nanoseconds taken by the starter just before the
//    program started) or, without it, from the process start time;
//  - QUORVANE_SCREENSHOTS=<dir>: saves each tab of the tab widget as <dir>/<n>-<tab>.png.
#include <QTabWidget>
#include <QWidget>

namespace qv::app {

// Watches window for its first paint and does what the environment asks; false when
// the environment asks for nothing.
bool installStartupActions(QWidget& window, QTabWidget* tabs);

// Resident memory of this process in kB (VmRSS), 0 when unknown.
long residentKilobytes();

}  // namespace qv::app
