// The two calibration windows on the offscreen platform: the initial-error window's look
// and its closing timer, and the calibration screen taking four releases and Cancel.
#include "calibration/calib_layout.h"
#include "calibration/qt/calib_form.h"
#include "calibration/qt/error_form.h"
#include "calibration_rig.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace qv::calibration {
namespace {

QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "calib_windows_qt_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the platform plugin must outlive every window of every test.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class ManualTimer final : public SingleShotTimer {
public:
  void start(int milliseconds) override {
    interval = milliseconds;
    active = true;
  }
  void stop() override { active = false; }
  bool isActive() const override { return active; }
  void expire() {
    if (active) fire();
  }
  int interval = 0;
  bool active = false;
};

TEST(TErrorForm, LooksAsDesignedAndClosesItselfWhenTimer1Fires) {
  qtApp();
  auto timer = std::make_unique<ManualTimer>();
  ManualTimer* t = timer.get();
  auto form = std::make_unique<TErrorForm>(nullptr, std::move(timer));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Initial Error"));
  EXPECT_EQ(form->size(), QSize(328, 124));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  auto* label = form->findChild<QLabel*>(QStringLiteral("Label1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("Quorvane Initial Error!"));
  EXPECT_EQ(label->geometry(), QRect(8, 24, 313, 41));
  EXPECT_EQ(label->font().pixelSize(), 23);
  auto* ok = form->findChild<QPushButton*>(QStringLiteral("BitBtn1"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->geometry(), QRect(114, 72, 100, 35));
  EXPECT_TRUE(t->active);
  EXPECT_EQ(t->interval, 5000);

  bool shownWhenFired = false;
  QTimer::singleShot(0, form.get(), [&] {
    shownWhenFired = form->isVisible();
    t->expire();
  });
  form->exec();  // returns only because Timer1 closed it
  EXPECT_TRUE(shownWhenFired);
  EXPECT_FALSE(t->active);

  // Pressed OK before the time is up.
  auto again = std::make_unique<TErrorForm>(nullptr, std::make_unique<ManualTimer>());
  QTimer::singleShot(0, again.get(), [&] { QTest::mouseClick(again->findChild<QPushButton*>(), Qt::LeftButton); });
  EXPECT_EQ(again->exec(), QDialog::Accepted);
}

TEST(TCalibForm, FourReleasesCalibrateAndEscCancels) {
  qtApp();
  test::CalibrationRig rig;
  rig.system.setTickCount(5000);
  rig.system.setTickStep(1000);  // every release comes a second after the one before
  test::RecordingPrompts prompts;
  TCalibForm form(rig.state, rig.screenServices(), prompts);

  std::vector<QPoint> dots;
  std::vector<QString> names;
  bool pointerHidden = false;
  QPoint labelAt;
  auto touchAll = [&] {
    auto* dot = form.findChild<QWidget*>(QStringLiteral("CircleShape"));
    auto* label = form.findChild<QLabel*>(QStringLiteral("StatusLabel"));
    pointerHidden = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BlankCursor;
    for (int i = 0; i < 4; ++i) {
      dots.push_back(dot->pos());
      names.push_back(label->text());
      labelAt = label->geometry().center();
      // Any button, released over the label: it counts as a touch of the screen.
      QTest::mouseRelease(&form, i == 1 ? Qt::RightButton : Qt::LeftButton, {}, labelAt);
    }
  };
  QTimer::singleShot(0, &form, touchAll);
  form.showModally();

  EXPECT_TRUE(pointerHidden);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // restored when the screen closed
  EXPECT_EQ(names, (std::vector<QString>{"TOP", "RIGHT", "BOTTOM", "LEFT"}));
  const QSize size = form.size();
  for (int i = 0; i < 4; ++i) {
    const Place p = layOutTarget(i, {size.width(), size.height()}, kHandSize, {0, 0}, kCancelSize).dotPlace;
    EXPECT_EQ(dots[i], QPoint(p.left, p.top)) << i;
  }
  EXPECT_FALSE(rig.state.CalibrationCancelled);
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(rig.text("Cfg_X1"), "03H");  // raw readings were all zero
  EXPECT_EQ(rig.text("Cfg_X2"), "FFFFFFFDH");
  EXPECT_TRUE(prompts.errors.empty());

  // The next showing starts at the top again; Esc cancels it.
  // Full-screen on its monitor again, though the completed calibration minimised it.
  QString shownName;
  Qt::WindowStates shownState;
  QRect shownArea;
  QTimer::singleShot(0, &form, [&] {
    shownName = form.findChild<QLabel*>(QStringLiteral("StatusLabel"))->text();
    shownState = form.windowState();
    shownArea = form.geometry();
    QTest::keyClick(&form, Qt::Key_Escape);
  });
  form.showModally();
  EXPECT_EQ(shownName, QStringLiteral("TOP"));
  EXPECT_EQ(shownState, Qt::WindowFullScreen);
  EXPECT_EQ(shownArea, form.screen()->geometry());
  EXPECT_TRUE(rig.state.CalibrationCancelled);
  EXPECT_EQ(rig.deviceIo.codes().back(), test::code(driver::RequestCode::SetCalibration));
}

}  // namespace
}  // namespace qv::calibration
