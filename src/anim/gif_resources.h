#pragma once
// The program's own embedded resources: named byte blocks of a type ("GIF"), filled by the
// program at start-up and looked up by the image loads. Names are kept in upper case, as a
// resource compiler stores them, so lookups by any letter case of a name find it.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::anim {

class ResourceModule {
public:
  // Adds or replaces the resource `name` of `type`.
  void add(std::string_view type, std::string_view name, std::vector<std::uint8_t> bytes);
  // The resource's bytes, or nullptr when the module holds none under that type and name.
  const std::vector<std::uint8_t>* find(std::string_view type, std::string_view name) const;

private:
  std::map<std::pair<std::string, std::string>, std::vector<std::uint8_t>> entries_;
};

// ASCII upper case, as resource names are compared.
std::string upperName(std::string_view name);

// The running program's own module: what the program embedded for its images.
ResourceModule& programResources();

}  // namespace qv::anim
