// Arbitrary bytes as the store file: they load or give an error on one of their lines, and
// what loads holds every key once, under its canonical name within the store's limits.
// (A carriage return inside a name loads and writes back as it is.)
#include <algorithm>
#include <set>
#include <string>
#include <variant>

#include "fuzz_check.h"
#include "platform/regedit_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::platform;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = parseStoreFile(text);
  if (const auto* error = std::get_if<RegeditError>(&parsed)) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    FUZZ_CHECK(error->line >= 1 && error->line <= lines && !error->reason.empty());
    return 0;
  }
  std::set<std::string> folded;
  for (const RegKeyEntry& key : std::get<RegistryTree>(parsed).keys) {
    FUZZ_CHECK(!keyNameBeyondLimits(key.name) && normalizeKeyName(key.name) == key.name);
    std::string lower = key.name;
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    FUZZ_CHECK(folded.insert(lower).second);
  }
  return 0;
}
