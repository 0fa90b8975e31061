#pragma once
// The one place where qv-driverd reaches the machine's registry store.
#include "platform/registry_store.h"

#include <filesystem>
#include <memory>
#include <string_view>

namespace qv::driverd {

// The registry store of the given machine root.
std::unique_ptr<platform::RegistryStore> openMachineStore(const std::filesystem::path& root);

// Writes `Vxd Init` under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane, creating the key when it
// is missing. False (with the reason in *error) when the store refused.
bool writeInitOutcome(platform::RegistryStore& store, std::string_view text, std::string* error);

}  // namespace qv::driverd
