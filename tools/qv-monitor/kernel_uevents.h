#pragma once
// The kernel's device events (a netlink socket any user may read): a monitor plugged,
// unplugged or changed shows as an event of the "drm" subsystem, so the mapping follows
// the monitors without asking again and again.
#include "platform/posix/unique_fd.h"

#include <string>
#include <string_view>

namespace qv::tools {

// A non-blocking socket that receives the kernel's events; not open (with errno set) where
// the system refuses one.
platform::UniqueFd openKernelUevents();

// The SUBSYSTEM of one event ("change@/devices/…\0ACTION=change\0SUBSYSTEM=drm\0…"); empty
// for anything else.
std::string ueventSubsystem(std::string_view message);

// Reads every waiting event; true when one of them came from the kernel for subsystem.
bool drainUevents(int socket, std::string_view subsystem);

}  // namespace qv::tools
