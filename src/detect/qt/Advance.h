#pragma once
// TAdvDetForm: the advanced detection's warning window. A blinking "Warning !", the
// warning text, a button that goes back (default and cancel) and one that runs the port
// search tool and hands its result to the main window.
#include "detect/advance_search.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QEventLoop;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qv::detect {

class TAdvDetForm final : public QDialog {
public:
  // 450 x 328 at 120 pixels per inch.
  static constexpr int kWidth = 360;
  static constexpr int kHeight = 262;

  // Services left empty (pause, showBusy, setCurrentDirectory) get the window's own.
  // Going back (Button2, Esc, the close box) also ends a given pause's wait.
  TAdvDetForm(QWidget* owner, AdvancePortControls controls, AdvanceServices services);

  void Button1Click();
  void Button2Click() { reject(); }
  void Timer1Timer();
  // Going back: closes the window and ends a search that waits for the tool's result, and
  // the tool with it.
  void reject() override;

  QLabel* label1() const { return Label1; }
  QPushButton* button1() const { return Button1; }
  QPushButton* button2() const { return Button2; }
  QPlainTextEdit* memo1() const { return Memo1; }

private:
  // One 500 ms wait that keeps the window alive; ends early when the user goes back.
  void waitKeepingWindowAlive();

  AdvancePortControls controls_;
  AdvanceServices services_;
  std::function<bool()> givenPause_;
  QEventLoop* wait_ = nullptr;  // the wait under way, if any
  bool wentBack_ = false;
  QLabel* Label1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button1 = nullptr;
  QTimer Timer1;
};

}  // namespace qv::detect
