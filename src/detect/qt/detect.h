#pragma once
// TDetectForm: the detection window. A small caption-less pop-up that probes the one port
// named in Comm1 on a 500 ms timer, shows "Detecting on COMn  ..." meanwhile, and closes
// when the controller answered or every baud rate was tried. Shown once per candidate port
// by the Detect flow; its result fields outlive each showing.
#include "detect/comm_probe_line.h"
#include "detect/detect_probe.h"
#include "detect/detect_window.h"
#include "detect/machine_ports.h"
#include "platform/qt/qt_event_loop.h"
#include "serial/comm.h"

#include <QDialog>
#include <QTimer>

class QLabel;

namespace qv::detect {

class TDetectForm final : public QDialog, public DetectWindow, private ProbeWindow {
public:
  // 242 x 57 at 120 pixels per inch.
  static constexpr int kWidth = 194;
  static constexpr int kHeight = 46;

  TDetectForm(QWidget* owner, ProbeState& state, platform::SerialPortOpener opener = machinePortOpener());
  ~TDetectForm() override;

  void setPortName(std::string name) override { line_.setPortName(std::move(name)); }
  void showModal() override;
  const DetectResult& result() const override { return probe_.result(); }

  serial::TComm& comm1() { return Comm1; }
  QTimer& timer1() { return Timer1; }
  QLabel* panel1() const { return Panel1; }

  // Closing, whatever its cause, closes the port.
  void done(int result) override;

protected:
  // The pop-up has no cancel button: Esc does not end a probe halfway through a pass.
  void keyPressEvent(QKeyEvent* event) override;

private:
  void setTimerEnabled(bool enabled) override;
  void showProgress(const std::string& text) override;
  void closeWindow() override;

  platform::QtEventLoop loop_;  // Comm1's events reach the window through it
  serial::TComm Comm1;
  CommProbeLine line_;
  DetectProbe probe_;
  QTimer Timer1;
  QLabel* Panel1 = nullptr;
};

}  // namespace qv::detect
