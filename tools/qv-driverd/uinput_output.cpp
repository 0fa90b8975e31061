// The pointer device on Linux: a uinput device made with libevdev.
#include "evdev_handle.h"
#include "monitor_output.h"
#include "pointer_output.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace qv::driverd {

namespace {

struct UinputDestroy {
  void operator()(libevdev_uinput* u) const { libevdev_uinput_destroy(u); }
};

class UinputOutput final : public PointerOutput {
public:
  UinputOutput(EvdevHandle dev, std::unique_ptr<libevdev_uinput, UinputDestroy> ui)
      : dev_(std::move(dev)), ui_(std::move(ui)) {}

  std::optional<std::string> remake(int unitsPerMmX, int unitsPerMmY) override {
    // The desktops see this device go and a new one come: udev reads the device's
    // properties again only then, and its axes are fixed once it exists.
    libevdev_set_abs_resolution(dev_.get(), ABS_X, unitsPerMmX);
    libevdev_set_abs_resolution(dev_.get(), ABS_Y, unitsPerMmY);
    ui_.reset();
    libevdev_uinput* made = nullptr;
    if (const int err = libevdev_uinput_create_from_device(dev_.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &made); err != 0) {
      return "the pointer device could not be made again (" + std::string(std::strerror(-err)) + ")";
    }
    ui_.reset(made);
    return std::nullopt;
  }

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
  void event(unsigned type, unsigned code, int value) {
    if (ui_) libevdev_uinput_write_event(ui_.get(), type, code, value);
  }
  void position(int x, int y) {
    event(EV_ABS, ABS_X, x);
    event(EV_ABS, ABS_Y, y);
  }
  void sync() { event(EV_SYN, SYN_REPORT, 0); }

  EvdevHandle dev_;  // outlives the uinput device made from it
  std::unique_ptr<libevdev_uinput, UinputDestroy> ui_;  // none after it could not be made again
};

}  // namespace

UinputResult openUinputOutput(int unitsPerMmX, int unitsPerMmY) {
  EvdevHandle dev(libevdev_new());
  if (!dev) return {nullptr, "no pointer output: out of memory"};
  libevdev_set_name(dev.get(), std::string(kOutputDeviceName).c_str());
  libevdev_set_phys(dev.get(), std::string(kOutputDevicePhys).c_str());
  libevdev_set_id_bustype(dev.get(), BUS_USB);
  libevdev_set_id_vendor(dev.get(), kDeviceVendor);
  libevdev_set_id_product(dev.get(), kDeviceProduct);
  libevdev_set_id_version(dev.get(), kDeviceVersion);
  libevdev_enable_property(dev.get(), INPUT_PROP_DIRECT);
  libevdev_enable_event_type(dev.get(), EV_KEY);
  libevdev_enable_event_code(dev.get(), EV_KEY, BTN_TOUCH, nullptr);
  libevdev_enable_event_type(dev.get(), EV_ABS);
  input_absinfo axis{};
  axis.minimum = 0;
  axis.maximum = kPointerMax;
  axis.resolution = unitsPerMmX;
  libevdev_enable_event_code(dev.get(), EV_ABS, ABS_X, &axis);
  axis.resolution = unitsPerMmY;
  libevdev_enable_event_code(dev.get(), EV_ABS, ABS_Y, &axis);

  libevdev_uinput* made = nullptr;
  const int err = libevdev_uinput_create_from_device(dev.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &made);
  if (err != 0) {
    std::string why = "no pointer output: /dev/uinput cannot be used (";
    why += std::strerror(-err);
    why += "). Installed, the package's udev rule gives the driver's service account access to "
           "/dev/uinput; the kernel needs its uinput module (modprobe uinput)";
    return {nullptr, why};
  }
  return {std::make_unique<UinputOutput>(std::move(dev), std::unique_ptr<libevdev_uinput, UinputDestroy>(made)), {}};
}

}  // namespace qv::driverd
