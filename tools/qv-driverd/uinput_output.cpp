// The pointer device on Linux: a uinput device made with libevdev.
#include "evdev_handle.h"
#include "pointer_output.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace qv::driverd {

namespace {

// Pointer units per millimetre: 65535 over about 330 mm, the width of a common panel.
// Desktops use it only for the device's size; touches map to the whole screen anyway.
constexpr int kResolution = 200;

struct UinputDestroy {
  void operator()(libevdev_uinput* u) const { libevdev_uinput_destroy(u); }
};

class UinputOutput final : public PointerOutput {
public:
  UinputOutput(EvdevHandle dev, std::unique_ptr<libevdev_uinput, UinputDestroy> ui)
      : dev_(std::move(dev)), ui_(std::move(ui)) {}

  void penDown(int x, int y) override {
    position(x, y);
    event(EV_KEY, BTN_TOUCH, 1);
    sync();
  }
  void move(int x, int y) override {
    position(x, y);
    sync();
  }
  void penUp() override {
    event(EV_KEY, BTN_TOUCH, 0);
    sync();
  }

private:
  // A write that fails (the device was taken away) loses that event only; the desktop
  // sees the next one.
  void event(unsigned type, unsigned code, int value) { libevdev_uinput_write_event(ui_.get(), type, code, value); }
  void position(int x, int y) {
    event(EV_ABS, ABS_X, x);
    event(EV_ABS, ABS_Y, y);
  }
  void sync() { event(EV_SYN, SYN_REPORT, 0); }

  EvdevHandle dev_;  // outlives the uinput device made from it
  std::unique_ptr<libevdev_uinput, UinputDestroy> ui_;
};

}  // namespace

UinputResult openUinputOutput() {
  EvdevHandle dev(libevdev_new());
  if (!dev) return {nullptr, "no pointer output: out of memory"};
  libevdev_set_name(dev.get(), std::string(kOutputDeviceName).c_str());
  libevdev_set_phys(dev.get(), std::string(kOutputDevicePhys).c_str());
  libevdev_set_id_bustype(dev.get(), BUS_VIRTUAL);
  libevdev_enable_property(dev.get(), INPUT_PROP_DIRECT);
  libevdev_enable_event_type(dev.get(), EV_KEY);
  libevdev_enable_event_code(dev.get(), EV_KEY, BTN_TOUCH, nullptr);
  libevdev_enable_event_type(dev.get(), EV_ABS);
  input_absinfo axis{};
  axis.minimum = 0;
  axis.maximum = kPointerMax;
  axis.resolution = kResolution;
  libevdev_enable_event_code(dev.get(), EV_ABS, ABS_X, &axis);
  libevdev_enable_event_code(dev.get(), EV_ABS, ABS_Y, &axis);

  libevdev_uinput* made = nullptr;
  const int err = libevdev_uinput_create_from_device(dev.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &made);
  if (err != 0) {
    std::string why = "no pointer output: /dev/uinput cannot be used (";
    why += std::strerror(-err);
    why += "). The package's udev rule gives the user at the seat access to /dev/uinput; "
           "the kernel needs its uinput module (modprobe uinput)";
    return {nullptr, why};
  }
  return {std::make_unique<UinputOutput>(std::move(dev), std::unique_ptr<libevdev_uinput, UinputDestroy>(made)), {}};
}

}  // namespace qv::driverd
