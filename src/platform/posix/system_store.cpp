#include "platform/posix/system_store.h"

#include "platform/machine_root.h"

#include <stdexcept>

namespace qv::platform {

std::unique_ptr<RoutedRegistryStore> openSystemStore() {
  const MachinePlaces places = machinePlaces();
  if (places.privateMachine) return std::make_unique<RoutedRegistryStore>(machineRoot());
  if (places.userDir.empty()) throw std::runtime_error("Neither QUORVANE_HOME nor HOME is set");
  // The user's folder is made by the first write there: a service that reads only the
  // machine's part needs no folder of its own.
  return std::make_unique<RoutedRegistryStore>(places.machineDir, places.userDir);
}

}  // namespace qv::platform
