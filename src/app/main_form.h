#pragma once
// TMainForm: the panel's main window. It shows the PanelController's state, forwards
// each user action to the matching handler and shows the state again. Errors that
// escape a handler are shown in the error box; the handler stops, the window goes on.
#include "app/panel_controller.h"
#include "app/program_state.h"
#include "platform/event_loop.h"
#include "platform/window_messages.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class QWidget;

namespace qv::drawtest {
class StatisticsReader;
}
namespace qv::platform {
class QtEventLoop;
}

namespace qv::app {

class TMainForm : public QDialog {
public:
  struct Options {
    // Where the window listens for ApplySettingsMessage; none in most tests.
    platform::WindowEndpointFactory* endpoints = nullptr;
    platform::EventLoop* loop = nullptr;
    // The arrows' repeat timer; a Qt timer when none is given.
    std::unique_ptr<RepeatTimer> timer;
    // The program's state; a window made without one (tests) keeps its own.
    ProgramState* state = nullptr;
    // Where qvdetect is; the program's own folder when empty.
    std::filesystem::path programDir;
  };

  TMainForm(PanelServices services, Options options);
  ~TMainForm() override;

  // Runs the start-up loading and shows its result in the controls. Refused: the user
  // was told why and the window must not be shown. Throws what loading throws.
  LoadOutcome load();

  PanelController& controller() { return *controller_; }
  QTabWidget* tabs() const { return tabs_; }
  // Error text of the endpoint when it could not be created (the window works without).
  const std::string& endpointProblem() const { return endpointProblem_; }
  ProgramState& programState() { return *programState_; }

  // The Initial procedure; quiet while ProgramState::QuietInitial is set.
  void btnInitialClick();
  // The calibration procedure around the calibration screen; nothing happens until the
  // screen is there (setCalibrationScreen).
  void btnCalibrationClick();
  // How the calibration screen is shown modally (the screen is made once at start).
  void setCalibrationScreen(std::function<void()> showModally) { showCalibrationScreen_ = std::move(showModally); }

  // "&Draw": a new drawing test window, shown modally and destroyed after it closes.
  void btnDrawClick();
  void btnDetectClick();
  void btnAdvanceClick();

  // Shows the controller's state in the controls again; for handlers that change it
  // from outside the window's own controls (detection, calibration).
  void showState();

  // OK as the button, Enter and ApplySettingsMessage run it.
  void btnOkClick();
  void btnCancelClick();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;

private:
  QWidget* buildConfigureTab();
  QWidget* buildCalibrateTab();
  QWidget* buildSettingTab();
  QWidget* buildDrawTab();
  QWidget* buildAboutTab();
  QWidget* createTestAreaContent(QWidget* panel);
  void connectControls();
  // Runs a handler: an escaping error goes to the error box; the controls show the state
  // afterwards either way.
  void run(const std::function<void()>& handler);

  std::unique_ptr<RepeatTimer> timer_;
  std::unique_ptr<PanelController> controller_;
  Options options_;
  std::unique_ptr<ProgramState> ownProgramState_;
  ProgramState* programState_ = nullptr;
  std::function<void()> showCalibrationScreen_;
  std::unique_ptr<platform::WindowEndpoint> endpoint_;
  std::string endpointProblem_;
  bool closing_ = false;
  bool applying_ = false;  // OK or Cancel is running
  // The advanced detection's window is up; its search may be waiting for the tool inside a
  // nested loop, where Detect, Advance, OK and Cancel must not run.
  bool searching_ = false;
  bool okAfterSearch_ = false;  // OK was asked for meanwhile (ApplySettingsMessage)
  // The drawing test's statistics reader and the loop its readings come back on: made at
  // the first "&Draw" and kept, so that closing a drawing window never waits for a reading.
  std::unique_ptr<platform::QtEventLoop> statisticsLoop_;
  std::unique_ptr<drawtest::StatisticsReader> statisticsReader_;

  // Widgets, owned by their Qt parents.
  QTabWidget* tabs_ = nullptr;
  QLabel* szControllerType_ = nullptr;
  QLabel* szFirmware_ = nullptr;
  QLabel* szBaudRate_ = nullptr;
  QLabel* szStatus_ = nullptr;
  QComboBox* comboBox1_ = nullptr;
  QLineEdit* irq_ = nullptr;
  QLineEdit* port_ = nullptr;
  QCheckBox* cbUserDefine_ = nullptr;
  QPushButton* btnDetect_ = nullptr;
  QPushButton* btnAdvance_ = nullptr;
  QPushButton* btnInitial_ = nullptr;
  QPushButton* btnCalibration_ = nullptr;
  QLabel* touchMonitor_ = nullptr;
  QCheckBox* cbRightClickButton_ = nullptr;
  QCheckBox* cbSound_ = nullptr;
  QCheckBox* cbLongBeep_ = nullptr;
  QCheckBox* cbHideCursor_ = nullptr;
  QCheckBox* cbCursorOffset_ = nullptr;
  QPushButton* arrows_[4] = {};
  QFrame* panel2_ = nullptr;
  QLabel* backcur_ = nullptr;
  QLabel* movecur_ = nullptr;
  QSlider* trackBar1_ = nullptr;
  QSlider* trackBar2_ = nullptr;
  QFrame* panel1_ = nullptr;
  QWidget* gifImage1_ = nullptr;
  QPushButton* btnDraw_ = nullptr;
  QLabel* szAppVersion_ = nullptr;
  QLabel* szDriverVersion_ = nullptr;
  QLabel* szDSChip_ = nullptr;
  QPushButton* btnOk_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
};

}  // namespace qv::app
