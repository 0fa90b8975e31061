#pragma once
// The application object: its title, and the error box for an error that escapes any
// event handler (the handler stops, the program goes on).
#include <QApplication>

#include <functional>
#include <string_view>

namespace qv::app {

class PanelApplication final : public QApplication {
public:
  PanelApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  // Shows the error box (application title, error icon, OK).
  static void showErrorBox(std::string_view text);
};

}  // namespace qv::app
