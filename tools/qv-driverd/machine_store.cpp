#include "machine_store.h"

#if __has_include("platform/posix/registry_file_store.h")
#include "platform/posix/registry_file_store.h"
#define QV_HAVE_FILE_STORE 1
#endif

namespace qv::driverd {

std::unique_ptr<platform::RegistryStore> openMachineStore(const std::filesystem::path& root) {
#ifdef QV_HAVE_FILE_STORE
  return std::make_unique<platform::RegistryFileStore>(root);
#else
  (void)root;
  return nullptr;
#endif
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
