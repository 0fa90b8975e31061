// The Configure tab's "&Detect" and "&Advance" buttons in the main window: the driver's
// road of the Detect flow, and the advanced detection's warning window going back.
#include "app/main_form.h"
#include "app/panel_rig.h"
#include "support/private_root.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace qv::app {
namespace {

QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "detect_buttons_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

struct DetectFormRig {
  DetectFormRig() {
    qtApp();
    TMainForm::Options options;
    options.timer = std::make_unique<test::ManualRepeatTimer>();
    options.state = &state;
    options.programDir = root.path();
    form = std::make_unique<TMainForm>(rig.services(), std::move(options));
    EXPECT_EQ(form->load(), LoadOutcome::Ready);
  }
  QString text(const char* name) { return form->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  QPushButton* button(const char* name) { return form->findChild<QPushButton*>(QString::fromLatin1(name)); }

  test::PrivateRoot root;  // no serial ports on this machine
  test::PanelRig rig;
  ProgramState state;
  std::unique_ptr<TMainForm> form;
};

TEST(DetectButtons, DetectShowsTheDriversConfigurationWhenItsInitialSucceeds) {
  DetectFormRig f;
  f.button("btnDetect")->click();
  EXPECT_EQ(f.text("szStatus"), "Loaded");
  EXPECT_EQ(f.text("szFirmware"), "12ab");
  EXPECT_EQ(f.text("szControllerType"), "RVCT303");
  EXPECT_EQ(f.text("szBaudRate"), "9600");
  EXPECT_EQ(f.button("btnDetect")->text(), "&Detect");
  EXPECT_TRUE(f.button("btnDetect")->isEnabled());
  EXPECT_FALSE(f.state.QuietInitial);
  EXPECT_TRUE(f.rig.prompts.errors.empty());
}

TEST(DetectButtons, AdvanceOpensTheWarningWindowAndGoesBackWithoutChanges) {
  DetectFormRig f;
  QString title;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    title = modal->windowTitle();
    QTest::keyClick(modal, Qt::Key_Escape);
  });
  f.button("btnAdvance")->click();
  EXPECT_EQ(title, "Advance Detect");
  EXPECT_TRUE(f.rig.launcher.commands().empty());
  EXPECT_TRUE(f.rig.messenger.posted().empty());
}

}  // namespace
}  // namespace qv::app
