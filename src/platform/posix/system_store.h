#pragma once
// The one way every program opens this machine's registry store.
#include "platform/posix/routed_registry_store.h"

#include <memory>

namespace qv::platform {

// With QUORVANE_HOME set, one file in that folder holds both roots; otherwise
// HKEY_LOCAL_MACHINE is the machine's store and HKEY_CURRENT_USER the user's. Throws
// std::runtime_error when a private machine's folder cannot be made or no folder of the
// user can be found.
std::unique_ptr<RoutedRegistryStore> openSystemStore();

}  // namespace qv::platform
