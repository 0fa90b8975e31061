#include "detect/qt/detect.h"

#include "platform/qt/qt_full_screen.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace qv::detect {

TDetectForm::TDetectForm(QWidget* owner, ProbeState& state, platform::SerialPortOpener opener)
    : QDialog(owner),
      Comm1(loop_, std::move(opener)),
      line_(Comm1, loop_, [this](std::span<const std::uint8_t> bytes) { probe_.Comm1ReceiveData(bytes); }),
      probe_(state, line_, *this) {
  setObjectName(QStringLiteral("TDetectForm"));
  // A pop-up without a caption; the raised panel stands in for the sizing frame.
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(kWidth, kHeight);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Panel1 = new QLabel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setAlignment(Qt::AlignCenter);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(3);
  layout->addWidget(Panel1);
  platform::centreOnMonitorOf(*this, owner);  // of the main window

  configureComm1(Comm1);
  Timer1.setInterval(kTickMilliseconds);
  connect(&Timer1, &QTimer::timeout, this, [this] { probe_.Timer1Timer(); });
}

TDetectForm::~TDetectForm() {
  Timer1.stop();
  probe_.FormClose();
}

void TDetectForm::showModal() {
  // A port that cannot be opened closes the window before it is ever shown.
  if (!probe_.FormShow()) return;
  exec();
}

void TDetectForm::done(int result) {
  probe_.FormClose();
  QDialog::done(result);
}

void TDetectForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TDetectForm::setTimerEnabled(bool enabled) {
  // Enabling a running timer keeps its rhythm.
  if (!enabled) {
    Timer1.stop();
  } else if (!Timer1.isActive()) {
    Timer1.start();
  }
}

void TDetectForm::showProgress(const std::string& text) { Panel1->setText(QString::fromStdString(text)); }

void TDetectForm::closeWindow() {
  if (isVisible()) done(QDialog::Rejected);
}

}  // namespace qv::detect
