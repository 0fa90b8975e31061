#include "app/main_form.h"

#include "app/pictures.h"
#include "app/qt_repeat_timer.h"
#include "app/setting_tab.h"
#include "anim/double_click_animation.h"
#include "anim/qt/gif_image.h"
#include "detect/detect_flow.h"
#include "detect/machine_ports.h"
#include "detect/qt/Advance.h"
#include "detect/qt/detect.h"
#include "detect/qvmouse_config.h"
#include "calibration/procedures.h"
#include "calibration/qt/error_form.h"
#include "calibration/touch_monitor.h"
#include "drawtest/qt/draw_form.h"
#include "drawtest/statistics_reader.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_full_screen.h"
#include "platform/user_identity.h"
#include "settings/settings_key.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include <exception>
#include <utility>

namespace qv::app {

namespace {

constexpr int kClientWidth = 552;
constexpr int kClientHeight = 420;

QString qtext(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string stdtext(const QString& text) { return text.toUtf8().toStdString(); }

// An arrow button reports a press and a release of any mouse button.
class ArrowButton final : public QPushButton {
public:
  ArrowButton(QWidget* parent, std::function<void()> pressed, std::function<void()> released)
      : QPushButton(parent), pressed_(std::move(pressed)), released_(std::move(released)) {}

protected:
  void mousePressEvent(QMouseEvent* e) override {
    setDown(true);
    pressed_();
    e->accept();
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    setDown(false);
    released_();
    e->accept();
  }

private:
  std::function<void()> pressed_;
  std::function<void()> released_;
};

QGroupBox* group(QWidget* parent, const char* caption, QRect geometry) {
  auto* box = new QGroupBox(QString::fromLatin1(caption), parent);
  box->setGeometry(geometry);
  return box;
}

QLabel* label(QWidget* parent, const QString& text, QRect geometry, const char* name = nullptr) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(geometry);
  if (name) l->setObjectName(QString::fromLatin1(name));
  return l;
}

// A push button that takes Enter while it has the focus: as the focused button it stands
// in for the window's default button, which takes Enter back once the focus leaves.
QPushButton* button(QWidget* parent, const char* caption, QRect geometry, const char* name) {
  auto* b = new QPushButton(QString::fromLatin1(caption), parent);
  b->setGeometry(geometry);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(true);
  return b;
}

// A horizontal track bar with its caption above and its two end labels below, ticks
// every step.
QSlider* trackBar(QWidget* parent, const char* caption, const char* left, const char* right, int top,
                  int minimum, int maximum, int step, const char* name) {
  label(parent, QString::fromLatin1(caption), QRect(16, top, 100, 18));
  auto* bar = new QSlider(Qt::Horizontal, parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setRange(minimum, maximum);
  bar->setTickInterval(step);
  bar->setTickPosition(QSlider::TicksBelow);
  bar->setPageStep(step);
  bar->setGeometry(16, top + 18, 270, 30);
  label(parent, QString::fromLatin1(left), QRect(16, top + 50, 60, 18));
  label(parent, QString::fromLatin1(right), QRect(226, top + 50, 60, 18))
      ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return bar;
}

QCheckBox* checkBox(QWidget* parent, const char* caption, QPoint at, const char* name) {
  auto* c = new QCheckBox(QString::fromLatin1(caption), parent);
  c->move(at);
  c->adjustSize();
  c->setObjectName(QString::fromLatin1(name));
  return c;
}

QLabel* picture(QWidget* parent, const QPixmap& pix, QRect geometry) {
  auto* l = label(parent, QString(), geometry);
  l->setPixmap(pix);
  l->setAlignment(Qt::AlignCenter);
  return l;
}

QFrame* loweredPanel(QWidget* parent, QRect geometry, const char* name) {
  auto* f = new QFrame(parent);
  f->setObjectName(QString::fromLatin1(name));
  f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  f->setLineWidth(1);
  f->setGeometry(geometry);
  return f;
}

void setText(QLabel* l, const std::string& text) {
  if (l->text() != qtext(text)) l->setText(qtext(text));
}

void setText(QLineEdit* e, const std::string& text) {
  if (e->text() != qtext(text)) e->setText(qtext(text));
}

}  // namespace

TMainForm::TMainForm(PanelServices services, Options options)
    : timer_(options.timer ? std::move(options.timer) : std::make_unique<QtRepeatTimer>()),
      controller_(std::make_unique<PanelController>(services, *timer_)),
      options_(std::move(options)),
      ownProgramState_(options_.state ? nullptr : std::make_unique<ProgramState>()),
      programState_(options_.state ? options_.state : ownProgramState_.get()) {
  setObjectName(QStringLiteral("TMainForm"));
  setWindowTitle(qtext(kApplicationTitle));
  setWindowIcon(QIcon(pictures::windowIcon()));
  // Fixed single border, system menu and minimise box, no maximise.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("PageControl1"));
  tabs_->setGeometry(8, 8, 536, 370);
  tabs_->addTab(buildConfigureTab(), QStringLiteral("Configure"));
  tabs_->addTab(buildCalibrateTab(), QStringLiteral("Calibrate"));
  tabs_->addTab(buildSettingTab(), QStringLiteral("Setting"));
  tabs_->addTab(buildDrawTab(), QStringLiteral("Draw"));
  tabs_->addTab(buildAboutTab(), QStringLiteral("About"));
  tabs_->setCurrentIndex(0);

  btnOk_ = button(this, "OK", QRect(382, 387, 75, 25), "btnOk");
  btnOk_->setDefault(true);
  btnCancel_ = button(this, "Cancel", QRect(467, 387, 75, 25), "btnCancel");

  connectControls();
  showState();
}

TMainForm::~TMainForm() {
  // Stop listening before the controls go away.
  endpoint_.reset();
}

QWidget* TMainForm::buildConfigureTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsConfigure"));

