// The drawing test window on the offscreen platform, driven by pointer input through its
// platform window (so the canvas keeps the pointer during a drag as on a real screen), and
// the main window's Draw button.
#include "app/main_form.h"
#include "app/panel_rig.h"
#include "drawtest/qt/draw_form.h"
#include "drawtest/qt/paint_box.h"
#include "platform/manual_event_loop.h"
#include "recording_canvas.h"
#include "support/private_root.h"
#include "support/recording_device_io.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

// The system's font configuration library keeps a cache it never frees; that is not ours
// to report when the leak checker runs.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace qv::drawtest {
namespace {

using Ops = std::vector<std::string>;

QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "drawtest_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);  // outlives every window
  return *app;
}

struct FormRig {
  FormRig() : channel(io) {
    qtApp();
    const auto bytes = driver::LineStatistics{1, 2, 3, 4}.toBytes();
    io.setReply(0x0C, {bytes.begin(), bytes.end()});
    form = std::make_unique<TDrawForm>(state, reader);
    form->paintBox1()->OnPainted = [this](const CanvasOp& op) { painted.push_back(test::describe(op)); };
  }
  void show() {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    painted.clear();
  }
  // Waits until the readings asked for and the drawings given so far reached the screen.
  void waitPainted() {
    ASSERT_TRUE(loop.runUntil([this] { return !reader.busy(); }, std::chrono::seconds(10)));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->paintBox1()->awaitingPaint(); }, 10000));
  }
  std::vector<std::string> paintedTexts() {
    waitPainted();
    std::vector<std::string> texts;
    for (const auto& p : painted) {
      if (p.starts_with("text ")) texts.push_back(p);
    }
    return texts;
  }
  QRgb pixel(QPoint at) { return form->screen()->grabWindow(form->winId()).toImage().pixel(at); }
  QWindow* window() { return form->windowHandle(); }
  std::string column(int line, const std::string& text) {
    return "text " + std::to_string(form->frameGeometry().width() - 100) + "," + std::to_string(17 * line) + " [" +
           text + "]";
  }

  test::PrivateRoot root;
  test::RecordingDeviceIo io;
  driver::DriverChannel channel;
  DrawTestState state;
  platform::ManualEventLoop loop;  // readings come only when a test waits for them
  StatisticsReader reader{channel, loop};
  std::unique_ptr<TDrawForm> form;
  std::vector<std::string> painted;
};

const Ops kStatistics = {"text 10,100 [Over Run : 1]", "text 10,120 [Frame Error : 2]", "text 10,140 [PenDown : 3]",
                         "text 10,160 [PenUp : 4]"};

