// The main window on the offscreen platform: its controls, keys and the handlers they
// run, and ApplySettingsMessage through a real endpoint.
#include "anim/qt/gif_image.h"
#include "app/main_form.h"
#include "app/panel_application.h"
#include "panel_rig.h"
#include "platform/posix/unix_window_endpoints.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_user_prompts.h"
#include "support/private_root.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

// The system's font configuration library keeps a cache it never frees; that is not ours
// to report when the leak checker runs.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace qv::app {
namespace {

// The program's own application object, so that windows get its title and font.
QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "main_form_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the platform plugin must outlive every window of every test.
  static QApplication* app = new PanelApplication(argc, argv);
  return *app;
}

// A window over a rig's services, with the rig's manual timer driving the arrows.
struct FormRig {
  explicit FormRig(std::string_view changes = {}, TMainForm::Options options = {}, MachineAccess access = {})
      : rig(test::kPanelStore, changes) {
    qtApp();
    auto timer = std::make_unique<test::ManualRepeatTimer>();
    manualTimer = timer.get();
    options.timer = std::move(timer);
    PanelServices services = rig.services();
    services.access = std::move(access);
    form = std::make_unique<TMainForm>(services, std::move(options));
  }
  template <class T>
  T* child(const char* name) {
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void loadAndShow() {
    ASSERT_EQ(form->load(), LoadOutcome::Ready);
    rig.store.clearLogs();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  test::PanelRig rig;
  test::ManualRepeatTimer* manualTimer = nullptr;
  std::unique_ptr<TMainForm> form;
};

TEST(MainForm, HasTheDesignedWindowTabsAndControls) {
  FormRig f;
  f.loadAndShow();
  TMainForm& w = *f.form;
  EXPECT_EQ(w.windowTitle(), "Quorvane Control Panel");
  EXPECT_EQ(w.size(), QSize(552, 420));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

  QStringList tabs;
  for (int i = 0; i < w.tabs()->count(); ++i) tabs << w.tabs()->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"Configure", "Calibrate", "Setting", "Draw", "About"}));
  EXPECT_EQ(w.tabs()->currentIndex(), 0);

  QStringList groups;
  for (auto* g : w.findChildren<QGroupBox*>()) groups << g->title();
  for (const char* title : {"Hardware Infomation", "Serial Port Status", "Detect", "Initial", "Calibration",
                            "Misc Option", "Cursor", "Double Click", "Draw", "About"}) {
    EXPECT_TRUE(groups.contains(QString::fromLatin1(title))) << title;
  }
  EXPECT_TRUE(f.child<QPushButton>("btnOk")->isDefault());
  EXPECT_EQ(f.child<QPushButton>("btnDetect")->text(), "&Detect");
  EXPECT_EQ(f.child<QPushButton>("btnAdvance")->focusPolicy(), Qt::ClickFocus);
  EXPECT_EQ(f.child<QPushButton>("btnUp")->size(), QSize(20, 20));
  EXPECT_EQ(f.child<QWidget>("Panel2")->size(), QSize(100, 90));
  EXPECT_EQ(f.child<QWidget>("Panel1")->size(), QSize(80, 60));
  EXPECT_EQ(f.child<QSlider>("TrackBar1")->minimum(), 100);
  EXPECT_EQ(f.child<QSlider>("TrackBar1")->maximum(), 900);
  EXPECT_EQ(f.child<QSlider>("TrackBar2")->tickInterval(), 5);
  EXPECT_EQ(f.child<QComboBox>("ComboBox1")->maxVisibleItems(), 5);
  EXPECT_EQ(f.child<QLabel>("szAppVersion")->text(), "3.1.03");
  EXPECT_TRUE(f.child<QLabel>("szDSChip")->wordWrap());
}