  auto* hw = group(page, "Hardware Infomation", QRect(10, 8, 250, 180));
  label(hw, QStringLiteral("Controller Type: "), QRect(14, 34, 110, 20));
  label(hw, QStringLiteral("Firmware: "), QRect(14, 68, 110, 20));
  label(hw, QStringLiteral("Baud Rate:"), QRect(14, 102, 110, 20));
  label(hw, QStringLiteral("Status:"), QRect(14, 136, 110, 20));
  szControllerType_ = label(hw, QString(), QRect(124, 34, 116, 20), "szControllerType");
  szFirmware_ = label(hw, QString(), QRect(124, 68, 116, 20), "szFirmware");
  szBaudRate_ = label(hw, QString(), QRect(124, 102, 116, 20), "szBaudRate");
  szStatus_ = label(hw, QString(), QRect(124, 136, 116, 20), "szStatus");

  auto* serial = group(page, "Serial Port Status", QRect(270, 8, 248, 180));
  label(serial, QStringLiteral("Com"), QRect(14, 34, 90, 20));
  label(serial, QStringLiteral("IRQ"), QRect(14, 68, 90, 20));
  auto* io = label(serial, QStringLiteral("    I/O address"), QRect(0, 102, 104, 20));
  io->setWordWrap(true);
  io->setIndent(0);
  comboBox1_ = new QComboBox(serial);
  comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
  comboBox1_->setEditable(true);
  comboBox1_->setInsertPolicy(QComboBox::NoInsert);
  // A plain editable box: typed text stays as typed, without inline completion.
  comboBox1_->setCompleter(nullptr);
  comboBox1_->setMaxVisibleItems(5);
  comboBox1_->setGeometry(110, 32, 120, 24);
  irq_ = new QLineEdit(serial);
  irq_->setObjectName(QStringLiteral("IRQ"));
  irq_->setGeometry(110, 66, 120, 24);
  port_ = new QLineEdit(serial);
  port_->setObjectName(QStringLiteral("PORT"));
  port_->setGeometry(110, 100, 120, 24);
  cbUserDefine_ = checkBox(serial, "User Define", QPoint(110, 138), "cbUserDefine");

