#include "calibration/qt/error_form.h"

#include "calibration/qt/qt_single_shot_timer.h"

#include <QLabel>
#include <QPushButton>

namespace qv::calibration {

TErrorForm::TErrorForm(QWidget* parent, std::unique_ptr<SingleShotTimer> timer)
    : QDialog(parent), Timer1_(timer ? std::move(timer) : std::make_unique<QtSingleShotTimer>()) {
  setObjectName(QStringLiteral("TErrorForm"));
  setWindowTitle(QStringLiteral("Initial Error"));
  // Dialog border, not resizable.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(328, 124);

  Label1_ = new QLabel(QStringLiteral("Quorvane Initial Error!"), this);
  Label1_->setObjectName(QStringLiteral("Label1"));
  Label1_->setGeometry(8, 24, 313, 41);
  Label1_->setAlignment(Qt::AlignCenter);
  QFont big = Label1_->font();
  big.setPixelSize(23);
  Label1_->setFont(big);
  QPalette black = Label1_->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  Label1_->setPalette(black);

  BitBtn1_ = new QPushButton(QStringLiteral("OK"), this);
  BitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1_->setGeometry(114, 72, 100, 35);
  BitBtn1_->setDefault(true);
  connect(BitBtn1_, &QPushButton::clicked, this, [this] { accept(); });

  Timer1_->setHandler([this] { Timer1Timer(); });
  Timer1_->start(kErrorFormCloseMs);
}

TErrorForm::~TErrorForm() { Timer1_->stop(); }

void TErrorForm::Timer1Timer() {
  Timer1_->stop();
  accept();
}

}  // namespace qv::calibration
