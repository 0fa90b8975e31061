#pragma once
// The one place where qv-driverd reaches the machine's registry store.
#include "controller_port.h"
#include "driver_model.h"
#include "platform/registry_store.h"

#include <filesystem>
#include <memory>
#include <string_view>

namespace qv::driverd {

// The machine's registry store, as every program opens it. Throws std::runtime_error when
// it cannot be found.
std::unique_ptr<platform::RegistryStore> openMachineStore();

// Writes `Vxd Init` under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane, creating the key when it
// is missing. False (with the reason in *error) when the store refused.
bool writeInitOutcome(platform::RegistryStore& store, std::string_view text, std::string* error);

// The limits (binary copies X1…Y2, 03H/FCH when absent), how the panel sits on its
// monitor (Cfg_SwapXY, Cfg_Rotation) and the beep (Ctrl_Sound, Ctrl_LongBeep) that the
// driver starts with.
StartSettings readStartSettings(platform::RegistryStore& store);

// The controller's port (Cfg_COM) and speed (ChipBaudRate, 9600 when absent or not a
// number).
ControllerPortSettings readControllerPortSettings(platform::RegistryStore& store);

}  // namespace qv::driverd