  auto* detect = group(page, "Detect", QRect(10, 198, 508, 126));
  auto* hint = label(detect,
                     QStringLiteral("Searches the serial ports for the touch-screen controller and "
                                    "selects the port it answers on. Press OK afterwards to keep it."),
                     QRect(14, 26, 340, 60));
  hint->setWordWrap(true);
  hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  btnDetect_ = button(detect, "&Detect", QRect(362, 28, 130, 27), "btnDetect");  // wide enough for "Detecting Device ..."
  btnAdvance_ = button(detect, "&Advance", QRect(412, 86, 80, 22), "btnAdvance");
  btnAdvance_->setFocusPolicy(Qt::ClickFocus);
  QFont small = btnAdvance_->font();
  small.setPixelSize(10);
  btnAdvance_->setFont(small);
  return page;
}

QWidget* TMainForm::buildCalibrateTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsCalibrate"));
  auto* initial = group(page, "Initial", QRect(10, 8, 250, 300));
  picture(initial, pictures::initialPicture(QSize(160, 150)), QRect(45, 40, 160, 150));
  auto* initialText = label(initial, QStringLiteral("Hands the stored calibration to the driver again."),
                            QRect(20, 204, 210, 40));
  initialText->setWordWrap(true);
  initialText->setAlignment(Qt::AlignCenter);
  btnInitial_ = button(initial, "&Initial", QRect(80, 264, 90, 27), "btnInitial");

  auto* calibration = group(page, "Calibration", QRect(270, 8, 248, 300));
  picture(calibration, pictures::calibrationPicture(QSize(160, 150)), QRect(44, 40, 160, 150));
  auto* calibText = label(calibration, QStringLiteral("Touch the four targets to match the screen."),
                          QRect(20, 204, 208, 40));
  calibText->setWordWrap(true);
  calibText->setAlignment(Qt::AlignCenter);
  btnCalibration_ = button(calibration, "&Calibration", QRect(79, 264, 90, 27), "btnCalibration");
  touchMonitor_ = label(page, QString(), QRect(10, 314, 508, 20));
  touchMonitor_->setObjectName(QStringLiteral("szTouchMonitor"));
  touchMonitor_->setAlignment(Qt::AlignCenter);
  return page;
}

QWidget* TMainForm::buildSettingTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsSetting"));

  auto* misc = group(page, "Misc Option", QRect(10, 8, 196, 106));
  cbRightClickButton_ = checkBox(misc, "Right Click Button", QPoint(14, 24), "cbRightClickButton");
  cbSound_ = checkBox(misc, "Beep Sound", QPoint(14, 50), "cbSound");
  cbLongBeep_ = checkBox(misc, "Long Beep Sound", QPoint(32, 76), "cbLongBeep");

  auto* cursor = group(page, "Cursor", QRect(10, 122, 196, 202));
  cbHideCursor_ = checkBox(cursor, "Hide Cursor", QPoint(14, 24), "cbHideCursor");
  cbCursorOffset_ = checkBox(cursor, "Cursor Offset", QPoint(14, 50), "cbCursorOffset");
  const char* names[4] = {"btnUp", "btnRight", "btnDown", "btnLeft"};
  for (int i = 0; i < 4; ++i) {
    const auto direction = static_cast<Arrow>(i + 1);
    auto* b = new ArrowButton(
        cursor, [this, direction] { run([&] { controller_->arrowMouseDown(direction); }); },
        [this] { run([&] { controller_->btnUpMouseUp(); }); });
    b->setObjectName(QString::fromLatin1(names[i]));
    b->setGeometry(24, 88 + 23 * i, 20, 20);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    QIcon icon(pictures::arrowGlyph(direction, Qt::black));
    icon.addPixmap(pictures::arrowGlyph(direction, QColor(160, 160, 160)), QIcon::Disabled);
    b->setIcon(icon);
    b->setIconSize(QSize(10, 10));
    arrows_[i] = b;
  }
  panel2_ = loweredPanel(cursor, QRect(66, 88, kOffsetPanelWidth, kOffsetPanelHeight), "Panel2");
  panel2_->setCursor(Qt::CrossCursor);
  panel2_->setAutoFillBackground(true);
  backcur_ = picture(panel2_, pictures::cursorImage(true), QRect(0, 0, kCursorImageWidth, kCursorImageHeight));
  backcur_->setObjectName(QStringLiteral("backcur"));
  movecur_ = picture(panel2_, pictures::cursorImage(false), QRect(0, 0, kCursorImageWidth, kCursorImageHeight));
  movecur_->setObjectName(QStringLiteral("movecur"));

  auto* dbl = group(page, "Double Click", QRect(216, 8, 302, 316));
  trackBar2_ = trackBar(dbl, "Area", "Small", "Large", 24, kAreaMin, kAreaMax, 5, "TrackBar2");
  trackBar1_ = trackBar(dbl, "Speed", "Slow", "Fast", 110, kSpeedMin, kSpeedMax, 50, "TrackBar1");

  panel1_ = loweredPanel(dbl, QRect(60, 218, 80, 60), "Panel1");
  QPalette white = panel1_->palette();
  white.setColor(QPalette::Window, Qt::white);
  panel1_->setPalette(white);
  panel1_->setAutoFillBackground(true);
  gifImage1_ = createTestAreaContent(panel1_);
  label(dbl, QStringLiteral("Test Area"), QRect(156, 238, 100, 20));
  return page;
}

