#include "x11_touch_mapping.h"

#include "calibration/calibrating_monitor.h"
#include "calibration/monitor_matching.h"
#include "calibration/monitor_matrix.h"
#include "edid_identity.h"
#include "stored_monitor.h"
#include "settings/monitor_values.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::tools {

namespace {

// The driver's pointer device.
constexpr const char* kTouchScreenName = "Quorvane Touch Screen";

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
struct XFreer {
  void operator()(void* p) const { XFree(p); }
};
struct ResourcesFreer {
  void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct OutputFreer {
  void operator()(XRROutputInfo* o) const { XRRFreeOutputInfo(o); }
};
struct CrtcFreer {
  void operator()(XRRCrtcInfo* c) const { XRRFreeCrtcInfo(c); }
};
struct DevicesFreer {
  void operator()(XIDeviceInfo* d) const { XIFreeDeviceInfo(d); }
};

int rotationOf(Rotation r) {
  if (r & RR_Rotate_90) return 90;  // RandR's "left": the picture turned counter-clockwise
  if (r & RR_Rotate_180) return 180;
  if (r & RR_Rotate_270) return 270;
  return 0;
}

std::vector<std::uint8_t> edidOf(Display* d, RROutput output) {
  const Atom edid = XInternAtom(d, "EDID", True);
  if (edid == None) return {};
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  if (XRRGetOutputProperty(d, output, edid, 0, 256, False, False, AnyPropertyType, &type, &format, &items, &after,
                           &data) != Success) {
    return {};
  }
  std::unique_ptr<unsigned char, XFreer> held(data);
  if (format != 8 || !data) return {};
  return {data, data + items};
}

// The monitors showing a picture now, as the display server has them.
std::vector<calibration::DesktopMonitor> desktopMonitors(Display* d, Window root) {
  std::vector<calibration::DesktopMonitor> monitors;
  std::unique_ptr<XRRScreenResources, ResourcesFreer> res(XRRGetScreenResourcesCurrent(d, root));
  if (!res) return monitors;
  for (int i = 0; i < res->noutput; ++i) {
    std::unique_ptr<XRROutputInfo, OutputFreer> out(XRRGetOutputInfo(d, res.get(), res->outputs[i]));
    if (!out || out->connection != RR_Connected || out->crtc == None) continue;
    std::unique_ptr<XRRCrtcInfo, CrtcFreer> crtc(XRRGetCrtcInfo(d, res.get(), out->crtc));
    if (!crtc || crtc->width == 0 || crtc->height == 0) continue;
    const EdidIdentity id = edidIdentity(edidOf(d, res->outputs[i]));
    monitors.push_back({std::string(out->name, static_cast<std::size_t>(out->nameLen)), id.maker, id.model, id.serial,
                        crtc->x, crtc->y, static_cast<int>(crtc->width), static_cast<int>(crtc->height),
                        rotationOf(crtc->rotation)});
  }
  return monitors;
}

std::vector<int> touchScreenDevices(Display* d) {
  std::vector<int> ids;
  int count = 0;
  std::unique_ptr<XIDeviceInfo, DevicesFreer> devices(XIQueryDevice(d, XIAllDevices, &count));
  for (int i = 0; devices && i < count; ++i) {
    const XIDeviceInfo& info = devices.get()[i];
    if ((info.use == XISlavePointer || info.use == XIFloatingSlave) && info.name &&
        std::string(info.name) == kTouchScreenName) {
      ids.push_back(info.deviceid);
    }
  }
  return ids;
}

// Requests about a device that went meanwhile fail; that is no reason to end.
int ignoreProtocolError(Display*, XErrorEvent*) { return 0; }
int keepGoingOnIoError(Display*) { return 0; }
void markLost(Display*, void* lost) { *static_cast<bool*>(lost) = true; }

class Mapper {
public:
  Mapper(Display* d, Say say) : d_(d), say_(std::move(say)) {}

  void apply() {
    auto read = readStoredMonitor();
    if (const auto* failure = std::get_if<std::string>(&read)) {
      sayOnce(*failure);
      return;
    }
    settings::CalibratedMonitor stored = std::get<settings::CalibratedMonitor>(read);
    // While the calibration screen is shown, its monitor; the mapping before it is kept,
    // to be put back when the screen closes with no monitor stored.
    const auto calibrating = calibration::calibratingMonitor();
    const auto devices = touchScreenDevices(d_);
    if (calibrating && !before_ && !devices.empty()) before_ = matrixOf(devices.front());
    if (!calibrating && before_ && !namesMonitor(stored)) {
      setMatrix(devices, *before_);
      before_.reset();
      sayOnce("touch screen: the calibration ended; its mapping is as it was");
      return;
    }
    if (!calibrating) before_.reset();
    stored = calibration::monitorToMap(stored, calibrating);
    const Window root = DefaultRootWindow(d_);
    const auto monitors = desktopMonitors(d_, root);
    const auto found = calibration::findCalibratedMonitor(stored, monitors);
    std::array<float, 9> matrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::string outcome;
    if (found) {
      const calibration::DesktopMonitor& m = monitors[*found];
      matrix = calibration::coordinateTransformationMatrix(m, DisplayWidth(d_, DefaultScreen(d_)),
                                                           DisplayHeight(d_, DefaultScreen(d_)));
      outcome = mappedLine(m);
    } else if (!namesMonitor(stored)) {
      // Nothing to keep it on: a mapping the user made by hand stays.
      sayOnce("touch screen: no monitor calibrated yet; its mapping is left as it is");
      return;
    } else {
      outcome = "touch screen: its monitor " + stored.connector +
                " is not connected; touches span the whole desktop until it is";
    }
    if (devices.empty()) {
      sayOnce("touch screen: the driver's device \"" + std::string(kTouchScreenName) +
              "\" is not there yet; it is mapped when it comes");
      return;
    }
    setMatrix(devices, matrix);
    sayOnce((calibrating ? "calibrating: " : "") + outcome);
  }

private:
  using Matrix = std::array<float, 9>;


