#include "calibration/qt/calib_form.h"

#include "calibration/calib_layout.h"
#include "calibration/qt/covered_monitor.h"
#include "calibration/qt/hand_pictures.h"
#include "platform/qt/qt_full_screen.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

#include <exception>

namespace qv::calibration {

namespace {

// The point to touch: a filled red circle.
class CircleShape final : public QWidget {
public:
  explicit CircleShape(QWidget* parent) : QWidget(parent) {}

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::red);
    p.setBrush(Qt::red);
    p.drawEllipse(QRect(0, 0, width() - 1, height() - 1));
  }
};

QFont pixelFont(const QFont& base, int pixels) {
  QFont f = base;
  f.setPixelSize(pixels);
  return f;
}

void setTextColour(QWidget* w, const QColor& colour) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::WindowText, colour);
  pal.setColor(QPalette::ButtonText, colour);
  w->setPalette(pal);
}

}  // namespace

TCalibForm::TCalibForm(CalibrationState& state, CalibScreenServices services, platform::UserPrompts& prompts,
                       QWidget* parent)
    : QDialog(parent), prompts_(prompts), store_(services.store), logic_(state, services, *this) {
  setObjectName(QStringLiteral("TCalibForm"));
  // A popup without caption that covers the monitor of the main window (its parent).
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  const char* names[4] = {"TopImage", "RightImage", "DownImage", "LeftImage"};
  for (int i = 0; i < 4; ++i) {
    images_[i] = new QLabel(this);
    images_[i]->setObjectName(QString::fromLatin1(names[i]));
    images_[i]->setPixmap(handPicture(i));
    images_[i]->resize(kHandSize.width, kHandSize.height);
    images_[i]->hide();
  }
  CircleShape_ = new CircleShape(this);
  CircleShape_->setObjectName(QStringLiteral("CircleShape"));
  CircleShape_->resize(kDotSize.width, kDotSize.height);
  CircleShape_->hide();

  StatusLabel_ = new QLabel(this);
  StatusLabel_->setObjectName(QStringLiteral("StatusLabel"));
  StatusLabel_->setFont(pixelFont(font(), 23));
  setTextColour(StatusLabel_, Qt::red);

  btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  btnCancel_->resize(kCancelSize.width, kCancelSize.height);
  btnCancel_->setFont(pixelFont(font(), 23));
  setTextColour(btnCancel_, Qt::black);
  btnCancel_->setAutoDefault(false);
  connect(btnCancel_, &QPushButton::clicked, this, [this] { run([this] { logic_.btnCancelClick(); }); });

  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("MessageLabel"));
  message_->setAlignment(Qt::AlignCenter);
  message_->setFont(pixelFont(font(), 16));
  setTextColour(message_, Qt::black);
  message_->hide();

  // Only Cancel takes pointer input itself; every other release belongs to the screen.
  for (QWidget* w : {static_cast<QWidget*>(StatusLabel_), CircleShape_, static_cast<QWidget*>(message_)}) {
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  for (QLabel* image : images_) image->setAttribute(Qt::WA_TransparentForMouseEvents);
}

TCalibForm::~TCalibForm() {
  if (pointerHidden_) QGuiApplication::restoreOverrideCursor();
}

void TCalibForm::announceCover(const QScreen* monitor) {
  if (!announceCover_) return;
  announceCover_(monitor ? monitor->name().toStdString() : std::string());
}

void TCalibForm::showModally() {
  // Each showing covers the whole of the touch screen's monitor where it is connected, else
  // the one that holds the main window now, bars and docks included, so that the targets
  // sit at the touch screen's edges. A completed calibration left the window minimised; it
  // comes back full-screen.
  settings::CalibratedMonitor stored;
  try {
    stored = settings::storedMonitor(store_);
  } catch (const std::exception&) {
    // A store that cannot say leaves the screen on the main window's monitor.
  }
  platform::makeFullScreenOnMonitor(*this, storedMonitorScreen(stored, platform::monitorOf(parentWidget())));
  watchMonitor(screen());
  announceCover(screen());
  exec();
  announceCover(nullptr);
}

