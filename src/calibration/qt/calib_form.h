#pragma once
// TCalibForm: the full-screen calibration screen. One target at a time (dot, pointing
// hand, edge name) and Cancel; a release of any pointer button elsewhere takes a touch.
// Created once at program start and shown modally by every calibration; the pointer is
// hidden over the whole program while it is shown. The behaviour lives in CalibScreen.
#include "calibration/calib_screen.h"
#include "platform/user_prompts.h"

#include <QDialog>
#include <QPointer>
#include <QScreen>

#include <functional>

class QLabel;
class QPushButton;

namespace qv::calibration {

class TCalibForm final : public QDialog, private CalibScreenView {
public:
  TCalibForm(CalibrationState& state, CalibScreenServices services, platform::UserPrompts& prompts,
             QWidget* parent = nullptr);
  ~TCalibForm() override;

  // Shows the screen modally; returns when it closed. CalibrationCancelled tells how.
  void showModally();

  CalibScreen& logic() { return logic_; }

  // Told the connector of the monitor the screen covers while it is shown, and "" once it
  // closed, for touches to be mapped there meanwhile.
  void setCoverAnnouncer(std::function<void(const std::string&)> announce) { announceCover_ = std::move(announce); }

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;

private:
  // CalibScreenView
  void layOut() override;
  void minimise() override;
  void closeScreen() override;
  void repaintScreen() override;
  void showMessage(std::string_view text) override;
  void reportError(std::string_view text) override;
  settings::CalibratedMonitor coveredMonitor() override;

  // Runs a handler; an error that escapes it goes to the error box.
  void run(const std::function<void()>& handler);
  // Keeps what the touches are taken on: the monitor, its size and its rotation.
  void watchMonitor(QScreen* monitor);
  // When any of those changed during a showing, covers the monitor now holding the screen
  // and starts again at the top target.
  void followMonitor();
  void announceCover(const QScreen* monitor);

  platform::UserPrompts& prompts_;
  platform::RegistryStore& store_;  // where the calibrated monitor is kept
  CalibScreen logic_;
  bool pointerHidden_ = false;
  QPointer<QScreen> monitor_;  // null once that monitor is gone
  QSize monitorSize_;
  Qt::ScreenOrientation monitorOrientation_ = Qt::PrimaryOrientation;
  QMetaObject::Connection monitorWatches_[2];
  QMetaObject::Connection screenWatch_;
  std::function<void(const std::string&)> announceCover_;

  // Widgets, owned by this window.
  QLabel* images_[4] = {};  // TopImage, RightImage, DownImage, LeftImage
  QWidget* CircleShape_ = nullptr;
  QLabel* StatusLabel_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
  QLabel* message_ = nullptr;
};

}  // namespace qv::calibration