  void setMatrix(const std::vector<int>& devices, Matrix matrix) {
    const Atom property = XInternAtom(d_, "Coordinate Transformation Matrix", False);
    const Atom floatType = XInternAtom(d_, "FLOAT", False);
    // The property's items are 32-bit floats as they are.
    for (const int device : devices) {
      XIChangeProperty(d_, device, property, floatType, 32, PropModeReplace,
                       reinterpret_cast<unsigned char*>(matrix.data()), static_cast<int>(matrix.size()));
    }
    XSync(d_, False);
  }

  // The device's matrix now; the identity where it cannot be read.
  Matrix matrixOf(int device) {
    Matrix matrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
    const Atom property = XInternAtom(d_, "Coordinate Transformation Matrix", False);
    const Atom floatType = XInternAtom(d_, "FLOAT", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XIGetProperty(d_, device, property, 0, 9, False, floatType, &type, &format, &items, &after, &data) !=
        Success) {
      return matrix;
    }
    std::unique_ptr<unsigned char, XFreer> held(data);
    if (type == floatType && format == 32 && items == matrix.size() && data) {
      // XInput 2 gives 32-bit items packed, as they are set.
      std::memcpy(matrix.data(), data, sizeof matrix);
    }
    return matrix;
  }


  void sayOnce(const std::string& line) {
    if (line == said_) return;
    said_ = line;
    say_(line);
  }

  Display* d_;
  Say say_;
  std::string said_;
  std::optional<Matrix> before_;  // the mapping before the calibration screen took it
};

}  // namespace

X11TouchMapping::X11TouchMapping(Say say) : say_(std::move(say)) {}

X11TouchMapping::~X11TouchMapping() = default;  // the thread stops and joins first

void X11TouchMapping::reapply() { thread_.wake(); }

void X11TouchMapping::run() {
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  Display* d = display.get();
  if (!d || thread_.wakeFd() < 0) {
    say_("touch screen: no X display; the desktop maps the touch screen itself");
    return;
  }
  bool lost = false;
  XSetErrorHandler(ignoreProtocolError);
  XSetIOErrorHandler(keepGoingOnIoError);
  XSetIOErrorExitHandler(d, markLost, &lost);
  int rrEvent = 0, rrError = 0, xiOpcode = 0, xiEvent = 0, xiError = 0, major = 2, minor = 0;
  if (!XRRQueryExtension(d, &rrEvent, &rrError) ||
      !XQueryExtension(d, "XInputExtension", &xiOpcode, &xiEvent, &xiError) || XIQueryVersion(d, &major, &minor) != Success) {
    say_("touch screen: the X display has no RandR or XInput 2; touches span the whole desktop");
    return;
  }
  const Window root = DefaultRootWindow(d);
  XRRSelectInput(d, root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  unsigned char mask[XIMaskLen(XI_HierarchyChanged)] = {};
  XISetMask(mask, XI_HierarchyChanged);
  XIEventMask events{XIAllDevices, static_cast<int>(sizeof mask), mask};
  XISelectEvents(d, root, &events, 1);

  Mapper mapper(d, say_);
  mapper.apply();
  while (!thread_.stopping() && !lost) {
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {thread_.wakeFd(), POLLIN, 0}};
    if (XPending(d) == 0 && ::poll(fds, 2, -1) < 0) continue;
    bool changed = false;
    if (fds[1].revents & POLLIN) {
      thread_.clearWake();
      changed = true;
    }
    while (!lost && XPending(d) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type >= rrEvent && e.type <= rrEvent + RRNotify) {
        XRRUpdateConfiguration(&e);  // the root window's size follows
        changed = true;
      } else if (e.type == GenericEvent && e.xcookie.extension == xiOpcode && e.xcookie.evtype == XI_HierarchyChanged) {
        changed = true;
      }
    }
    if (changed && !thread_.stopping() && !lost) mapper.apply();
  }
  if (lost) say_("touch screen: the X display went away");
}

}  // namespace qv::tools
