#pragma once
// Two trees hold the same keys, names and values in the same order.
#include "platform/regedit_format.h"

inline bool sameTree(const qv::platform::RegistryTree& a, const qv::platform::RegistryTree& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const auto &x = a.keys[k], &y = b.keys[k];
    if (x.name != y.name || x.values.size() != y.values.size()) return false;
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      if (x.values[v].name != y.values[v].name || !(x.values[v].value == y.values[v].value)) return false;
    }
  }
  return true;
}
