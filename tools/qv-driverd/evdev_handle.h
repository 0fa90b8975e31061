#pragma once
// A libevdev context owned by a unique_ptr.
#include <libevdev/libevdev.h>

#include <memory>

namespace qv::driverd {

struct EvdevFree {
  void operator()(libevdev* dev) const { libevdev_free(dev); }
};
using EvdevHandle = std::unique_ptr<libevdev, EvdevFree>;

}  // namespace qv::driverd