QWidget* TMainForm::createTestAreaContent(QWidget* panel) {
  // The embedded double-click animation, stretched over the whole test area and playing
  // for ever (its loop count is 0); a double-click stops or restarts it.
  auto* gif = new anim::TGIFImage(panel);
  gif->setObjectName(QStringLiteral("GIFImage1"));
  gif->setGeometry(panel->contentsRect());
  gif->SetAnimate(true);
  gif->SetAutoSize(false);
  gif->SetCenter(true);
  gif->SetFirstImageOnly(false);
  gif->SetLoop(false);
  gif->SetOpaque(false);
  gif->SetStretch(true);
  gif->SetStretchRatio(true);
  gif->SetTile(false);
  gif->ReadData(anim::doubleClickAnimationData());
  gif->OnDblClick = [this, gif](anim::TGIFImage&) {
    run([&] {
      controller_->GIFImage1DblClick();
      gif->SetAnimate(controller_->controls().testAreaAnimating);
    });
  };
  gif->Loaded();
  return gif;
}

QWidget* TMainForm::buildDrawTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsDraw"));
  auto* draw = group(page, "Draw", QRect(10, 8, 508, 316));
  picture(draw, pictures::drawPicture(QSize(200, 180)), QRect(154, 36, 200, 180));
  auto* text = label(draw, QStringLiteral("Draw on the whole screen to test the touch screen."),
                     QRect(54, 224, 400, 24));
  text->setAlignment(Qt::AlignCenter);
  btnDraw_ = button(draw, "&Draw", QRect(209, 264, 90, 27), "btnDraw");
  return page;
}

QWidget* TMainForm::buildAboutTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsAbout"));
  auto* about = group(page, "About", QRect(10, 8, 508, 170));
  label(about, QStringLiteral("Application Version:"), QRect(20, 30, 150, 20));
  label(about, QStringLiteral("Driver Version:"), QRect(20, 62, 150, 20));
  label(about, QStringLiteral("Driver Support Chip:"), QRect(20, 94, 150, 20));
  szAppVersion_ = label(about, qtext(kApplicationVersion), QRect(176, 30, 310, 20), "szAppVersion");
  szDriverVersion_ = label(about, QString(), QRect(176, 62, 310, 20), "szDriverVersion");
  szDSChip_ = label(about, QString(), QRect(176, 94, 310, 56), "szDSChip");
  szDSChip_->setWordWrap(true);
  szDSChip_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  szDSChip_->setContentsMargins(0, 2, 0, 0);

  label(page, QStringLiteral("For help with the touch screen, please contact Quorvane:"), QRect(20, 200, 490, 20));
  label(page, QStringLiteral("E-mail:  support@quorvane.invalid"), QRect(20, 228, 490, 20));
  label(page, QStringLiteral("Web site:  www.quorvane.invalid"), QRect(20, 256, 490, 20));
  return page;
}

