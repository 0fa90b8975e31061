#include "app/startup_report.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>

namespace qv::app {

namespace {

long long nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1'000'000'000LL + ts.tv_nsec;
}

// Process start from /proc/self/stat (clock ticks since boot), as monotonic nanoseconds.
long long processStartNs() {
  std::ifstream in("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return nowNs();
  std::size_t pos = close + 2;
  for (int field = 3; field < 22 && pos != std::string::npos; ++field) pos = stat.find(' ', pos) + 1;
  const long long ticks = std::atoll(stat.c_str() + pos);
  timespec boot{};
  clock_gettime(CLOCK_BOOTTIME, &boot);
  const long long sinceBootNs = static_cast<long long>(boot.tv_sec) * 1'000'000'000LL + boot.tv_nsec;
  const long long startSinceBootNs = ticks * (1'000'000'000LL / sysconf(_SC_CLK_TCK));
  return nowNs() - (sinceBootNs - startSinceBootNs);
}

class FirstPaintWatcher final : public QObject {
public:
  FirstPaintWatcher(QWidget& window, QTabWidget* tabs, bool report, QString shots)
      : QObject(&window), window_(window), tabs_(tabs), report_(report), shots_(std::move(shots)) {
    const char* start = std::getenv("QV_START_NS");
    startNs_ = start && *start ? std::atoll(start) : processStartNs();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!done_ && watched == &window_ && event->type() == QEvent::Paint) {
      done_ = true;
      const long long shownNs = nowNs();
      // Act after this paint has finished.
      QTimer::singleShot(0, this, [this, shownNs] { act(shownNs); });
    }
    return false;
  }

private:
  void act(long long shownNs) {
    if (report_) {
      std::printf("startup_ms=%.2f rss_kb=%ld\n", static_cast<double>(shownNs - startNs_) / 1e6,
                  residentKilobytes());
      std::fflush(stdout);
    }
    if (!shots_.isEmpty() && tabs_) {
      QDir().mkpath(shots_);
      for (int i = 0; i < tabs_->count(); ++i) {
        tabs_->setCurrentIndex(i);
        const QString name = QStringLiteral("%1/%2-%3.png").arg(shots_).arg(i + 1).arg(tabs_->tabText(i).toLower());
        window_.grab().save(name);
      }
      tabs_->setCurrentIndex(0);
    }
    QApplication::exit(0);
  }

  QWidget& window_;
  QTabWidget* tabs_;
  bool report_;
  QString shots_;
  long long startNs_ = 0;
  bool done_ = false;
};

}  // namespace

long residentKilobytes() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

bool installStartupActions(QWidget& window, QTabWidget* tabs) {
  const bool report = std::getenv("QV_STARTUP_REPORT") != nullptr;
  const char* shots = std::getenv("QUORVANE_SCREENSHOTS");
  if (!report && !(shots && *shots)) return false;
  auto* watcher = new FirstPaintWatcher(window, tabs, report, shots ? QString::fromLocal8Bit(shots) : QString());
  window.installEventFilter(watcher);
  return true;
}

}  // namespace qv::app