void TCalibForm::watchMonitor(QScreen* monitor) {
  for (auto& watch : monitorWatches_) disconnect(watch);
  monitor_ = monitor;
  if (!monitor) return;
  monitorSize_ = monitor->size();
  monitorOrientation_ = monitor->orientation();
  monitorWatches_[0] = connect(monitor, &QScreen::geometryChanged, this, [this] { followMonitor(); });
  monitorWatches_[1] = connect(monitor, &QScreen::orientationChanged, this, [this] { followMonitor(); });
}

void TCalibForm::followMonitor() {
  QScreen* now = screen();
  if (now && now == monitor_ && now->size() == monitorSize_ && now->orientation() == monitorOrientation_) return;
  watchMonitor(now);
  if (!isVisible()) return;
  platform::makeFullScreenOn(*this, this);
  announceCover(screen());
  run([this] { logic_.FormMonitorChanged(); });
}

void TCalibForm::showEvent(QShowEvent* event) {
  // A monitor unplugged, or the window moved to another one, changes the window's screen.
  if (!screenWatch_ && windowHandle()) {
    screenWatch_ = connect(windowHandle(), &QWindow::screenChanged, this, [this] { followMonitor(); });
  }
  if (!pointerHidden_) {
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    pointerHidden_ = true;
  }
  QDialog::showEvent(event);
  run([this] { logic_.FormShow(); });
}

void TCalibForm::hideEvent(QHideEvent* event) {
  if (pointerHidden_) {
    QGuiApplication::restoreOverrideCursor();
    pointerHidden_ = false;
  }
  QDialog::hideEvent(event);
}

void TCalibForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  run([this] { logic_.FormResize(); });
}

void TCalibForm::mousePressEvent(QMouseEvent* event) { event->accept(); }

void TCalibForm::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  // A press elsewhere that ends over Cancel is neither a touch nor a click of Cancel.
  if (btnCancel_->geometry().contains(event->position().toPoint())) return;
  run([this] { logic_.FormMouseDown(); });
}

void TCalibForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape || event->text() == QStringLiteral("\x1b")) {
    event->accept();
    run([this] { logic_.FormKeyPress(27); });
    return;
  }
  QDialog::keyPressEvent(event);
}

void TCalibForm::reject() {
  // Anything that would close the screen as a dialog's Cancel runs Cancel itself.
  run([this] { logic_.btnCancelClick(); });
}

void TCalibForm::layOut() {
  const int index = logic_.state().TargetIndex;
  for (QLabel* image : images_) image->hide();
  CircleShape_->hide();
  StatusLabel_->setText(QString::fromLatin1(edgeName(index).data(), static_cast<qsizetype>(edgeName(index).size())));
  StatusLabel_->adjustSize();

  const CalibLayout l = layOutTarget(index, {width(), height()}, kHandSize,
                                     {StatusLabel_->width(), StatusLabel_->height()},
                                     {btnCancel_->width(), btnCancel_->height()});
  if (l.targetShown) {
    QLabel* image = images_[l.picture];
    image->move(l.picturePlace.left, l.picturePlace.top);
    image->show();
    CircleShape_->move(l.dotPlace.left, l.dotPlace.top);
    CircleShape_->show();
  }
  // With no target the screen is about to close; it stays as it is until then.
  StatusLabel_->move(l.labelPlace.left, l.labelPlace.top);
  btnCancel_->move(l.cancelPlace.left, l.cancelPlace.top);
  message_->setGeometry(0, l.cancelPlace.top + btnCancel_->height() + 16, width(), 24);
}

void TCalibForm::minimise() { setWindowState(windowState() | Qt::WindowMinimized); }

void TCalibForm::closeScreen() { done(QDialog::Accepted); }

void TCalibForm::repaintScreen() { update(); }

void TCalibForm::showMessage(std::string_view text) {
  message_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  message_->setVisible(!text.empty());
}

void TCalibForm::reportError(std::string_view text) { prompts_.error(text); }

settings::CalibratedMonitor TCalibForm::coveredMonitor() {
  const QScreen* monitor = screen();
  return monitor ? monitorOf(*monitor) : settings::CalibratedMonitor{};
}

void TCalibForm::run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    prompts_.error(e.what());
  }
}

}  // namespace qv::calibration
