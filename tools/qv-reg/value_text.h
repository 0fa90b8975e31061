#pragma once
// The command-line forms of registry values: TYPE and DATA as `add` takes them, and the
// one-line form that `query` prints.
#include "platform/registry_store.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv::tools {

// The value that `add KEY NAME TYPE DATA` stores; nullopt with a reason when TYPE is not
// known or DATA does not fit it.
struct ParsedValue {
  std::optional<platform::RegistryValue> value;
  std::string problem;
};
ParsedValue parseValueArgument(std::string_view type, std::string_view data);

// "REG_SZ", "REG_DWORD", ... or "REG_TYPE(0x10)".
std::string typeName(std::uint32_t type);
// The data as `query` shows it: texts as they are, numbers as 0x.., bytes in hex.
std::string dataText(const platform::RegistryValue& value);

}  // namespace qv::tools
