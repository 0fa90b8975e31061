#include "app/panel_application.h"

#include "app/panel_model.h"

#include <QMessageBox>

#include <exception>

namespace qv::app {

PanelApplication::PanelApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromUtf8(kApplicationTitle.data(), kApplicationTitle.size()));
  // No display name: the toolkit would append it to every caption that differs from it
  // ("Reboot — Quorvane Control Panel"); each window's caption stands as it is set.
  setApplicationVersion(QString::fromUtf8(kApplicationVersion.data(), kApplicationVersion.size()));
  QFont f = font();
  f.setPixelSize(12);
  setFont(f);
}

bool PanelApplication::notify(QObject* receiver, QEvent* event) {
  // The window's handlers catch their own errors; this is the net for anything else.
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    showErrorBox(e.what());
  } catch (...) {
    showErrorBox("Unknown error");
  }
  return false;
}

void PanelApplication::showErrorBox(std::string_view text) {
  QMessageBox::critical(activeWindow(), QString::fromUtf8(kApplicationTitle.data(), kApplicationTitle.size()),
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace qv::app