TEST(MainForm, ShowsWhatLoadingFound) {
  FormRig f("\"Restart\"=dword:00000001\n\"Ctrl_Sound\"=dword:00000000\n");
  f.loadAndShow();
  EXPECT_EQ(f.child<QLabel>("szFirmware")->text(), "12ab");
  EXPECT_EQ(f.child<QLabel>("szStatus")->text(), "Loaded");
  EXPECT_EQ(f.child<QLabel>("szDriverVersion")->text(), "3.1.05");
  EXPECT_EQ(f.child<QComboBox>("ComboBox1")->count(), 2);
  EXPECT_EQ(f.child<QComboBox>("ComboBox1")->currentText(), "COM1");
  EXPECT_EQ(f.child<QLineEdit>("PORT")->text(), "3F8H");
  EXPECT_FALSE(f.child<QLineEdit>("IRQ")->isEnabled());
  EXPECT_FALSE(f.child<QPushButton>("btnInitial")->isEnabled());
  EXPECT_FALSE(f.child<QPushButton>("btnCancel")->isEnabled());
  EXPECT_TRUE(f.child<QCheckBox>("cbLongBeep")->isChecked());
  EXPECT_FALSE(f.child<QCheckBox>("cbLongBeep")->isEnabled());
  EXPECT_EQ(f.child<QSlider>("TrackBar1")->value(), 500);
  EXPECT_EQ(f.child<QWidget>("movecur")->pos(), QPoint(44, 35));
  // Setting the bars while loading ran no handler.
  EXPECT_TRUE(f.rig.system.actions().empty());

  // Esc does nothing while Cancel is disabled.
  QTest::keyClick(f.form.get(), Qt::Key_Escape);
  EXPECT_TRUE(f.form->isVisible());
  EXPECT_TRUE(f.rig.system.actions().empty());
}

TEST(MainForm, EscRunsCancelEnterRunsOkTheCloseBoxNeither) {
  FormRig esc;
  esc.loadAndShow();
  QTest::keyClick(esc.form.get(), Qt::Key_Escape);
  EXPECT_FALSE(esc.form->isVisible());
  EXPECT_EQ(esc.rig.system.actions().front(), "setDoubleClickTime(500)");

  // The close box runs neither Cancel nor OK.
  FormRig closeBox;
  closeBox.loadAndShow();
  closeBox.form->close();
  EXPECT_FALSE(closeBox.form->isVisible());
  EXPECT_TRUE(closeBox.rig.system.actions().empty());
  EXPECT_TRUE(closeBox.rig.store.writeLog().empty());

  FormRig enter;
  enter.loadAndShow();
  QTest::keyClick(enter.form.get(), Qt::Key_Return);
  EXPECT_FALSE(enter.form->isVisible());
  EXPECT_EQ(enter.rig.deviceIo.codes(), (std::vector<std::uint32_t>{7, 6, 13, 10}));
}

TEST(MainForm, EnterPressesTheFocusedButtonAndOkEverywhereElse) {
  FormRig f;
  f.loadAndShow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
  auto* ok = f.child<QPushButton>("btnOk");
  QSignalSpy okClicked(ok, &QPushButton::clicked);
  const std::pair<int, const char*> buttons[] = {{0, "btnDetect"}, {0, "btnAdvance"}, {1, "btnInitial"},
                                                 {1, "btnCalibration"}, {3, "btnDraw"}};
  for (const auto& [tab, name] : buttons) {
    f.form->tabs()->setCurrentIndex(tab);
    auto* b = f.child<QPushButton>(name);
    // Only which button Enter presses counts here, not the windows these buttons open.
    QObject::disconnect(b, &QPushButton::clicked, f.form.get(), nullptr);
    QSignalSpy clicked(b, &QPushButton::clicked);
    b->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), b) << name;
    QTest::keyClick(b, Qt::Key_Return);
    QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicked.count(), 2) << name;
  }
  EXPECT_EQ(okClicked.count(), 0);
  EXPECT_TRUE(f.rig.deviceIo.codes().empty());

  // Cancel takes its own Enter: the window closes without applying anything.
  f.form->tabs()->setCurrentIndex(0);
  auto* cancel = f.child<QPushButton>("btnCancel");
  cancel->setFocus(Qt::TabFocusReason);
  QTest::keyClick(cancel, Qt::Key_Return);
  EXPECT_FALSE(f.form->isVisible());
  EXPECT_EQ(okClicked.count(), 0);
  EXPECT_TRUE(f.rig.store.writeLog().empty());

  // In a control that is no button, Enter is OK, also right after a button had the focus.
  FormRig g;
  g.loadAndShow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(g.form.get()));
  g.child<QPushButton>("btnDetect")->setFocus(Qt::TabFocusReason);
  QWidget* port = g.child<QComboBox>("ComboBox1")->lineEdit();
  port->setFocus(Qt::TabFocusReason);
  QTest::keyClick(port, Qt::Key_Return);
  EXPECT_FALSE(g.form->isVisible());
  EXPECT_EQ(g.rig.deviceIo.codes(), (std::vector<std::uint32_t>{7, 6, 13, 10}));
}

