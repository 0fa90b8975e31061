#include "x11_pointer.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdlib>
#include <iostream>

namespace qv::tools {

namespace {

// True while XOpenDisplay runs. Its own requests come before a display exists to take an
// exit handler, so a display lost then still ends the program: the handler says why first.
bool openingDisplay = false;

// A lost display must not end the program (Xlib's own handlers exit): the request under
// way returns, the connection is marked lost and dropped afterwards.
int keepGoingOnIoError(Display*) {
  if (openingDisplay) std::cerr << "Hide Cursor: the X display went away while it was being opened" << std::endl;
  return 0;
}
void markLost(Display*, void* lost) { *static_cast<bool*>(lost) = true; }
// The requests used here raise no protocol errors; should one come, it is no reason to end.
int ignoreProtocolError(Display*, XErrorEvent*) { return 0; }

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

}  // namespace

struct X11Pointer::Connection {
  std::unique_ptr<Display, DisplayCloser> display;
  bool lost = false;
  bool hidden = false;
};

X11Pointer::X11Pointer(Say say) : say_(std::move(say)) {}

X11Pointer::~X11Pointer() = default;  // closing the connection shows the pointer again

void X11Pointer::sayOnce(const std::string& problem) {
  if (problem == lastProblem_) return;
  lastProblem_ = problem;
  say_("Hide Cursor: " + problem);
}

bool X11Pointer::connect() {
  if (connection_) return true;
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    sayOnce("no X display (DISPLAY is not set): the pointer stays as it is");
    return false;
  }
  // The handlers are in place before the first request: a display lost while it is being
  // opened or asked about the extension fails the connection, never the program.
  XSetIOErrorHandler(keepGoingOnIoError);
  XSetErrorHandler(ignoreProtocolError);
  auto connection = std::make_unique<Connection>();
  openingDisplay = true;
  connection->display.reset(XOpenDisplay(nullptr));
  openingDisplay = false;
  Display* display = connection->display.get();
  if (!display) {
    sayOnce(std::string("cannot open the X display ") + name + ": the pointer stays as it is");
    return false;
  }
  XSetIOErrorExitHandler(display, markLost, &connection->lost);
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  // Global hiding came with version 4 of the extension.
  const bool fixes4 = XFixesQueryExtension(display, &eventBase, &errorBase) &&
                      XFixesQueryVersion(display, &major, &minor) && major >= 4;
  if (connection->lost) {
    sayOnce(std::string("the X display ") + name + " went away");
    return false;
  }
  if (!fixes4) {
    sayOnce(std::string("the X display ") + name + " cannot hide the pointer (no XFixes 4)");
    return false;
  }
  connection_ = std::move(connection);
  lastProblem_.clear();
  return true;
}

void X11Pointer::setHidden(bool hidden) {
  if (connection_ && connection_->hidden == hidden) return;
  if (!hidden && !connection_) return;  // never hidden by us
  // A display that went away took our hiding with it; a new one is connected to hide again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!connect()) return;
    Display* display = connection_->display.get();
    for (int screen = 0; screen < ScreenCount(display); ++screen) {
      const Window root = RootWindow(display, screen);
      hidden ? XFixesHideCursor(display, root) : XFixesShowCursor(display, root);
    }
    XSync(display, False);
    if (!connection_->lost) {
      connection_->hidden = hidden;
      say_(hidden ? "Hide Cursor: pointer hidden" : "Hide Cursor: pointer shown");
      return;
    }
    connection_.reset();
    sayOnce("the X display went away");
    if (!hidden) return;
  }
}

}  // namespace qv::tools
