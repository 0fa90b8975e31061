// The touch device through libevdev: capabilities checked, held exclusively while open,
// events followed across dropped reports with libevdev's own resynchronisation.
#include "evdev_handle.h"
#include "platform/posix/unique_fd.h"
#include "pointer_output.h"
#include "touch_device.h"
#include "touch_events.h"

#include <libevdev/libevdev.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace qv::driverd {

namespace {

AxisRange axis(const libevdev* dev, unsigned code) {
  const input_absinfo* info = libevdev_get_abs_info(dev, code);
  if (info == nullptr || !libevdev_has_event_code(dev, EV_ABS, code)) return {};
  return {true, info->minimum, info->maximum};
}

TouchCapabilities capabilities(const libevdev* dev) {
  TouchCapabilities caps;
  caps.absX = axis(dev, ABS_X);
  caps.absY = axis(dev, ABS_Y);
  caps.mtX = axis(dev, ABS_MT_POSITION_X);
  caps.mtY = axis(dev, ABS_MT_POSITION_Y);
  caps.btnTouch = libevdev_has_event_code(dev, EV_KEY, BTN_TOUCH) != 0;
  caps.mtSlots = libevdev_has_event_code(dev, EV_ABS, ABS_MT_SLOT) != 0 && libevdev_get_num_slots(dev) > 0;
  caps.mtTrackingId = libevdev_has_event_code(dev, EV_ABS, ABS_MT_TRACKING_ID) != 0;
  caps.propDirect = libevdev_has_property(dev, INPUT_PROP_DIRECT) != 0;
  caps.propPointer = libevdev_has_property(dev, INPUT_PROP_POINTER) != 0;
  return caps;
}

// Where the contact is as the reading starts, so the first report compares with the truth.
ContactState currentContact(const libevdev* dev, TouchSource source) {
  ContactState state;
  if (source == TouchSource::Single) {
    state.touching = libevdev_get_event_value(dev, EV_KEY, BTN_TOUCH) != 0;
    state.x = libevdev_get_event_value(dev, EV_ABS, ABS_X);
    state.y = libevdev_get_event_value(dev, EV_ABS, ABS_Y);
    return state;
  }
  state.slot = libevdev_get_current_slot(dev);
  state.trackingId = libevdev_get_slot_value(dev, 0, ABS_MT_TRACKING_ID);
  state.touching = state.trackingId != -1;
  state.x = libevdev_get_slot_value(dev, 0, ABS_MT_POSITION_X);
  state.y = libevdev_get_slot_value(dev, 0, ABS_MT_POSITION_Y);
  return state;
}

class EvdevTouchDevice final : public TouchDevice {
public:
  EvdevTouchDevice(platform::UniqueFd fd, EvdevHandle dev, TouchEventTracker tracker)
      : fd_(std::move(fd)), dev_(std::move(dev)), tracker_(tracker) {}

  ~EvdevTouchDevice() override { libevdev_grab(dev_.get(), LIBEVDEV_UNGRAB); }

  int fd() const override { return fd_.get(); }

  Status read(std::vector<TouchSample>& samples) override {
    unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
    for (;;) {
      input_event ev{};
      const int rc = libevdev_next_event(dev_.get(), flags, &ev);
      if (rc == LIBEVDEV_READ_STATUS_SUCCESS || rc == LIBEVDEV_READ_STATUS_SYNC) {
        // After SYN_DROPPED, libevdev hands out the difference to the device's present
        // state as events ending in a SYN_REPORT; they update the contact like any other.
        if (rc == LIBEVDEV_READ_STATUS_SYNC) flags = LIBEVDEV_READ_FLAG_SYNC;
        tracker_.event(ev.type, ev.code, ev.value, samples);
      } else if (rc == -EAGAIN) {
        if (flags == LIBEVDEV_READ_FLAG_NORMAL) return Status::Ok;
        flags = LIBEVDEV_READ_FLAG_NORMAL;  // resynchronised; go on with what waits
      } else if (rc != -EINTR) {
        return Status::Gone;  // ENODEV when unplugged; any other read error ends it alike
      }
    }
  }

private:
  platform::UniqueFd fd_;
  EvdevHandle dev_;
  TouchEventTracker tracker_;
};

}  // namespace

TouchDeviceResult openTouchDevice(const std::string& path) {
  TouchDeviceResult result;
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    result.error = "cannot open " + path + ": " + std::strerror(errno);
    return result;
  }
  libevdev* raw = nullptr;
  const int rc = libevdev_new_from_fd(fd.get(), &raw);
  EvdevHandle dev(raw);
  if (rc < 0) {
    result.error = path + " is no input device: " + std::strerror(-rc);
    result.notTouchDevice = true;
    return result;
  }
  const std::string name = libevdev_get_name(dev.get()) ? libevdev_get_name(dev.get()) : "";
  const char* phys = libevdev_get_phys(dev.get());
  if (isOwnOutputDevice(name, phys ? phys : "")) {
    result.error = path + " (" + name + ") is this driver's own pointer device: it would feed on its own touches";
    result.notTouchDevice = true;
    return result;
  }
  const TouchCapabilities caps = capabilities(dev.get());
  const SourceChoice choice = chooseTouchSource(caps);
  if (!choice.source) {
    result.error = path + " (" + name + ") is no absolute touch device: it " + choice.lacking;
    result.notTouchDevice = true;
    return result;
  }
  if (const int grab = libevdev_grab(dev.get(), LIBEVDEV_GRAB); grab < 0) {
    result.error = "cannot hold " + path + " (" + name + ") for this driver alone: " + std::strerror(-grab) +
                   (grab == -EBUSY ? " (another program holds it)" : "");
    return result;
  }
  const bool slots = *choice.source == TouchSource::Slot0;
  TouchEventTracker tracker(*choice.source, slots ? caps.mtX : caps.absX, slots ? caps.mtY : caps.absY,
                            currentContact(dev.get(), *choice.source));
  result.device = std::make_unique<EvdevTouchDevice>(std::move(fd), std::move(dev), tracker);
  return result;
}

}  // namespace qv::driverd