Ops concat(std::initializer_list<Ops> parts) {
  Ops all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(DrawForm, IsAFullScreenCaptionlessWhiteWindowWithItsMenu) {
  FormRig f;
  TDrawForm& w = *f.form;
  EXPECT_TRUE(w.windowFlags() & Qt::CustomizeWindowHint);
  EXPECT_FALSE(w.windowFlags() & Qt::WindowTitleHint);
  EXPECT_TRUE(w.windowState() & Qt::WindowFullScreen);
  EXPECT_EQ(w.font().pixelSize(), 13);
  EXPECT_EQ(w.button1()->text(), "Menu");
  EXPECT_EQ(w.button1()->geometry(), QRect(0, 0, 65, 33));
  EXPECT_EQ(w.button1()->font().pixelSize(), 17);

  QStringList items;
  for (QAction* a : w.popupMenu1()->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(items, (QStringList{"&Show Pen Location", "&Clear Screen", "-", "&Exit"}));
  QAction* L1 = w.popupMenu1()->actions()[0];
  EXPECT_TRUE(L1->isCheckable());
  EXPECT_FALSE(L1->isChecked());
  L1->trigger();
  EXPECT_TRUE(L1->isChecked());
  EXPECT_TRUE(w.drawTest().showPenLocation());

  f.show();
  EXPECT_EQ(f.pixel({300, 300}), qRgb(255, 255, 255));
  w.Button1Click();
  EXPECT_TRUE(w.popupMenu1()->isVisible());
  // At the screen's corner; the offscreen platform gives windows a frame of a few pixels.
  EXPECT_LE((w.popupMenu1()->pos() - w.screen()->geometry().topLeft()).manhattanLength(), 4);
  w.popupMenu1()->hide();
  for (auto [key, modifiers] : {std::pair{Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}}) {
    QTest::keyClick(f.window(), key, modifiers);
    EXPECT_TRUE(w.popupMenu1()->isVisible()) << key;
    w.popupMenu1()->hide();
  }
  w.popupMenu1()->actions()[3]->trigger();  // "&Exit"
  EXPECT_FALSE(w.isVisible());
}

TEST(DrawForm, TapAndDoubleClickWriteTheirTextsInOrder) {
  FormRig f;
  f.show();
  // Press and release come before the press's reading: the release's merges into the next.
  QTest::mouseClick(f.window(), Qt::LeftButton, {}, QPoint(40, 50));
  EXPECT_EQ(f.paintedTexts(), concat({{f.column(0, "Left down            "), f.column(1, "Left up            ")},
                                      kStatistics, kStatistics}));
  EXPECT_EQ(f.pixel({40, 50}), qRgb(0, 0, 0));  // the tap's dot

  f.painted.clear();
  QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);  // not a double click with the tap
  QTest::mouseDClick(f.window(), Qt::LeftButton, {}, QPoint(200, 200));
  QTest::mouseRelease(f.window(), Qt::LeftButton, {}, QPoint(200, 200));
  EXPECT_EQ(f.paintedTexts(), concat({{f.column(2, "Left down            "), f.column(3, "Left up            "),
                                       f.column(4, "Double Click      "), f.column(5, "Left down            "),
                                       f.column(6, "Left up            ")},
                                      kStatistics, kStatistics}));
  EXPECT_FALSE(f.state.PenIsDown);
  EXPECT_EQ(f.io.sessions().size(), 4u);
}

TEST(DrawForm, DragKeepsDrawingBeyondTheWindowWhileTheCanvasHoldsThePointer) {
  FormRig f;
  f.show();
  f.form->drawTest().M1Click();
  QTest::mousePress(f.window(), Qt::RightButton, {}, QPoint(120, 20));
  QTest::mouseMove(f.window(), QPoint(-10, 15));
  QTest::mouseMove(f.window(), QPoint(30, -5));
  EXPECT_FALSE(f.form->popupMenu1()->isVisible());  // the context menu waits for the release
  QTest::mouseRelease(f.window(), Qt::RightButton, {}, QPoint(30, -5));
  f.waitPainted();
  Ops lines;
  for (const auto& p : f.painted) {
    if (p.starts_with("line")) lines.push_back(p);
  }
  EXPECT_EQ(lines, (Ops{"line 120,20 -10,15", "line -10,15 30,-5"}));
  // The pointer arrives at the press's point first, so the pen location is shown there too.
  EXPECT_EQ(f.paintedTexts(), concat({{f.column(0, "(120,20)                  "), f.column(1, "Right down           "),
                                       f.column(2, "(-10,15)                  "), f.column(3, "(30,-5)                  "),
                                       f.column(4, "Right up           ")},
                                      kStatistics, kStatistics}));
  EXPECT_TRUE(f.form->popupMenu1()->isVisible());
  f.form->popupMenu1()->hide();
}

TEST(DrawForm, ClearingMakesTheCanvasWhiteAndTheColumnGoesOn) {
  FormRig f;
  f.show();
  QTest::mouseClick(f.window(), Qt::LeftButton, {}, QPoint(40, 50));
  f.paintedTexts();
  ASSERT_EQ(f.pixel({40, 50}), qRgb(0, 0, 0));
  {
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QTest::qWait(50);
    EXPECT_EQ(f.pixel({40, 50}), qRgb(0, 0, 0)) << "after deactivation";
    QApplication::setActiveWindow(f.form.get());
    QTest::qWait(50);
    EXPECT_EQ(f.pixel({40, 50}), qRgb(0, 0, 0)) << "after activation";
  }
  f.form->C1Click();
  f.painted.clear();
  f.waitPainted();
  EXPECT_EQ(f.pixel({40, 50}), qRgb(255, 255, 255));
  EXPECT_EQ(f.pixel({f.form->width() - 95, 8}), qRgb(255, 255, 255));  // the column's texts went too
  QTest::mouseClick(f.window(), Qt::MiddleButton, {}, QPoint(60, 60));
  EXPECT_EQ(f.paintedTexts().front(), f.column(2, "Middle down          "));
}

TEST(DrawForm, AThousandMovesAreDrawnWithoutADroppedSegment) {
  FormRig f;
  f.show();
  // Clear of the statistics, which are drawn over the trace at the left.
  auto at = [](int i) { return QPoint(200 + i % 400, 200 + i / 4); };
  QTest::mousePress(f.window(), Qt::LeftButton, {}, at(0));
  for (int i = 1; i <= 1000; ++i) QTest::mouseMove(f.window(), at(i));
  QTest::mouseRelease(f.window(), Qt::LeftButton, {}, at(1000));
  f.paintedTexts();
  Ops expected;
  for (int i = 1; i <= 1000; ++i) {
    expected.push_back(test::describe({CanvasOp::Kind::Line, {at(i - 1).x(), at(i - 1).y()}, {at(i).x(), at(i).y()}, {}, 0}));
  }
  Ops lines;
  for (const auto& p : f.painted) {
    if (p.starts_with("line")) lines.push_back(p);
  }
  EXPECT_EQ(lines, expected);
  for (int i : {1, 399, 400, 777, 1000}) EXPECT_EQ(f.pixel(at(i)), qRgb(0, 0, 0)) << i;
}

TEST(DrawForm, EachPressOfDrawShowsANewModalWindowThatGoesOnWithTheEventColumn) {
  qtApp();
  test::PrivateRoot root;
  test::PanelRig rig;
  app::ProgramState program;
  app::TMainForm::Options options;
  options.timer = std::make_unique<test::ManualRepeatTimer>();
  options.state = &program;
  app::TMainForm main(rig.services(), std::move(options));
  ASSERT_EQ(main.load(), app::LoadOutcome::Ready);

  std::vector<QPointer<TDrawForm>> shown;
  auto tapAndExit = [&] {
    auto* w = dynamic_cast<TDrawForm*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    shown.emplace_back(w);
    EXPECT_TRUE(w->isModal());
    QTest::mouseClick(w->paintBox1(), Qt::LeftButton, {}, QPoint(5, 5));
    w->E1Click();
  };
  for (int i = 0; i < 2; ++i) {
    QTimer::singleShot(0, tapAndExit);
    main.btnDrawClick();
  }
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_TRUE(shown[0].isNull() && shown[1].isNull());  // destroyed after each showing
  EXPECT_EQ(program.drawTest.EventLine, 4);
  EXPECT_LE(rig.deviceIo.requests().size(), 4u);  // asks while a reading waits share the next
}

}  // namespace
}  // namespace qv::drawtest
