#include "detect/qt/Advance.h"

#include "platform/qt/qt_full_screen.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <exception>

namespace qv::detect {

namespace {

const char* const kWarningLines =
    "This action is dangerous !\n"
    "It may cause your system to be unstable.\n"
    "If you can use \"detect\" to find Quorvane sucessfully,\n"
    "it's strongly recommended not to use this function !\n"
    "\n"
    "Before continue, please stop all your other programs !";

}  // namespace

TAdvDetForm::TAdvDetForm(QWidget* owner, AdvancePortControls controls, AdvanceServices services)
    : QDialog(owner), controls_(std::move(controls)), services_(std::move(services)) {
  setObjectName(QStringLiteral("TAdvDetForm"));
  setWindowTitle(QStringLiteral("Advance Detect"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kWidth, kHeight);
  // Centred on the monitor of the main window.
  platform::centreOnMonitorOf(*this, owner);

  Label1 = new QLabel(QStringLiteral("Warning !"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont large = Label1->font();
  large.setPixelSize(26);
  large.setBold(true);
  Label1->setFont(large);
  QPalette red = Label1->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(red);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setGeometry(0, 8, kWidth, 36);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setPlainText(QString::fromUtf8(kWarningLines));
  Memo1->setReadOnly(true);
  Memo1->setFrameStyle(QFrame::NoFrame);
  Memo1->setFocusPolicy(Qt::NoFocus);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  QPalette face = Memo1->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Window));
  Memo1->setPalette(face);
  Memo1->setGeometry(16, 50, kWidth - 32, 118);

  Button2 = new QPushButton(QStringLiteral("I know, I don't wanna continue, please go back"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(16, 178, kWidth - 32, 30);
  Button2->setDefault(true);
  Button1 = new QPushButton(QStringLiteral("I know, I wanna find Quorvane right now"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(16, 218, kWidth - 32, 30);
  Button1->setAutoDefault(false);
  setTabOrder(Button2, Button1);
  Button2->setFocus();
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  givenPause_ = std::move(services_.pause);
  services_.pause = [this] {
    if (givenPause_) {
      givenPause_();
    } else {
      waitKeepingWindowAlive();
    }
    return !wentBack_;
  };
  if (!services_.showBusy) {
    services_.showBusy = [](bool busy) {
      if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
      } else {
        QApplication::restoreOverrideCursor();
      }
    };
  }
  if (!services_.setCurrentDirectory) {
    services_.setCurrentDirectory = [](const std::filesystem::path& dir) {
      QDir::setCurrent(QString::fromStdString(dir.string()));
    };
  }

  Timer1.setInterval(500);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer1.start();
}

void TAdvDetForm::Timer1Timer() { Label1->setVisible(!Label1->isVisible()); }

void TAdvDetForm::waitKeepingWindowAlive() {
  // The window goes on handling its messages meanwhile (the label keeps blinking).
  QEventLoop wait;
  QTimer::singleShot(500, &wait, &QEventLoop::quit);
  wait_ = &wait;
  wait.exec();
  wait_ = nullptr;
}

void TAdvDetForm::reject() {
  wentBack_ = true;
  if (wait_) wait_->quit();
  QDialog::reject();
}

void TAdvDetForm::Button1Click() {
  wentBack_ = false;
  AdvanceOutcome outcome = AdvanceOutcome::ToolRefused;
  Button1->setEnabled(false);  // one search at a time while the wait keeps the window alive
  try {
    outcome = runAdvanceSearch(controls_, services_);
  } catch (const std::exception& e) {
    Button1->setEnabled(true);
    services_.prompts.error(e.what());
    return;
  }
  Button1->setEnabled(true);
  if (outcome != AdvanceOutcome::ToolRefused && outcome != AdvanceOutcome::WentBack) accept();
}

}  // namespace qv::detect
