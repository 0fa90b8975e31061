// The main window's Initial and Calibration buttons with the program state and a stand-in
// calibration screen: the window's own controls follow a completed calibration.
#include "app/main_form.h"
#include "app/panel_rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace qv::app {
namespace {

void ensureApplication() {
  static int argc = 1;
  static char name[] = "main_form_calibration_qt_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the platform plugin must outlive every window of every test.
  if (!QApplication::instance()) new QApplication(argc, argv);
}

struct CalibrationFormRig {
  CalibrationFormRig() {
    ensureApplication();
    TMainForm::Options options;
    options.state = &state;
    options.timer = std::make_unique<test::ManualRepeatTimer>();
    form = std::make_unique<TMainForm>(rig.services(), std::move(options));
    EXPECT_EQ(form->load(), LoadOutcome::Ready);
    rig.store.clearLogs();
  }
  test::PanelRig rig;
  ProgramState state;
  std::unique_ptr<TMainForm> form;
};

TEST(MainFormCalibration, CompletedCalibrationUnticksCursorOffsetAndDisablesTheArrows) {
  CalibrationFormRig f;
  auto* box = f.form->findChild<QCheckBox*>(QStringLiteral("cbCursorOffset"));
  auto* up = f.form->findChild<QPushButton*>(QStringLiteral("btnUp"));
  ASSERT_TRUE(box->isChecked());
  ASSERT_TRUE(up->isEnabled());

  f.form->btnCalibrationClick();  // no screen yet: nothing happens
  EXPECT_TRUE(f.rig.deviceIo.requests().empty());

  bool cancel = true;
  f.form->setCalibrationScreen([&] { f.state.calibration.CalibrationCancelled = cancel; });
  f.form->btnCalibrationClick();
  EXPECT_TRUE(box->isChecked());  // cancelled: as it was

  cancel = false;
  f.form->btnCalibrationClick();
  EXPECT_FALSE(box->isChecked());
  EXPECT_FALSE(up->isEnabled());
  EXPECT_EQ(f.rig.text("IsCursorOffset"), std::string("\0\0\0\0", 4));
}

TEST(MainFormCalibration, QuietInitialFromTheProgramStateShowsNoErrorWindow) {
  CalibrationFormRig f;
  f.rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Init\"=\"Failed\"\n");
  f.state.QuietInitial = true;
  f.form->btnInitialClick();  // would block in the error window if it were shown
  EXPECT_EQ(f.rig.deviceIo.codes(), (std::vector<std::uint32_t>{3}));

  f.rig.deviceIo.setAbsent(true);
  f.form->btnInitialClick();
  EXPECT_EQ(f.rig.prompts.notices, (std::vector<std::string>{"Can't load driver correctly !\nSystem may need reboot."}));
}

}  // namespace
}  // namespace qv::app
