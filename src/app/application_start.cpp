#include "app/application_start.h"

#include "cli/command_line.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace qv::app {

namespace {

[[noreturn]] void exitWithoutDisplay(const std::string& reason) {
  std::fprintf(stderr, "quorvane-panel: no display%s%s\n", reason.empty() ? "" : ": ", reason.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

// While the application object is built, the toolkit's messages are held back: when its
// window system cannot start, the first of them says why in the one line above; otherwise
// they go on to the usual handler once the object stands.
struct HeldMessage {
  QtMsgType type;
  QString text;
};
std::vector<HeldMessage> heldMessages;

void holdMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtFatalMsg) {
    exitWithoutDisplay(heldMessages.empty() ? std::string() : heldMessages.front().text.toStdString());
  }
  heldMessages.push_back({type, text});
}

class MessagesHeld {
public:
  MessagesHeld() : previous_(qInstallMessageHandler(holdMessage)) {}
  ~MessagesHeld() {
    qInstallMessageHandler(previous_);
    const QMessageLogContext context;
    for (const HeldMessage& m : std::exchange(heldMessages, {})) {
      if (previous_) previous_(m.type, context, m.text);
    }
  }
  MessagesHeld(const MessagesHeld&) = delete;
  MessagesHeld& operator=(const MessagesHeld&) = delete;

private:
  QtMessageHandler previous_;
};

}  // namespace

std::unique_ptr<PanelApplication> startApplicationOrExit(int& argc, char** argv) {
  if (!cli::hasDisplay()) exitWithoutDisplay({});
  MessagesHeld held;
  return std::make_unique<PanelApplication>(argc, argv);
}

}  // namespace qv::app
