#include "machine_store.h"

#include "platform/posix/registry_file_store.h"

namespace qv::driverd {

std::unique_ptr<platform::RegistryStore> openMachineStore(const std::filesystem::path& root) {
  return std::make_unique<platform::RegistryFileStore>(root);
}

bool writeInitOutcome(platform::RegistryStore& store, std::string_view text, std::string* error) {
  constexpr std::string_view key = "SOFTWARE\\Quorvane";
  const auto root = platform::RegistryRoot::LocalMachine;
  if (store.createKey(root, key) && store.writeValue(root, key, "Vxd Init", platform::RegistryValue::text(text))) {
    return true;
  }
  if (error) *error = store.lastError();
  return false;
}

}  // namespace qv::driverd
