// The two detection windows on the offscreen platform: TDetectForm finding the simulated
// controller and passing over a missing port, and TAdvDetForm's look and buttons.
#include "detect/qt/Advance.h"
#include "detect/qt/detect.h"
#include "support/child_process.h"
#include "support/fake_program_launcher.h"
#include "support/memory_registry_store.h"
#include "support/private_root.h"
#include "support/recording_window_messenger.h"
#include "support/wait_for.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace qv::detect {
namespace {

using namespace std::chrono_literals;

QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "detect_window_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);  // outlives every window
  return *app;
}

TEST(TDetectForm, FindsTheControllerAndPassesOverAMissingPort) {
  qtApp();
  test::PrivateRoot root;
  test::ChildProcess sim(QV_CONTROLLER_SIM_PATH, {"--port", "COM2", "--model", "T303"});
  ASSERT_TRUE(test::waitFor([&] { return std::filesystem::is_symlink(root.path() / "dev" / "COM2"); }));

  ProbeState state;
  TDetectForm form(nullptr, state);
  EXPECT_EQ(form.size(), QSize(TDetectForm::kWidth, TDetectForm::kHeight));
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form.comm1().BaudRate(), 19200);
  EXPECT_EQ(form.timer1().interval(), 500);
  EXPECT_FALSE(form.timer1().isActive());

  form.setPortName("COM1");  // no such port on this machine
  QElapsedTimer clock;
  clock.start();
  form.showModal();
  EXPECT_LT(clock.elapsed(), 400);
  EXPECT_FALSE(form.result().DetFound);
  EXPECT_TRUE(form.panel1()->text().isEmpty());

  QString progress;
  QTimer watch;  // what the panel shows while the window is up
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!form.panel1()->text().isEmpty()) progress = form.panel1()->text();
  });
  watch.start(50);
  QTimer::singleShot(200, &form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });  // no way out mid-pass
  form.setPortName("COM2");
  form.showModal();
  EXPECT_TRUE(form.result().DetFound);
  EXPECT_EQ(form.result().DetChipType, "T303");
  EXPECT_EQ(form.result().DetBaudRate, 19200);
  EXPECT_EQ(progress, "Detecting on COM2  ...");
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.comm1().isOpen());
  EXPECT_FALSE(form.timer1().isActive());
}

TEST(TAdvDetForm, WarnsBlinksAndGoesBackOrStaysOpenWhenTheToolIsMissing) {
  qtApp();
  test::PrivateRoot root;
  test::MemoryRegistryStore store("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n");
  test::FakeProgramLauncher launcher;
  launcher.setStartResult(2);
  test::RecordingWindowMessenger messenger;
  struct : platform::UserPrompts {
    void notice(std::string_view) override {}
    bool askYesNo(std::string_view, std::string_view) override { return false; }
    void error(std::string_view) override {}
  } prompts;
  std::string irq, port, combo;
  int index = -1;
  std::vector<std::string> items;
  TAdvDetForm form(nullptr, {nullptr, irq, port, combo, index, items},
                   {root.path(), root.path() / "qvmouse.cfg", launcher, prompts, messenger, store, {}, {},
                    [](const std::filesystem::path&) {}});
  EXPECT_EQ(form.windowTitle(), "Advance Detect");
  EXPECT_EQ(form.size(), QSize(TAdvDetForm::kWidth, TAdvDetForm::kHeight));
  EXPECT_EQ(form.label1()->text(), "Warning !");
  EXPECT_EQ(form.memo1()->toPlainText().split('\n'),
            (QStringList{"This action is dangerous !", "It may cause your system to be unstable.",
                         "If you can use \"detect\" to find Quorvane sucessfully,",
                         "it's strongly recommended not to use this function !", "",
                         "Before continue, please stop all your other programs !"}));
  EXPECT_TRUE(form.memo1()->isReadOnly());
  EXPECT_TRUE(form.button2()->isDefault());
  EXPECT_EQ(form.button1()->text(), "I know, I wanna find Quorvane right now");
  EXPECT_EQ(form.button2()->text(), "I know, I don't wanna continue, please go back");

  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const bool visible = form.label1()->isVisible();
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.label1()->isVisible() != visible; }, 3000));

  form.button1()->click();  // qvdetect cannot be started: the window stays
  EXPECT_EQ(launcher.commands().size(), 1u);
  EXPECT_TRUE(form.isVisible());
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Rejected);

  // Going back while the tool runs ends the wait: a result that comes then is not taken.
  launcher.setStartResult(100);
  form.show();
  QTimer::singleShot(100, &form, [&] {
    std::ofstream(root.path() / "qvmouse.cfg") << std::string(43, '\x03');
    form.button2()->click();
  });
  form.button1()->click();
  EXPECT_EQ(irq, "");
  EXPECT_TRUE(messenger.lookups().empty());
  EXPECT_EQ(launcher.watchedStops, 1);  // the tool no longer holds the ports
}

}  // namespace
}  // namespace qv::detect
