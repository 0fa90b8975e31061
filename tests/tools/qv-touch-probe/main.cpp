// qv-touch-probe: shows where the desktop delivers touches. One window covers each screen;
// every touch press and release that reaches one is printed on standard output. See --help.
#include "cli/command_line.h"

#include <QApplication>
#include <QEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTouchEvent>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qv::cli::Program kProgram{"qv-touch-probe", R"(Usage: qv-touch-probe
Shows one full-screen window on each screen and prints a line on standard output for
every touch that reaches one of them, at the touch's first point:

  press SCREEN X Y        a touch began at X, Y (pixels, from the screen's top left
  release SCREEN X Y      corner as the screen stands now) on the screen named SCREEN
  shown SCREEN W H        the window on SCREEN is now W x H pixels (after every resize,
                          so a turned screen is seen)

SCREEN is the name the display server gives the screen ("HEADLESS-1", "DP-1"). Ends when
its windows are closed or on SIGTERM.

Options:
  --help     show this text
  --version  show the version
)"};

void say(const char* what, const QString& screen, double x, double y) {
  std::printf("%s %s %ld %ld\n", what, qPrintable(screen), std::lround(std::floor(x)), std::lround(std::floor(y)));
  std::fflush(stdout);
}

// A window that covers one screen and reports the touches it is given.
class ProbeWindow : public QWidget {
public:
  explicit ProbeWindow(QScreen* screen) : screenName_(screen->name()) {
    setAttribute(Qt::WA_AcceptTouchEvents);
    setWindowTitle(QStringLiteral("qv-touch-probe ") + screenName_);
    setStyleSheet(QStringLiteral("background: black"));
    // The full-screen request names the window's screen, so the screen is set before it.
    create();
    windowHandle()->setScreen(screen);
  }

protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::TouchBegin || e->type() == QEvent::TouchEnd) {
      const auto* touch = static_cast<QTouchEvent*>(e);
      if (!touch->points().isEmpty()) {
        const QPointF at = touch->points().first().position();
        say(e->type() == QEvent::TouchBegin ? "press" : "release", screenName_, at.x(), at.y());
      }
      e->accept();
      return true;
    }
    if (e->type() == QEvent::TouchUpdate || e->type() == QEvent::TouchCancel) {
      e->accept();
      return true;
    }
    return QWidget::event(e);
  }

  void resizeEvent(QResizeEvent* e) override {
    say("shown", screenName_, e->size().width(), e->size().height());
    QWidget::resizeEvent(e);
  }

private:
  QString screenName_;
};

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::takeNoArguments(kProgram, argc, argv)) return *status;
  QApplication app(argc, argv);
  std::vector<std::unique_ptr<ProbeWindow>> windows;
  for (QScreen* screen : QGuiApplication::screens()) {
    windows.push_back(std::make_unique<ProbeWindow>(screen));
    windows.back()->showFullScreen();
  }
  return app.exec();
}
