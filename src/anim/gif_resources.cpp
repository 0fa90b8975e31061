#include "anim/gif_resources.h"

namespace qv::anim {

std::string upperName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

void ResourceModule::add(std::string_view type, std::string_view name, std::vector<std::uint8_t> bytes) {
  entries_[{upperName(type), upperName(name)}] = std::move(bytes);
}

const std::vector<std::uint8_t>* ResourceModule::find(std::string_view type, std::string_view name) const {
  auto it = entries_.find({upperName(type), upperName(name)});
  return it == entries_.end() ? nullptr : &it->second;
}

ResourceModule& programResources() {
  static ResourceModule module;
  return module;
}

}  // namespace qv::anim