TEST(MainForm, ThePortBoxEditsLikeAPlainEditableBox) {
  FormRig f;
  f.loadAndShow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
  QLineEdit* edit = f.child<QComboBox>("ComboBox1")->lineEdit();
  edit->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(edit->text(), "COM1");
  QTest::keyClick(edit, Qt::Key_Home);
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, "X");
  EXPECT_EQ(edit->text(), "XOM1");
  EXPECT_EQ(edit->cursorPosition(), 1);
  EXPECT_EQ(f.form->controller().controls().comboText, "XOM1");

  // Typed text is not completed to an item.
  edit->selectAll();
  QTest::keyClicks(edit, "CO");
  EXPECT_EQ(edit->text(), "CO");
  EXPECT_EQ(edit->selectedText(), "");
  // A typed item name selects that item without moving the caret.
  edit->selectAll();
  QTest::keyClicks(edit, "CM2");
  QTest::keyClick(edit, Qt::Key_Home);
  QTest::keyClick(edit, Qt::Key_Right);
  QTest::keyClicks(edit, "O");
  EXPECT_EQ(edit->text(), "COM2");
  EXPECT_EQ(edit->cursorPosition(), 2);
  EXPECT_EQ(f.child<QLineEdit>("PORT")->text(), "2F8H");
}