void TMainForm::connectControls() {
  auto& c = controller_->controls();
  connect(comboBox1_, &QComboBox::editTextChanged, this, [this, &c](const QString& text) {
    c.comboText = stdtext(text);
    // A typed text selects the item it spells; otherwise none.
    c.comboIndex = comboBox1_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    run([&] { controller_->ComboBox1Change(); });
  });
  // Every pick from the list runs the change handling, also a pick of the item already
  // shown: after a user-defined start the box shows an item the window has not selected.
  connect(comboBox1_, &QComboBox::activated, this, [this, &c](int index) {
    c.comboText = stdtext(comboBox1_->itemText(index));
    c.comboIndex = index;
    run([&] { controller_->ComboBox1Change(); });
  });
  connect(irq_, &QLineEdit::textEdited, this, [&c](const QString& t) { c.irqText = stdtext(t); });
  connect(port_, &QLineEdit::textEdited, this, [&c](const QString& t) { c.portText = stdtext(t); });
  connect(cbUserDefine_, &QCheckBox::clicked, this, [this, &c](bool on) {
    c.userDefine = on;
    run([&] { controller_->cbUserDefineClick(); });
  });
  connect(cbRightClickButton_, &QCheckBox::clicked, this, [&c](bool on) { c.rightClickButton = on; });
  connect(cbSound_, &QCheckBox::clicked, this, [this, &c](bool on) {
    c.sound = on;
    run([&] { controller_->cbSoundClick(); });
  });
  connect(cbLongBeep_, &QCheckBox::clicked, this, [&c](bool on) { c.longBeep = on; });
  connect(cbHideCursor_, &QCheckBox::clicked, this, [&c](bool on) { c.hideCursor = on; });
  connect(cbCursorOffset_, &QCheckBox::clicked, this, [this, &c](bool on) {
    c.cursorOffset = on;
    run([&] { controller_->cbCursorOffsetClick(); });
  });
  connect(trackBar1_, &QSlider::valueChanged, this, [this, &c](int v) {
    c.speedPosition = v;
    run([&] { controller_->TrackBar1Change(); });
  });
  connect(trackBar2_, &QSlider::valueChanged, this, [this, &c](int v) {
    c.areaPosition = v;
    run([&] { controller_->TrackBar2Change(); });
  });
  // The repeat timer moves the cursor picture: show the new place after each step.
  timer_->setHandler([this] { run([&] { controller_->Timer1Timer(); }); });

  connect(btnOk_, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel_, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(btnInitial_, &QPushButton::clicked, this, [this] { run([&] { btnInitialClick(); }); });
  connect(btnCalibration_, &QPushButton::clicked, this, [this] { run([&] { btnCalibrationClick(); }); });
  connect(btnDraw_, &QPushButton::clicked, this, [this] { run([&] { btnDrawClick(); }); });
  connect(btnDetect_, &QPushButton::clicked, this, [this] { run([&] { btnDetectClick(); }); });
  connect(btnAdvance_, &QPushButton::clicked, this, [this] { run([&] { btnAdvanceClick(); }); });
}

LoadOutcome TMainForm::load() {
  const LoadOutcome outcome = controller_->load();
  if (outcome != LoadOutcome::Ready) return outcome;
  // On the monitor the window opens on, wherever that monitor stands on the desktop.
  platform::centreOnMonitorOf(*this, this);
  showState();
  if (options_.endpoints && options_.loop) {
    endpoint_ = options_.endpoints->listen(
        kMainFormClass, kApplicationTitle, *options_.loop,
        [this](const platform::WindowMessage& msg) -> std::uint32_t {
          if (msg.message == kApplySettingsMessage) btnOkClick();
          return 0;
        },
        &endpointProblem_);
  }
  return outcome;
}

void TMainForm::btnDetectClick() {
  if (searching_ || !controller_->mayChangeMachine()) return;
  PanelControls& c = controller_->controls();
  PanelServices& services = controller_->services();
  detect::DetectControls controls{c.controllerType, c.firmware,    c.baudRate,    c.status,
                                  c.comboItems,     c.comboIndex,  c.comboText,   c.comboEnabled,
                                  c.irqText,        c.portText,    c.irqEnabled,  c.portEnabled,
                                  c.userDefine,     c.initialEnabled, controller_->runtime().portList.irqs};
  detect::DetectServices detectServices{
      services.store,
      services.prompts,
      programState().QuietInitial,
      [this] { btnInitialClick(); },
      detect::machinePortPresent,
      [this]() -> std::unique_ptr<detect::DetectWindow> {
        return std::make_unique<detect::TDetectForm>(this, programState().probe);
      },
      [this] { controller_->ComboBox1Change(); },
      [this](std::string_view caption, bool enabled) {
        btnDetect_->setText(qtext(caption));
        btnDetect_->setEnabled(enabled);
      },
      [this] { showState(); },
      detect::machinePortGroupNeeded,
      platform::currentUserName()};
  detect::runDetectFlow(controls, detectServices);
}

void TMainForm::btnAdvanceClick() {
  if (searching_ || !controller_->mayChangeMachine()) return;
  PanelControls& c = controller_->controls();
  PanelServices& services = controller_->services();
  detect::AdvancePortControls controls{[this] {
                                         controller_->controls().userDefine = true;
                                         controller_->cbUserDefineClick();
                                       },
                                       c.irqText, c.portText, c.comboText, c.comboIndex, c.comboItems};
  const std::filesystem::path dir = options_.programDir.empty()
                                        ? std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
                                        : options_.programDir;
  detect::AdvanceServices advanceServices{dir, detect::qvMouseConfigPath(), services.launcher, services.prompts, services.messenger,
                                          services.store, {}, {}, {}};
  detect::TAdvDetForm form(this, std::move(controls), std::move(advanceServices));
  searching_ = true;
  form.exec();
  searching_ = false;
  // The search's own ApplySettingsMessage can arrive before its window has closed.
  if (std::exchange(okAfterSearch_, false)) QTimer::singleShot(0, this, [this] { btnOkClick(); });
}

void TMainForm::btnInitialClick() {
  if (!controller_->mayChangeMachine()) return;
  PanelServices& s = controller_->services();
  calibration::runInitialProcedure({s.store, s.driver, s.prompts,
                                    [this] {
                                      calibration::TErrorForm form(this);
                                      form.exec();
                                    }},
                                   programState_->QuietInitial);
}

void TMainForm::btnCalibrationClick() {
  if (!showCalibrationScreen_ || !controller_->mayChangeMachine()) return;
  PanelServices& s = controller_->services();
  const PanelRuntime& r = controller_->runtime();
  calibration::runCalibrationProcedure({s.store, s.driver, s.messenger, s.system, showCalibrationScreen_},
                                       programState_->calibration,
                                       {[this] {
                                          controller_->controls().cursorOffset = false;
                                          controller_->cbCursorOffsetClick();
                                        },
                                        r.cursorOffsetDX, r.cursorOffsetDY});
  // A completed calibration keeps the monitor it ran on.
  controller_->controls().touchMonitorText = calibration::touchMonitorText(settings::storedMonitor(s.store));
  // The cursor offset box and its arrows show what the procedure left.
  showState();
}

void TMainForm::btnDrawClick() {
  // A new window for every showing; the drawing state it continues lives in the program.
  if (!statisticsReader_) {
    statisticsLoop_ = std::make_unique<platform::QtEventLoop>();
    statisticsReader_ = std::make_unique<drawtest::StatisticsReader>(controller_->services().driver, *statisticsLoop_);
  }
  drawtest::TDrawForm form(programState_->drawTest, *statisticsReader_, this);
  form.exec();
}

void TMainForm::btnOkClick() {
  // ApplySettingsMessage can arrive while OK waits in its restart question; the OK that
  // is already running applies the same settings, so the second one is not started.
  if (closing_ || applying_) return;
  if (searching_) {
    okAfterSearch_ = true;
    return;
  }
  applying_ = true;
  run([&] { closing_ = controller_->btnOkClick(); });
  applying_ = false;
  if (closing_) close();
}

void TMainForm::btnCancelClick() {
  if (closing_ || applying_ || searching_ || !controller_->controls().cancelEnabled) return;
  applying_ = true;
  run([&] { closing_ = controller_->btnCancelClick(); });
  applying_ = false;
  if (closing_) close();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
  // Esc is the Cancel button; while Cancel is disabled it does nothing.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (btnCancel_->isEnabled()) btnCancel_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TMainForm::reject() {
  // The close box ends the program without OK or Cancel.
  QDialog::reject();
}

void TMainForm::run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const settings::StoreAccessDenied& e) {
    showState();
    tellWriteDenied(controller_->services().access, controller_->services().prompts, e.what());
  } catch (const std::exception& e) {
    showState();
    controller_->services().prompts.error(e.what());
  }
  showState();
}

void TMainForm::showState() {
  const PanelControls& c = controller_->controls();
  std::vector<QSignalBlocker> quiet;
  for (QObject* o : std::initializer_list<QObject*>{comboBox1_, irq_, port_, cbUserDefine_, cbRightClickButton_,
                                                   cbSound_, cbLongBeep_, cbHideCursor_, cbCursorOffset_,
                                                   trackBar1_, trackBar2_}) {
    quiet.emplace_back(o);
  }
  setText(szControllerType_, c.controllerType);
  setText(szFirmware_, c.firmware);
  setText(szBaudRate_, c.baudRate);
  setText(szStatus_, c.status);

  QStringList items;
  for (const auto& item : c.comboItems) items << qtext(item);
  QStringList shown;
  for (int i = 0; i < comboBox1_->count(); ++i) shown << comboBox1_->itemText(i);
  if (shown != items) {
    comboBox1_->clear();
    comboBox1_->addItems(items);
  }
  // The text the user is typing is left as it stands: moving the index to -1 would empty
  // the edit field, and putting the text back would move the caret to its end.
  const QString comboText = qtext(c.comboText);
  const bool typed = comboBox1_->currentText() == comboText;
  if (comboBox1_->currentIndex() != c.comboIndex && (!typed || c.comboIndex >= 0)) {
    comboBox1_->setCurrentIndex(c.comboIndex);
  }
  if (comboBox1_->currentText() != comboText) comboBox1_->setEditText(comboText);
  comboBox1_->setEnabled(c.comboEnabled);
  setText(irq_, c.irqText);
  setText(port_, c.portText);
  irq_->setEnabled(c.irqEnabled);
  port_->setEnabled(c.portEnabled);
  cbUserDefine_->setChecked(c.userDefine);

  btnInitial_->setEnabled(c.initialEnabled);
  btnCalibration_->setEnabled(c.calibrationEnabled);
  btnCancel_->setEnabled(c.cancelEnabled);
  setText(touchMonitor_, c.touchMonitorText);

  cbRightClickButton_->setChecked(c.rightClickButton);
  cbSound_->setChecked(c.sound);
  cbLongBeep_->setChecked(c.longBeep);
  cbLongBeep_->setEnabled(c.longBeepEnabled);
  cbHideCursor_->setChecked(c.hideCursor);
  cbCursorOffset_->setChecked(c.cursorOffset);
  for (QPushButton* b : arrows_) b->setEnabled(c.arrowsEnabled);
  backcur_->move(c.backcur.left, c.backcur.top);
  movecur_->move(c.movecur.left, c.movecur.top);
  trackBar1_->setValue(c.speedPosition);
  trackBar2_->setValue(c.areaPosition);

  setText(szDriverVersion_, c.driverVersion);
  setText(szDSChip_, c.supportChip);
}

}  // namespace qv::app