TEST(MainForm, CaptionsAreExactlyTheirOwn) {
  qtApp();
  // The toolkit appends a display name, once one is set, to every caption that differs
  // from it; unset, it follows the application name.
  const QString name = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(QStringLiteral("renamed"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "renamed");
  QCoreApplication::setApplicationName(name);

  FormRig f;
  f.loadAndShow();
  EXPECT_EQ(f.form->windowHandle()->title(), "Quorvane Control Panel");
  platform::QtUserPrompts prompts{"Quorvane Control Panel"};
  QStringList shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown << box->windowHandle()->title();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(prompts.askYesNo("Reboot", "Because ComPort is newly setted\nSystem must reboot!"));
  EXPECT_EQ(shown, QStringList{"Reboot"});
}

TEST(MainForm, ControlsRunTheirHandlers) {
  FormRig f;
  f.loadAndShow();
  f.form->tabs()->setCurrentIndex(2);
  auto* sound = f.child<QCheckBox>("cbSound");
  QTest::mouseClick(sound, Qt::LeftButton);
  EXPECT_FALSE(sound->isChecked());
  EXPECT_FALSE(f.child<QCheckBox>("cbLongBeep")->isEnabled());
  EXPECT_TRUE(f.child<QCheckBox>("cbLongBeep")->isChecked());

  f.child<QSlider>("TrackBar1")->triggerAction(QAbstractSlider::SliderToMaximum);
  f.child<QSlider>("TrackBar2")->setValue(25);
  EXPECT_EQ(f.rig.system.actions(), (std::vector<std::string>{"setDoubleClickTime(100)", "setDoubleClickWidth(25)",
                                                               "setDoubleClickHeight(25)"}));

  auto* right = f.child<QPushButton>("btnRight");
  QTest::mousePress(right, Qt::RightButton);
  EXPECT_EQ(f.child<QWidget>("movecur")->pos(), QPoint(45, 35));
  f.manualTimer->advance(350);
  EXPECT_EQ(f.child<QWidget>("movecur")->pos(), QPoint(47, 35));
  QTest::mouseRelease(right, Qt::RightButton);
  EXPECT_FALSE(f.manualTimer->isActive());

  QTest::mouseClick(f.child<QCheckBox>("cbCursorOffset"), Qt::LeftButton);
  EXPECT_FALSE(right->isEnabled());

  f.form->tabs()->setCurrentIndex(0);
  f.child<QComboBox>("ComboBox1")->setCurrentIndex(1);
  EXPECT_EQ(f.child<QLineEdit>("IRQ")->text(), "3");
  EXPECT_EQ(f.child<QLineEdit>("PORT")->text(), "2F8H");
  QTest::mouseClick(f.child<QCheckBox>("cbUserDefine"), Qt::LeftButton);
  EXPECT_TRUE(f.child<QLineEdit>("IRQ")->isEnabled());
  EXPECT_FALSE(f.child<QComboBox>("ComboBox1")->isEnabled());
  QLineEdit* irq = f.child<QLineEdit>("IRQ");
  irq->selectAll();
  QTest::keyClicks(irq, "7");
  EXPECT_EQ(f.form->controller().controls().irqText, "7");
}

TEST(MainForm, PickingTheShownPortAfterAUserDefinedStartTakesItsValues) {
  FormRig f("\"IsComUserDef\"=dword:00000001\n\"UserIRQ\"=\"7\"\n\"UserPort\"=\"300H\"\n");
  f.loadAndShow();
  QTest::mouseClick(f.child<QCheckBox>("cbUserDefine"), Qt::LeftButton);
  f.child<QComboBox>("ComboBox1")->showPopup();  // showing COM1
  QAbstractItemView* list = f.child<QComboBox>("ComboBox1")->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
  EXPECT_EQ(f.child<QLineEdit>("IRQ")->text() + " " + f.child<QLineEdit>("PORT")->text(), "4 3F8H");
  QTest::mouseClick(f.child<QPushButton>("btnOk"), Qt::LeftButton);
  EXPECT_EQ(f.rig.prompts.questions, (std::vector<std::string>{"Reboot|Because ComPort is newly setted\nSystem must reboot!"}));
  EXPECT_EQ(f.rig.text("Cfg_IRQ") + " " + f.rig.text("Cfg_Port"), "4 3F8H");
}

TEST(MainForm, TestAreaDoubleClickTogglesTheAnimation) {
  FormRig f;
  f.loadAndShow();
  f.form->tabs()->setCurrentIndex(2);
  auto* picture = f.child<anim::TGIFImage>("GIFImage1");
  ASSERT_TRUE(picture->Animate());
  EXPECT_EQ(picture->FrameCount(), 8);
  QTest::mouseDClick(picture, Qt::LeftButton);
  EXPECT_FALSE(f.form->controller().controls().testAreaAnimating);
  EXPECT_FALSE(picture->Animate());
  QTest::mouseDClick(picture, Qt::LeftButton);
  EXPECT_TRUE(f.form->controller().controls().testAreaAnimating);
  EXPECT_TRUE(picture->Animate());
}

TEST(MainForm, AnErrorInAHandlerIsShownAndTheWindowStays) {
  FormRig f;
  f.loadAndShow();
  f.rig.store.refuseWritesOf("Cfg_Port");
  QTest::mouseClick(f.child<QPushButton>("btnOk"), Qt::LeftButton);
  EXPECT_EQ(f.rig.prompts.errors, (std::vector<std::string>{"Failed to set data for 'Cfg_Port'"}));
  EXPECT_TRUE(f.form->isVisible());
  // The window goes on: the next OK works once the store takes the value.
  f.rig.store.clearRefusals();
  QTest::mouseClick(f.child<QPushButton>("btnOk"), Qt::LeftButton);
  EXPECT_FALSE(f.form->isVisible());
}

TEST(MainForm, AChangeTheStoreRefusesForWantOfPermissionEndsWithTheRefusal) {
  FormRig f({}, {}, MachineAccess{true, "join the group"});
  f.loadAndShow();
  f.rig.store.denyValueWrites(true);
  QTest::mouseClick(f.child<QPushButton>("btnOk"), Qt::LeftButton);
  EXPECT_EQ(f.rig.prompts.notices, (std::vector<std::string>{"join the group"}));
  EXPECT_TRUE(f.rig.prompts.errors.empty());
  EXPECT_TRUE(f.rig.store.writeLog().empty());
  EXPECT_TRUE(f.form->isVisible());
}

TEST(MainForm, ASecondOkWhileTheRestartQuestionIsOpenIsNotStarted) {
  FormRig f("\"Restart\"=dword:00000001\n");
  f.loadAndShow();
  f.rig.prompts.answerYes = false;
  f.rig.prompts.whileAsking = [&] { f.form->btnOkClick(); };
  f.form->btnOkClick();
  EXPECT_EQ(f.rig.prompts.questions.size(), 1u);
  EXPECT_TRUE(f.form->isVisible());
  // Once it has ended, OK runs again.
  f.rig.prompts.whileAsking = nullptr;
  f.form->btnOkClick();
  EXPECT_EQ(f.rig.prompts.questions.size(), 2u);
}

TEST(MainForm, ApplySettingsMessageRunsOk) {
  test::PrivateRoot root;
  platform::UnixWindowEndpointFactory endpoints;
  platform::QtEventLoop loop;
  TMainForm::Options options;
  options.endpoints = &endpoints;
  options.loop = &loop;
  FormRig f({}, std::move(options));
  f.loadAndShow();
  ASSERT_EQ(f.form->endpointProblem(), "");

  platform::UnixWindowMessenger messenger;
  ASSERT_TRUE(messenger.post("TMainForm", "Quorvane Control Panel", {0x46F, 0, 0}));
  QElapsedTimer waited;
  waited.start();
  while (f.form->isVisible() && waited.elapsed() < 5000) QTest::qWait(10);
  EXPECT_FALSE(f.form->isVisible());
  EXPECT_EQ(f.rig.store.writeLog().front(), "HKLM\\SOFTWARE\\Quorvane\\IsComUserDef");
  EXPECT_EQ(f.rig.deviceIo.codes(), (std::vector<std::uint32_t>{7, 6, 13, 10}));
}

}  // namespace
}  // namespace qv::app
